#include "shell/win32_window.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace {

UINT ScriptedDpi(HMONITOR) { return 120; }

// What the window handed to the calls whose effect Wine does not show: the
// dark-mode attribute (a stub there), the flags of SetWindowPos, the class
// registrations and the last record, and the windows whose frame was scaled.
std::optional<BOOL> dark_mode;
UINT position_flags = 0;
int class_registrations = 0;
WNDCLASSW registered{};
std::vector<HWND> frames_scaled;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

BOOL WINAPI RecordSetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy,
                               UINT flags) {
  position_flags = flags;
  return Real<decltype(&SetWindowPos)>("SetWindowPos")(window, insert_after, x, y, cx, cy, flags);
}

ATOM WINAPI CountRegistration(const WNDCLASSW* window_class) {
  ++class_registrations;
  registered = *window_class;
  return Real<decltype(&RegisterClassW)>("RegisterClassW")(window_class);
}

}  // namespace

// This executable exports the frame-scaling function and stands in for
// "User32.dll" when the window loads it (and so is never freed).
extern "C" __declspec(dllexport) BOOL WINAPI RecordFrameScaling(HWND) __asm__("EnableNonClientDpiScaling");
BOOL WINAPI RecordFrameScaling(HWND window) { return frames_scaled.push_back(window), TRUE; }

// The window code reaches these functions through their import slots; filling
// a slot here stands in for the library (the engine's DPI, user32) or records the call.
extern "C" {
UINT (*__imp_FlutterDesktopGetDpiForMonitor)(HMONITOR) = ScriptedDpi;
decltype(&SetWindowPos) __imp_SetWindowPos = RecordSetWindowPos;
decltype(&RegisterClassW) __imp_RegisterClassW = CountRegistration;
decltype(&LoadLibraryA) __imp_LoadLibraryA = [](LPCSTR) { return GetModuleHandleW(nullptr); };
decltype(&FreeLibrary) __imp_FreeLibrary = [](HMODULE) { return TRUE; };
}

// dwmapi.h declares its functions without an import slot: this definition is
// linked instead of the library's.
HRESULT WINAPI DwmSetWindowAttribute(HWND, DWORD attribute, LPCVOID value, DWORD size) {
  if (attribute == 20 && size == sizeof(BOOL)) dark_mode = *static_cast<const BOOL*>(value);
  return S_OK;
}

namespace {

constexpr wchar_t kClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

class Probe : public Win32Window {
 public:
  int destroyed = 0;
  bool refuse_creation = false;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (refuse_creation && message == WM_CREATE) return -1;
    return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
  void OnDestroy() override { ++destroyed; }
};

bool ClassRegistered() {
  WNDCLASSW found{};
  return GetClassInfoW(GetModuleHandleW(nullptr), kClass, &found) != FALSE;
}

// Sets AppsUseLightTheme, or deletes it when `light` is empty.
void SetLightTheme(std::optional<DWORD> light) {
  constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  if (light) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", REG_DWORD, &*light, sizeof(DWORD));
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme");
  }
}

TEST(Win32Window, ScalesByTheMonitorDpiAndKeepsTheContentFillingTheClientArea) {
  Win32Window window;
  ASSERT_TRUE(window.Create(L"scaled", {10, 10}, {700, 600}));
  const HWND top = FindWindowW(kClass, L"scaled");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(top, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
  RECT frame{};
  GetWindowRect(top, &frame);
  // At 120 DPI origin and size are scaled by 1.25 and truncated.
  const RECT scaled{12, 12, 12 + 875, 12 + 750};
  EXPECT_TRUE(EqualRect(&frame, &scaled))
      << frame.left << "," << frame.top << "," << frame.right << "," << frame.bottom;

  EXPECT_EQ(frames_scaled, std::vector<HWND>{top});

  // Without content, resizing and activating do nothing.
  window.Show();
  EXPECT_EQ(SendMessageW(top, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)), 0);
  EXPECT_EQ(SendMessageW(top, WM_ACTIVATE, WA_ACTIVE, 0), 0);

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

  // The suggested rectangle, kept in place in the z-order and not activated.
  RECT suggested{100, 50, 1150, 950};
  EXPECT_EQ(SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)), 0);
  GetWindowRect(top, &frame);
  EXPECT_TRUE(EqualRect(&frame, &suggested));
  EXPECT_EQ(position_flags, static_cast<UINT>(SWP_NOZORDER | SWP_NOACTIVATE));

  SetFocus(top);
  EXPECT_EQ(SendMessageW(top, WM_ACTIVATE, WA_INACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), content) << "the content takes the focus on every activation";
}

TEST(Win32Window, FollowsTheThemeSettingBothWaysAndLeavesTheFrameWhenItIsAbsent) {
  // The setting, whether the step creates the window (else it announces
  // WM_DWMCOLORIZATIONCOLORCHANGED) and the attribute the window then sets.
  const std::tuple<std::optional<DWORD>, bool, std::optional<BOOL>> steps[] = {
      {0, true, TRUE}, {1, false, FALSE}, {0, false, TRUE}, {std::nullopt, false, std::nullopt}};
  Win32Window window;
  for (const auto& [light, create, dark] : steps) {
    SetLightTheme(light);
    dark_mode.reset();
    if (create) {
      ASSERT_TRUE(window.Create(L"theme", {10, 10}, {700, 600}));
    } else {
      EXPECT_EQ(SendMessageW(FindWindowW(kClass, L"theme"), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
    }
    EXPECT_EQ(dark_mode, dark) << "light " << light.value_or(2) << " create " << create;
  }
}

TEST(Win32Window, RegistersTheClassOnceAndUnregistersItAfterTheLastWindow) {
  class_registrations = 0;
  auto first = std::make_unique<Win32Window>();
  {
    Win32Window second;
    ASSERT_TRUE(first->Create(L"first", {10, 10}, {700, 600}));
    ASSERT_TRUE(second.Create(L"second", {10, 10}, {700, 600}));
    EXPECT_EQ(class_registrations, 1);
  }
  // This executable carries rivelo's resources, icon 101 among them.
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101));
  EXPECT_EQ(std::make_tuple(registered.style, registered.hIcon, registered.hCursor, registered.hbrBackground),
            std::make_tuple(UINT{CS_HREDRAW | CS_VREDRAW}, icon, LoadCursorW(nullptr, IDC_ARROW), HBRUSH{}));
  EXPECT_NE(icon, nullptr);
  EXPECT_TRUE(ClassRegistered()) << "one window is left";
  first.reset();
  EXPECT_FALSE(ClassRegistered());
}

TEST(Win32Window, ASecondCreateDestroysTheFirstWindow) {
  Probe window;
  ASSERT_TRUE(window.Create(L"again", {10, 10}, {700, 600}));
  const HWND first = FindWindowW(kClass, L"again");
  const int destroyed = window.destroyed;
  ASSERT_TRUE(window.Create(L"again", {10, 10}, {700, 600}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_GT(window.destroyed, destroyed);
  window.refuse_creation = true;
  EXPECT_FALSE(window.Create(L"refused", {10, 10}, {700, 600}));
}

TEST(Win32Window, ClosingRunsOnDestroyAndPostsQuitOnlyWhenQuitOnCloseIsSet) {
  for (const bool quit : {false, true}) {
    Probe window;
    if (quit) window.SetQuitOnClose(true);
    ASSERT_TRUE(window.Create(L"closing", {10, 10}, {700, 600}));
    const int destroyed = window.destroyed;
    DestroyWindow(FindWindowW(kClass, L"closing"));
    EXPECT_GT(window.destroyed, destroyed);
    MSG message{};
    EXPECT_EQ(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE, quit);
    EXPECT_EQ(message.wParam, 0u);
  }
}

}  // namespace
