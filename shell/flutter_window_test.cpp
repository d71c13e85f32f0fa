#include "shell/flutter_window.h"

#include <gtest/gtest.h>

#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <ios>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "discovery/launcher.h"
#include "discovery/scan_channel.h"
#include "discovery/sweep_pacing.h"
#include "shell/console.h"
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

// What the shell asked of the system and the plug-ins, in order.
std::string calls;

template <typename Result>
Result Note(const std::string& call, Result result) {
  calls += call + " ";
  return result;
}

// The start-up steps note how many channel handlers were set by then.
std::string AfterChannels(const char* step) {
  return step + std::to_string(fake_engine::FakeEngine::Get().CallCount("FlutterDesktopMessengerSetCallback"));
}

// What the console start is told.
struct ConsoleScript { BOOL attached, debugger, allocated; errno_t reopen_error; } console;

}  // namespace

// The shell reaches these functions through their import slots; each notes its
// call and answers as scripted.
extern "C" {
decltype(&AttachConsole) __imp_AttachConsole = [](DWORD process) {
  return Note(process == ATTACH_PARENT_PROCESS ? "attach" : "attach-other", console.attached);
};
decltype(&IsDebuggerPresent) __imp_IsDebuggerPresent = [] { return Note("debugger", console.debugger); };
decltype(&AllocConsole) __imp_AllocConsole = [] { return Note("alloc", console.allocated); };
decltype(&freopen_s) __imp_freopen_s = [](FILE**, const char* name, const char* mode, FILE* stream) {
  return Note(std::string(name) + mode + (stream == stdout ? "-out" : "-err"), console.reopen_error);
};
decltype(&_dup2) __imp__dup2 = [](int from, int to) { return Note("dup2:" + std::to_string(from * 10 + to), 0); };
// The view stays where it is: the window's own tests see it adopted.
decltype(&SetParent) __imp_SetParent = [](HWND, HWND) { return Note(AfterChannels("content@"), HWND{}); };
}

// The plug-in libraries are not part of this program.
void RegisterPlugins(flutter::PluginRegistry*) { Note(AfterChannels("plugins@"), 0); }

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

// The process start: the console decision in every case, then the window's
// start-up (plug-ins, channel, content) and a loop that a pending WM_QUIT ends.
TEST_F(FlutterWindowTest, MainOpensAConsoleOnlyUnderADebuggerWithoutAParentOneThenStartsTheWindow) {
  const std::tuple<ConsoleScript, std::string, size_t> cases[] = {
      {{TRUE, TRUE, TRUE, 0}, "attach ", 0},
      {{FALSE, FALSE, TRUE, 0}, "attach debugger ", 0},
      {{FALSE, TRUE, FALSE, 0}, "attach debugger alloc ", 0},
      {{FALSE, TRUE, TRUE, 0}, "attach debugger alloc CONOUT$w-out CONOUT$w-err ", 1},
      {{FALSE, TRUE, TRUE, 1}, "attach debugger alloc CONOUT$w-out dup2:11 CONOUT$w-err dup2:12 ", 1},
  };
  for (const auto& [script, console_calls, resynced] : cases) {
    fake().Reset();
    console = script;
    calls.clear();
    PostQuitMessage(0);
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), EXIT_SUCCESS);
    EXPECT_EQ(calls, console_calls + "plugins@0 content@1 ");
    EXPECT_EQ(fake().CallCount("FlutterDesktopResyncOutputStreams"), resynced) << console_calls;
  }
  EXPECT_TRUE(std::ios::sync_with_stdio(true)) << "the C++ streams stay in step with the C runtime's";
  fake().FailViewControllerCreation();
  calls.clear();
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), EXIT_FAILURE);
  EXPECT_EQ(calls, "attach debugger alloc CONOUT$w-out dup2:11 CONOUT$w-err dup2:12 ") << "no plug-ins";
}

}  // namespace
