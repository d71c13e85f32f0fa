#include "shell/win32_window.h"

#include <gtest/gtest.h>

namespace {

UINT ScriptedDpi(HMONITOR) { return 120; }

}  // namespace

// The window code asks the engine library for the monitor's DPI through the
// function's import slot; filling the slot here stands in for the library.
extern "C" {
UINT (*__imp_FlutterDesktopGetDpiForMonitor)(HMONITOR) = ScriptedDpi;
}

namespace {

TEST(Win32Window, ScalesByTheMonitorDpiAndKeepsTheContentFillingTheClientArea) {
  Win32Window window;
  ASSERT_TRUE(window.Create(L"scaled", {10, 10}, {700, 600}));
  const HWND top = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"scaled");
  ASSERT_NE(top, nullptr);
  RECT frame{};
  GetWindowRect(top, &frame);
  // At 120 DPI origin and size are scaled by 1.25 and truncated.
  const RECT scaled{12, 12, 12 + 875, 12 + 750};
  EXPECT_TRUE(EqualRect(&frame, &scaled))
      << frame.left << "," << frame.top << "," << frame.right << "," << frame.bottom;

  const HWND content = CreateWindowExW(0, L"STATIC", L"content", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                                       10, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  window.SetContent(content);
  SetWindowPos(top, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
  RECT client{};
  GetClientRect(top, &client);
  RECT child{};
  GetWindowRect(content, &child);
  MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&child), 2);
  EXPECT_EQ(GetParent(content), top);
  EXPECT_TRUE(EqualRect(&child, &client)) << "the content fills the client area after a resize";
}

}  // namespace
