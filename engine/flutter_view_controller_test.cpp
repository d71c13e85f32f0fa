#include "engine/flutter_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dart_project.h"
#include "engine/flutter_engine.h"
#include "testing/fake_engine.h"

namespace flutter {
namespace {

// Installs a handler on the engine's messenger whose destruction notes how
// many times `function` had been called by then: tells apart what happens
// before and after the messenger goes.
std::shared_ptr<size_t> NoteCallsAtMessengerDestruction(FlutterEngine* engine,
                                                        const std::string& function) {
  auto seen = std::make_shared<size_t>(SIZE_MAX);
  struct Witness {
    ~Witness() { *seen = fake_engine::FakeEngine::Get().CallCount(function); }
    std::shared_ptr<size_t> seen;
    std::string function;
  };
  auto witness = std::make_shared<Witness>(Witness{seen, function});
  engine->GetMessenger()->SetMessageHandler(
      "witness", [witness](const uint8_t*, size_t, BinaryReply) {});
  return seen;
}

class EngineTest : public fake_engine::FakeEngineTest {};

// The project's folder is taken as given: one backslash before each name.
TEST_F(EngineTest, PropertiesRecordCarriesTheProjectAsTheLibraryReadsIt) {
  struct Case {
    std::wstring folder;
    std::vector<std::string> arguments;
  };
  const std::vector<Case> cases = {
      {L"data", {}},
      {L"C:\\apps\\data\\", {"--scan", "two words", "", "d\xC3\xA9j\xC3\xA0"}},
  };
  for (const Case& test_case : cases) {
    DartProject project(test_case.folder);
    project.set_dart_entrypoint_arguments(test_case.arguments);
    FlutterEngine engine(project);
  }
  const std::vector<standin::EngineProperties> creations = fake().EngineCreations();
  ASSERT_EQ(creations.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const standin::EngineProperties& properties = creations[i];
    const std::wstring& folder = cases[i].folder;
    EXPECT_EQ(properties.assets_path, folder + L"\\flutter_assets");
    EXPECT_EQ(properties.icu_data_path, folder + L"\\icudtl.dat");
    EXPECT_EQ(properties.aot_library_path, folder + L"\\app.so");
    EXPECT_FALSE(properties.entrypoint_null);
    EXPECT_EQ(properties.entrypoint, "");
    EXPECT_EQ(properties.argc, static_cast<int32_t>(cases[i].arguments.size()));
    EXPECT_EQ(properties.reserved, 0);
    EXPECT_EQ(properties.argv_null, cases[i].arguments.empty());
    EXPECT_EQ(properties.arguments, cases[i].arguments);
    EXPECT_EQ(properties.options[0], 0);
    EXPECT_EQ(properties.options[1], 0);
  }
}

// The library object goes before the messenger: the engine its wrapper owns,
// and a view controller, which owns its engine, so that the library destroys
// that engine with it.
TEST_F(EngineTest, LibraryObjectsAreDestroyedBeforeTheMessenger) {
  std::shared_ptr<size_t> engine_destroys_seen;
  std::shared_ptr<size_t> controller_destroys_seen;
  {
    FlutterEngine engine(DartProject(L"data"));
    engine_destroys_seen = NoteCallsAtMessengerDestruction(&engine, "FlutterDesktopEngineDestroy");
    FlutterViewController controller(100, 100, DartProject(L"data"));
    controller_destroys_seen = NoteCallsAtMessengerDestruction(
        controller.GetEngine(), "FlutterDesktopViewControllerDestroy");
  }
  EXPECT_EQ(*controller_destroys_seen, 1u);
  EXPECT_EQ(*engine_destroys_seen, 1u);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineDestroy"), 1u);
}

// An engine handed over still gives registrars and is not destroyed; an
// engine that failed gives none, says so, and still has a messenger.
TEST_F(EngineTest, RegistrarsComeFromARunningEngineAlsoAfterItsTransfer) {
  FlutterDesktopEngineRef handle = nullptr;
  {
    FlutterEngine engine(DartProject(L"data"));
    FlutterDesktopPluginRegistrarRef before = engine.GetPluginRegistrar("first_plugin");
    handle = engine.TransferEngineOwnership();
    FlutterDesktopPluginRegistrarRef after = engine.GetPluginRegistrar("second_plugin");

    EXPECT_NE(handle, nullptr);
    EXPECT_NE(before, nullptr);
    EXPECT_NE(after, nullptr);
    EXPECT_NE(before, after);
  }
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineDestroy"), 0u);
  FlutterDesktopEngineDestroy(handle);

  fake().FailEngineCreation();
  FlutterEngine failed(DartProject(L"data"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(failed.GetPluginRegistrar("any_plugin"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineGetPluginRegistrar"), 2u);
  EXPECT_NE(failed.GetMessenger(), nullptr);
}

// A replaced callback is destroyed uncalled; the one pending runs once, and
// may register the next.
TEST_F(EngineTest, NextFrameCallbackRunsOnceAndAReplacedOneNever) {
  FlutterEngine engine(DartProject(L"data"));
  auto replaced_witness = std::make_shared<int>(0);
  std::vector<int> frames;
  engine.SetNextFrameCallback([replaced_witness, &frames] { frames.push_back(0); });
  engine.SetNextFrameCallback([&engine, &frames] {
    frames.push_back(1);
    engine.SetNextFrameCallback([&frames] { frames.push_back(2); });
  });
  EXPECT_EQ(replaced_witness.use_count(), 1);

  EXPECT_TRUE(fake().RenderFrame());
  EXPECT_TRUE(fake().RenderFrame());
  EXPECT_FALSE(fake().RenderFrame());
  EXPECT_EQ(frames, (std::vector<int>{1, 2}));
}

// Size, fonts, redraw and window messages reach the library; only a message
// the library handled gives a result.
TEST_F(EngineTest, ControllerForwardsToTheLibrary) {
  FlutterViewController controller(692, 573, DartProject(L"data"));
  ASSERT_NE(controller.GetView(), nullptr);
  EXPECT_NE(controller.GetView()->GetWindowHandle(), nullptr);
  controller.GetEngine()->ReloadSystemFonts();
  controller.ForceRedraw();
  EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, 0x0005, 7, -3), std::nullopt);
  fake().ClaimWindowMessages(-42);
  EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, 0x0007, 0, 0),
            std::optional<LRESULT>(-42));

  EXPECT_EQ(fake().ViewControllerSizes(), (std::vector<std::pair<int32_t, int32_t>>{{692, 573}}));
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineReloadSystemFonts"), 1u);
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerForceRedraw"), 1u);
}

// The failing library controller took the engine over, so nothing is left to
// destroy. The engine row comes last: the fake cannot take that script back.
TEST_F(EngineTest, FailedCreationIsReportedAndDestroysNothingInTheLibrary) {
  fake().FailViewControllerCreation();
  for (const bool engine_fails : {false, true}) {
    SCOPED_TRACE(engine_fails ? "engine fails" : "view controller fails");
    if (engine_fails) fake().FailEngineCreation();
    testing::internal::CaptureStderr();
    FlutterViewController controller(100, 100, DartProject(L"data"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
    EXPECT_EQ(controller.GetView(), nullptr);
    EXPECT_NE(controller.GetEngine(), nullptr);
    EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, 0x0001, 0, 0), std::nullopt);
  }
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerDestroy"), 0u);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineDestroy"), 0u);
}

}  // namespace
}  // namespace flutter
