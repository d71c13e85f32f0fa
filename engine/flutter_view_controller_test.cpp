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

using fake_engine::EngineProperties;

constexpr char kRegistrarLine[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run first.\n";

// Installs a handler on the engine's messenger whose destruction notes how
// many times `function` had been called by then: tells apart what happens
// before and after the messenger goes.
std::shared_ptr<size_t> NoteCallsAtMessengerDestruction(FlutterEngine* engine,
                                                        const std::string& function) {
  auto seen = std::make_shared<size_t>(0);
  struct Witness {
    ~Witness() { *seen = fake_engine::FakeEngine::Get().CallCount(function); }
    std::shared_ptr<size_t> seen;
    std::string function;
  };
  auto witness = std::make_shared<Witness>(Witness{seen, function});
  *seen = SIZE_MAX;
  engine->GetMessenger()->SetMessageHandler(
      "witness", [witness](const uint8_t*, size_t, BinaryReply) {});
  return seen;
}

class EngineTest : public fake_engine::FakeEngineTest {};

TEST_F(EngineTest, PropertiesRecordCarriesTheProjectAsTheLibraryReadsIt) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
  };
  const std::vector<Case> cases = {
      {"no arguments", {}},
      {"arguments in order", {"--scan", "two words", "", "d\xC3\xA9j\xC3\xA0"}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    fake().Reset();
    DartProject project(L"data");
    project.set_dart_entrypoint_arguments(test_case.arguments);
    { FlutterEngine engine(project); }

    const std::vector<EngineProperties> creations = fake().EngineCreations();
    ASSERT_EQ(creations.size(), 1u);
    const EngineProperties& properties = creations[0];
    EXPECT_EQ(properties.assets_path, std::optional<std::wstring>(L"data\\flutter_assets"));
    EXPECT_EQ(properties.icu_data_path, std::optional<std::wstring>(L"data\\icudtl.dat"));
    EXPECT_EQ(properties.aot_library_path, std::optional<std::wstring>(L"data\\app.so"));
    EXPECT_EQ(properties.dart_entrypoint, std::optional<std::string>(""));
    EXPECT_EQ(properties.dart_entrypoint_argc,
              static_cast<int32_t>(test_case.arguments.size()));
    EXPECT_EQ(properties.argv_is_null, test_case.arguments.empty());
    EXPECT_EQ(properties.dart_entrypoint_argv, test_case.arguments);
    EXPECT_EQ(properties.reserved, 0);
    EXPECT_EQ(properties.engine_option_1, 0);
    EXPECT_EQ(properties.engine_option_2, 0);
  }
}

TEST_F(EngineTest, ProjectPathIsTakenAsGiven) {
  const DartProject project(L"C:\\apps\\rivelo\\data\\");
  EXPECT_EQ(project.assets_path(), L"C:\\apps\\rivelo\\data\\\\flutter_assets");
  EXPECT_EQ(project.icu_data_path(), L"C:\\apps\\rivelo\\data\\\\icudtl.dat");
  EXPECT_EQ(project.aot_library_path(), L"C:\\apps\\rivelo\\data\\\\app.so");
}

TEST_F(EngineTest, OwnedEngineIsDestroyedBeforeItsMessenger) {
  std::shared_ptr<size_t> destroys_seen;
  {
    FlutterEngine engine(DartProject(L"data"));
    destroys_seen = NoteCallsAtMessengerDestruction(&engine, "FlutterDesktopEngineDestroy");
  }
  EXPECT_EQ(*destroys_seen, 1u);
}

TEST_F(EngineTest, TransferredEngineStillGivesRegistrarsAndIsNotDestroyed) {
  FlutterDesktopEngineRef handle = nullptr;
  {
    FlutterEngine engine(DartProject(L"data"));
    FlutterDesktopPluginRegistrarRef before = engine.GetPluginRegistrar("first_plugin");
    handle = engine.TransferEngineOwnership();
    FlutterDesktopPluginRegistrarRef after = engine.GetPluginRegistrar("second_plugin");

    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(fake().RegistrarName(before), std::optional<std::string>("first_plugin"));
    EXPECT_EQ(fake().RegistrarName(after), std::optional<std::string>("second_plugin"));
  }
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineDestroy"), 0u);
  FlutterDesktopEngineDestroy(handle);
}

TEST_F(EngineTest, FailedEngineRefusesRegistrarsWithTheLine) {
  fake().FailEngineCreation();
  FlutterEngine engine(DartProject(L"data"));

  testing::internal::CaptureStderr();
  EXPECT_EQ(engine.GetPluginRegistrar("any_plugin"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kRegistrarLine);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineGetPluginRegistrar"), 0u);
  EXPECT_NE(engine.GetMessenger(), nullptr);
}

TEST_F(EngineTest, NextFrameCallbackRunsOnceAndAReplacedOneNever) {
  FlutterEngine engine(DartProject(L"data"));
  auto replaced_witness = std::make_shared<int>(0);
  int replaced_calls = 0;
  int calls = 0;
  engine.SetNextFrameCallback([replaced_witness, &replaced_calls] { ++replaced_calls; });
  engine.SetNextFrameCallback([&calls] { ++calls; });
  EXPECT_EQ(replaced_witness.use_count(), 1);

  EXPECT_TRUE(fake().RenderFrame());
  EXPECT_FALSE(fake().RenderFrame());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(replaced_calls, 0);
}

TEST_F(EngineTest, NextFrameCallbackMayRegisterTheNextOne) {
  FlutterEngine engine(DartProject(L"data"));
  std::vector<int> frames;
  engine.SetNextFrameCallback([&engine, &frames] {
    frames.push_back(1);
    engine.SetNextFrameCallback([&frames] { frames.push_back(2); });
  });

  EXPECT_TRUE(fake().RenderFrame());
  EXPECT_TRUE(fake().RenderFrame());
  EXPECT_FALSE(fake().RenderFrame());
  EXPECT_EQ(frames, (std::vector<int>{1, 2}));
}

TEST_F(EngineTest, FontReloadReachesTheLibrary) {
  FlutterEngine engine(DartProject(L"data"));
  engine.ReloadSystemFonts();
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineReloadSystemFonts"), 1u);
}

class ViewControllerTest : public fake_engine::FakeEngineTest {};

TEST_F(ViewControllerTest, CreatesTheControllerFromTheEngineItBuiltAndYieldsTheView) {
  FlutterViewController controller(692, 573, DartProject(L"data"));

  const std::vector<fake_engine::ViewControllerCreation> creations =
      fake().ViewControllerCreations();
  ASSERT_EQ(creations.size(), 1u);
  EXPECT_EQ(creations[0].width, 692);
  EXPECT_EQ(creations[0].height, 573);
  EXPECT_NE(creations[0].engine, nullptr);
  ASSERT_NE(controller.GetEngine(), nullptr);
  ASSERT_NE(controller.GetView(), nullptr);
  EXPECT_EQ(controller.GetView()->GetWindowHandle(), fake().ViewWindow());
  EXPECT_NE(fake().ViewWindow(), nullptr);
}

TEST_F(ViewControllerTest, DestroysTheLibraryControllerBeforeTheEngineWrapper) {
  std::shared_ptr<size_t> destroys_seen;
  {
    FlutterViewController controller(100, 100, DartProject(L"data"));
    destroys_seen = NoteCallsAtMessengerDestruction(controller.GetEngine(),
                                                    "FlutterDesktopViewControllerDestroy");
  }
  EXPECT_EQ(*destroys_seen, 1u);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineDestroy"), 0u);
}

TEST_F(ViewControllerTest, FailedCreationIsReportedAndDestroysNothingInTheLibrary) {
  struct Case {
    const char* name;
    bool engine_fails;
  };
  for (const Case& test_case :
       {Case{"view controller fails", false}, Case{"engine fails", true}}) {
    SCOPED_TRACE(test_case.name);
    fake().Reset();
    if (test_case.engine_fails) {
      fake().FailEngineCreation();
    } else {
      fake().FailViewControllerCreation();
    }
    // An engine wrapper left behind shows up as a leak in sanitizer builds.
    {
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
}

TEST_F(ViewControllerTest, WindowMessagesAreForwardedAndOnlyHandledOnesGiveAResult) {
  FlutterViewController controller(100, 100, DartProject(L"data"));
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

  EXPECT_EQ(controller.HandleTopLevelWindowProc(window, 0x0005, 7, -3), std::nullopt);
  fake().ClaimWindowMessages(0);
  EXPECT_EQ(controller.HandleTopLevelWindowProc(window, 0x0006, 8, 9),
            std::optional<LRESULT>(0));
  fake().ClaimWindowMessages(-42);
  EXPECT_EQ(controller.HandleTopLevelWindowProc(window, 0x0007, 0, 0),
            std::optional<LRESULT>(-42));

  const std::vector<fake_engine::WindowMessage> messages = fake().WindowMessages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].hwnd, window);
  EXPECT_EQ(messages[0].message, 0x0005u);
  EXPECT_EQ(messages[0].wparam, 7u);
  EXPECT_EQ(messages[0].lparam, -3);
}

TEST_F(ViewControllerTest, RedrawReachesTheLibrary) {
  FlutterViewController controller(100, 100, DartProject(L"data"));
  controller.ForceRedraw();
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerForceRedraw"), 1u);
}

}  // namespace
}  // namespace flutter
