#include "shell/win32_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "shell/scripted_dpi.h"

namespace {

constexpr wchar_t kClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

bool IsClassRegistered() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &window_class) != 0;
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT ClientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

// Child rectangle relative to its parent's client area.
RECT ChildRect(HWND child) {
  RECT rect = WindowRect(child);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

testing::AssertionResult SameRect(const RECT& actual, const RECT& expected) {
  if (actual.left == expected.left && actual.top == expected.top &&
      actual.right == expected.right && actual.bottom == expected.bottom) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "(" << actual.left << "," << actual.top << ")-(" << actual.right << ","
         << actual.bottom << ") instead of (" << expected.left << "," << expected.top << ")-("
         << expected.right << "," << expected.bottom << ")";
}

class TestWindow : public Win32Window {
 public:
  bool CreateDefault() { return Create(L"test", Point{10, 10}, Size{700, 600}); }

  // The window this object made last, as its window procedure saw it.
  HWND handle() const { return created_window_; }

  LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
    return SendMessageW(created_window_, message, wparam, lparam);
  }

  int on_create_calls = 0;
  int on_destroy_calls = 0;
  bool recording = false;
  std::vector<UINT> handled;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (recording) {
      handled.push_back(message);
    }
    created_window_ = window;
    return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
  bool OnCreate() override {
    ++on_create_calls;
    return true;
  }
  void OnDestroy() override { ++on_destroy_calls; }

 private:
  HWND created_window_{nullptr};
};

HWND MakeChild() {
  return CreateWindowExW(0, L"STATIC", L"content", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                         HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class Win32WindowTest : public testing::Test {
 protected:
  void SetUp() override { SetScriptedDpi(96); }
};

TEST_F(Win32WindowTest, ClassIsRegisteredOnceAndUnregisteredAfterLastWindow) {
  auto first = std::make_unique<TestWindow>();
  auto second = std::make_unique<TestWindow>();
  ASSERT_TRUE(first->CreateDefault());
  ASSERT_TRUE(second->CreateDefault());
  EXPECT_TRUE(IsClassRegistered());

  first.reset();
  EXPECT_TRUE(IsClassRegistered()) << "still needed by the second window";
  ASSERT_TRUE(second->CreateDefault()) << "the class must survive the first window";

  second.reset();
  EXPECT_FALSE(IsClassRegistered());

  TestWindow again;
  EXPECT_TRUE(again.CreateDefault()) << "a later window registers the class again";
}

TEST_F(Win32WindowTest, SecondCreateDestroysEarlierWindowFirst) {
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  const HWND first = window.handle();
  const int destroys_before = window.on_destroy_calls;

  ASSERT_TRUE(window.CreateDefault());
  EXPECT_FALSE(IsWindow(first));
  EXPECT_NE(window.handle(), first);
  EXPECT_TRUE(IsWindow(window.handle()));
  EXPECT_GT(window.on_destroy_calls, destroys_before);
  EXPECT_EQ(window.on_create_calls, 2);
}

struct DpiCase {
  uint32_t dpi;
  RECT expected;
};

class Win32WindowDpiTest : public testing::TestWithParam<DpiCase> {};

TEST_P(Win32WindowDpiTest, ScalesOriginAndSizeByTruncation) {
  SetScriptedDpi(GetParam().dpi);
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  EXPECT_TRUE(SameRect(WindowRect(window.handle()), GetParam().expected));
  SetScriptedDpi(96);
}

INSTANTIATE_TEST_SUITE_P(Table, Win32WindowDpiTest,
                         testing::Values(DpiCase{96, RECT{10, 10, 710, 610}},
                                         DpiCase{120, RECT{12, 12, 887, 762}},
                                         DpiCase{144, RECT{15, 15, 1065, 915}},
                                         DpiCase{168, RECT{17, 17, 1242, 1067}},
                                         DpiCase{192, RECT{20, 20, 1420, 1220}}),
                         [](const testing::TestParamInfo<DpiCase>& row) {
                           return "Dpi" + std::to_string(row.param.dpi);
                         });

TEST_F(Win32WindowTest, DpiChangeMovesAndSizesToSuggestedRect) {
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  RECT suggested{100, 50, 1150, 950};
  EXPECT_EQ(window.Send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_TRUE(SameRect(WindowRect(window.handle()), RECT{100, 50, 1150, 950}));
}

TEST_F(Win32WindowTest, ContentFillsClientAreaAndFollowsResizes) {
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  const HWND content = MakeChild();
  ASSERT_NE(content, nullptr);
  window.SetContent(content);
  EXPECT_EQ(GetParent(content), window.handle());
  EXPECT_TRUE(SameRect(ChildRect(content), ClientRect(window.handle())));

  for (const SIZE size : {SIZE{400, 300}, SIZE{1000, 820}, SIZE{150, 120}}) {
    SetWindowPos(window.handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(SameRect(ChildRect(content), ClientRect(window.handle())))
        << "after resizing to " << size.cx << "x" << size.cy;
  }
}

TEST_F(Win32WindowTest, ActivationFocusesContent) {
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  const HWND content = MakeChild();
  window.SetContent(content);
  SetFocus(window.handle());
  ASSERT_NE(GetFocus(), content);

  EXPECT_EQ(window.Send(WM_ACTIVATE, WA_INACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), content) << "whatever state the activation reports";
}

TEST_F(Win32WindowTest, SizeAndActivateWithoutContentDoNothing) {
  TestWindow window;
  ASSERT_TRUE(window.CreateDefault());
  SetFocus(nullptr);
  const RECT before = WindowRect(window.handle());

  EXPECT_EQ(window.Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)), 0);
  // The default handling would focus the window itself.
  EXPECT_EQ(window.Send(WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_TRUE(SameRect(WindowRect(window.handle()), before));
}

bool TakeQuitMessage(WPARAM* exit_code) {
  MSG message;
  if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    return false;
  }
  *exit_code = message.wParam;
  return true;
}

TEST_F(Win32WindowTest, ClosingPostsQuitOnlyWhenAsked) {
  for (const bool quit_on_close : {false, true}) {
    TestWindow window;
    ASSERT_TRUE(window.CreateDefault());
    window.SetQuitOnClose(quit_on_close);
    // A close that nobody handles reaches the default handling, which
    // destroys the window, as when the user closes it.
    window.Send(WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window.handle()));

    WPARAM exit_code = 99;
    EXPECT_EQ(TakeQuitMessage(&exit_code), quit_on_close);
    if (quit_on_close) {
      EXPECT_EQ(exit_code, 0u);
    }
  }
}

// Records every message sent to windows of this thread before their window
// procedure runs.
std::vector<UINT>* hooked_messages = nullptr;

LRESULT CALLBACK RecordSentMessage(int code, WPARAM wparam, LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && hooked_messages != nullptr) {
    wchar_t class_name[64] = {};
    GetClassNameW(sent->hwnd, class_name, 64);
    if (std::wstring(class_name) == kClassName) {
      hooked_messages->push_back(sent->message);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Win32WindowTest, MessagesBeforeNcCreateGoToDefaultHandling) {
  std::vector<UINT> sent;
  hooked_messages = &sent;
  const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordSentMessage, nullptr,
                                       GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  TestWindow window;
  window.recording = true;
  const bool created = window.CreateDefault();
  window.recording = false;
  UnhookWindowsHookEx(hook);
  hooked_messages = nullptr;
  ASSERT_TRUE(created);

  const auto nccreate = std::find(sent.begin(), sent.end(), UINT{WM_NCCREATE});
  ASSERT_NE(nccreate, sent.end());
  ASSERT_NE(nccreate, sent.begin()) << "the system sent nothing before WM_NCCREATE";
  // Nothing before WM_NCCREATE, nor WM_NCCREATE itself, reaches the object;
  // everything after it does, in order.
  EXPECT_EQ(window.handled, std::vector<UINT>(nccreate + 1, sent.end()));
}

}  // namespace
