#include "shell/window_class_registrar.h"

#include <windows.h>

#include "shell/win32_window.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
// The icon group that the executable's resources carry.
constexpr int kAppIconId = 101;

}  // namespace

WindowClassRegistrar* WindowClassRegistrar::GetInstance() {
  static WindowClassRegistrar* const instance = new WindowClassRegistrar();
  return instance;
}

const wchar_t* WindowClassRegistrar::EnsureRegistered() {
  if (!registered_) {
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = Win32Window::WindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kAppIconId));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClassName;
    RegisterClassW(&window_class);
    registered_ = true;
  }
  return kWindowClassName;
}

void WindowClassRegistrar::Unregister() {
  UnregisterClassW(kWindowClassName, nullptr);
  registered_ = false;
}
