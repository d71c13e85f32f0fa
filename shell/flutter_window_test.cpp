#include "shell/flutter_window.h"

#include <gtest/gtest.h>

#include <io.h>

#include <atomic>
#include <cerrno>
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

// The start-up steps that the test sees, each with the number of channel
// handlers set by then.
std::string start_up;

void NoteStartUpStep(const char* step) {
  start_up += std::string(step) + "@" +
              std::to_string(fake_engine::FakeEngine::Get().CallCount(
                  "FlutterDesktopMessengerSetCallback")) +
              " ";
}

HWND WINAPI AdoptContent(HWND child, HWND parent) {
  NoteStartUpStep("content");
  const auto real = reinterpret_cast<decltype(&SetParent)>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetParent")));
  return real(child, parent);
}

// The console start's calls, in order, answered as the script says.
struct ConsoleScript {
  BOOL attached, debugger, allocated;
  errno_t reopened;
};
ConsoleScript console{TRUE, FALSE, FALSE, 0};
std::string console_calls;

BOOL WINAPI Attach(DWORD process) {
  console_calls += process == ATTACH_PARENT_PROCESS ? "attach-parent " : "attach-other ";
  return console.attached;
}
BOOL WINAPI DebuggerPresent() {
  console_calls += "debugger ";
  return console.debugger;
}
BOOL WINAPI Allocate() {
  console_calls += "alloc ";
  return console.allocated;
}
errno_t Reopen(FILE** reopened, const char* name, const char* mode, FILE* stream) {
  console_calls += std::string("reopen(") + name + " " + mode +
                   (stream == stdout ? " out) " : stream == stderr ? " err) " : " ?) ");
  *reopened = nullptr;
  return console.reopened;
}
int Duplicate(int from, int to) {
  console_calls += "dup2(" + std::to_string(from) + " " + std::to_string(to) + ") ";
  return 0;
}

// The message loop's fetch without the wait: the first closes the window as a
// person would; an empty queue ends the loop, noted, where the real fetch
// would wait for ever.
int fetches = 0;
bool loop_starved = false;
BOOL WINAPI FetchWithoutWaiting(MSG* message, HWND window, UINT first, UINT last) {
  if (fetches++ == 0) PostMessageW(FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"rivelo"), WM_CLOSE, 0, 0);
  loop_starved = !PeekMessageW(message, window, first, last, PM_REMOVE);
  return !loop_starved && message->message != WM_QUIT;
}

}  // namespace

// The shell reaches these through their import slots.
extern "C" {
decltype(&SetParent) __imp_SetParent = AdoptContent;
decltype(&AttachConsole) __imp_AttachConsole = Attach;
decltype(&IsDebuggerPresent) __imp_IsDebuggerPresent = DebuggerPresent;
decltype(&AllocConsole) __imp_AllocConsole = Allocate;
decltype(&freopen_s) __imp_freopen_s = Reopen;
decltype(&_dup2) __imp__dup2 = Duplicate;
decltype(&GetMessageW) __imp_GetMessageW = FetchWithoutWaiting;
}

// The plug-in libraries are not part of this program.
void RegisterPlugins(flutter::PluginRegistry*) { NoteStartUpStep("plugins"); }

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
    if (call == fake_network::Call::kSendEcho && std::stoi(ip.substr(ip.rfind('.') + 1)) > 250) {
      released.wait_for(std::chrono::seconds(20));
    }
  };
  fake_network::Reset(script);
  controllers_destroyed_at_sweep_end = -1;
  OpenWindow window(flutter::DartProject(L"data"));

  start_up.clear();
  ASSERT_TRUE(window.Create(L"rivelo", {10, 10}, {700, 600}));
  EXPECT_EQ(start_up, "plugins@0 content@1 ") << "the view is adopted after plug-ins and channel";
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
  ASSERT_TRUE(fake().WaitForSentOn(kScanChannelName, 50, std::chrono::seconds(30)));
  window.Destroy();

  EXPECT_EQ(controllers_destroyed_at_sweep_end, 0);
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerDestroy"), 1u);
  window.HandleMessage(top, WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(fake().CallCount("FlutterDesktopEngineReloadSystemFonts"), 1u);
}

TEST_F(FlutterWindowTest, OpensAConsoleOnlyUnderADebuggerWithoutAParentOneAndFallsBackToStdout) {
  struct Case {
    ConsoleScript script;
    const char* calls;
  };
  const Case cases[] = {
      {{TRUE, TRUE, TRUE, 0}, "attach-parent "},
      {{FALSE, FALSE, TRUE, 0}, "attach-parent debugger "},
      {{FALSE, TRUE, FALSE, 0}, "attach-parent debugger alloc "},
      {{FALSE, TRUE, TRUE, 0},
       "attach-parent debugger alloc reopen(CONOUT$ w out) reopen(CONOUT$ w err) resync "},
      {{FALSE, TRUE, TRUE, EACCES},
       "attach-parent debugger alloc reopen(CONOUT$ w out) dup2(1 1) reopen(CONOUT$ w err) dup2(1 2) "
       "resync "},
  };
  for (const Case& c : cases) {
    console = c.script;
    console_calls.clear();
    const size_t resyncs = fake().CallCount("FlutterDesktopResyncOutputStreams");
    AttachOrOpenConsole();
    if (fake().CallCount("FlutterDesktopResyncOutputStreams") > resyncs) console_calls += "resync ";
    EXPECT_EQ(console_calls, c.calls);
  }
}

TEST_F(FlutterWindowTest, MainAttachesTheConsoleAndRunsUntilTheWindowIsClosed) {
  console = {TRUE, FALSE, FALSE, 0};
  console_calls.clear();
  fetches = 0;
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), EXIT_SUCCESS);
  EXPECT_EQ(console_calls, "attach-parent ");
  EXPECT_FALSE(loop_starved) << "closing the window ends the loop";
  EXPECT_EQ(fake().CallCount("FlutterDesktopViewControllerDestroy"), 1u);
  fake().FailViewControllerCreation();
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), EXIT_FAILURE);
}

}  // namespace
