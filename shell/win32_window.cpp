#include "shell/win32_window.h"

#include <dwmapi.h>

#include <memory>

#include "engine/flutter_windows.h"
#include "shell/window_class_registrar.h"

namespace {

// Not in every SDK's headers; Windows 10 20H1 and later honour it.
constexpr DWORD kUseImmersiveDarkMode = 20;

constexpr wchar_t kThemeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";

// Live Win32Window objects; the class is unregistered when none is left.
int32_t active_window_count = 0;

struct LibraryDeleter {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;

// EnableNonClientDpiScaling exists from Windows 10 1607 on; without it the
// frame simply is not scaled, so look it up instead of importing it.
void EnableFrameDpiScaling(HWND window) {
  const LoadedLibrary user32(LoadLibraryA("User32.dll"));
  if (!user32) {
    return;
  }
  using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);
  // Through void(*)(), the one function type that converts to any other
  // without a cast-function-type warning.
  const auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32.get(), "EnableNonClientDpiScaling")));
  if (enable != nullptr) {
    enable(window);
  }
}

int32_t Scale(int32_t logical, double scale_factor) {
  return static_cast<int32_t>(logical * scale_factor);
}

}  // namespace

Win32Window::Win32Window() {
  ++active_window_count;
}

Win32Window::~Win32Window() {
  --active_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();
  const wchar_t* class_name = WindowClassRegistrar::GetInstance()->EnsureRegistered();

  const POINT target_point{origin.x, origin.y};
  const HMONITOR monitor = MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  const double scale_factor = FlutterDesktopGetDpiForMonitor(monitor) / 96.0;

  const HWND window = CreateWindowExW(
      0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, Scale(origin.x, scale_factor),
      Scale(origin.y, scale_factor), Scale(size.width, scale_factor),
      Scale(size.height, scale_factor), nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }
  UpdateTheme(window);
  return OnCreate();
}

void Win32Window::Show() {
  ShowWindow(window_handle_, SW_SHOWNORMAL);
}

void Win32Window::Destroy() {
  OnDestroy();
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (active_window_count == 0) {
    WindowClassRegistrar::GetInstance()->Unregister();
  }
}

void Win32Window::SetContent(HWND content) {
  content_window_ = content;
  SetParent(content, window_handle_);
  FitContentToClientArea();
  SetFocus(content_window_);
}

RECT Win32Window::GetClientArea() {
  RECT client_area{};
  GetClientRect(window_handle_, &client_area);
  return client_area;
}

void Win32Window::SetQuitOnClose(bool quit_on_close) {
  quit_on_close_ = quit_on_close;
}

LRESULT CALLBACK Win32Window::WindowProc(HWND window, UINT message, WPARAM wparam,
                                         LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create_struct = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create_struct->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableFrameDpiScaling(window);
    self->window_handle_ = window;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  // Messages sent before WM_NCCREATE (WM_GETMINMAXINFO, for one) find no
  // object yet.
  if (auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
    return self->HandleMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      Destroy();
      if (quit_on_close_) {
        PostQuitMessage(0);
      }
      return 0;

    case WM_SIZE:
      FitContentToClientArea();
      return 0;

    case WM_ACTIVATE:
      if (content_window_ != nullptr) {
        SetFocus(content_window_);
      }
      return 0;

    case WM_DPICHANGED: {
      // The system suggests where the window keeps the same place on the new
      // monitor; the new DPI itself is not needed.
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      UpdateTheme(window);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Win32Window::OnCreate() {
  return true;
}

void Win32Window::OnDestroy() {}

void Win32Window::UpdateTheme(HWND window) {
  DWORD light_mode = 0;
  DWORD light_mode_size = sizeof(light_mode);
  const LSTATUS result = RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kLightThemeValue,
                                      RRF_RT_REG_DWORD, nullptr, &light_mode, &light_mode_size);
  if (result != ERROR_SUCCESS) {
    return;
  }
  const BOOL dark_mode = light_mode == 0;
  DwmSetWindowAttribute(window, kUseImmersiveDarkMode, &dark_mode, sizeof(dark_mode));
}

void Win32Window::FitContentToClientArea() {
  if (content_window_ == nullptr) {
    return;
  }
  const RECT area = GetClientArea();
  MoveWindow(content_window_, area.left, area.top, area.right - area.left,
             area.bottom - area.top, TRUE);
}
