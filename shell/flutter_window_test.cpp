#include "shell/flutter_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "discovery/launcher.h"
#include "discovery/scan_channel.h"
#include "discovery/sweep_pacing.h"
#include "shell/plugin_registrant.h"
#include "testing/fake_engine.h"
#include "testing/fake_network_platform.h"

namespace {

// View controller destructions that had happened when the sweep thread
// ended; -1 while no sweep has ended.
std::atomic<int> controllers_destroyed_at_sweep_end{-1};

int ControllersDestroyed() {
  return static_cast<int>(
      fake_engine::FakeEngine::Get().CallCount("FlutterDesktopViewControllerDestroy"));
}

}  // namespace

// The ten plug-in libraries are not part of this program.
void RegisterPlugins(flutter::PluginRegistry*) {}

// The window starts its sweeps through the standard launcher. This program
// defines that function itself, so discovery's own definition is not linked
// in: threads and tasks start the standard way, but a sweep thread notes, as
// it ends, whether the view controller was already gone, and a probe that
// would start after that ends the program: its event would go through the
// destroyed engine's messenger.
const Launcher& StandardLauncher() {
  static const Launcher launcher{
      [](std::function<void()> work) {
        return std::thread([work] {
          work();
          controllers_destroyed_at_sweep_end = ControllersDestroyed();
        });
      },
      [](std::function<void()> work) {
        return std::async(std::launch::async, [work] {
          if (ControllersDestroyed() != 0) {
            std::fputs("A probe started after the view controller was released.\n", stderr);
            std::_Exit(1);
          }
          work();
        });
      },
  };
  return launcher;
}

namespace {

class FlutterWindowTest : public fake_engine::FakeEngineTest {};

// Messages also reach the window's handler when it holds no view controller.
class OpenWindow : public FlutterWindow {
 public:
  using FlutterWindow::FlutterWindow;
  using FlutterWindow::HandleMessage;
};

// The window's life, with a sweep running when it closes.
TEST_F(FlutterWindowTest, ShowsOnTheFirstFrameAndStopsSweepsBeforeReleasingTheEngine) {
  fake_network::Script script;
  // The sweep must not end by itself before the window goes, so its last
  // batch is held back. Only a sweep that got there before teardown (after the
  // machine stalled for a whole second) waits out the 20 s, and then goes on.
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  script.hook = [released](fake_network::Call call, const std::string& ip) {
    if (call == fake_network::Call::kSendEcho &&
        std::stoi(ip.substr(ip.rfind('.') + 1)) > (sweep_pacing::kBatchCount - 1) * sweep_pacing::kBatchSize) {
      released.wait_for(std::chrono::seconds(20));
    }
  };
  fake_network::Reset(script);
  controllers_destroyed_at_sweep_end = -1;
  OpenWindow window(flutter::DartProject(L"data"));

  ASSERT_TRUE(window.Create(L"rivelo", {10, 10}, {700, 600}));
  const HWND top = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"rivelo");
  ASSERT_NE(top, nullptr);
  EXPECT_FALSE(IsWindowVisible(top));
  ASSERT_TRUE(fake().RenderFrame());
  EXPECT_TRUE(IsWindowVisible(top));
  SendMessageW(top, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineReloadSystemFonts"), 1u);

  EXPECT_EQ(fake().DeliverMethodCall(kScanChannelName, "listen"),
            (std::vector<uint8_t>{0x00, 0x00}));
  // The first batch is out; the sweep is pausing or probing the next one.
  ASSERT_TRUE(fake().WaitForSentOn(kScanChannelName, sweep_pacing::kBatchSize, std::chrono::seconds(30)));
  window.Destroy();

  EXPECT_EQ(controllers_destroyed_at_sweep_end, 0);
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerDestroy"), 1u);
  window.HandleMessage(top, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineReloadSystemFonts"), 1u);
}

}  // namespace
