#include "shell/flutter_window.h"

#include <optional>

#include "shell/plugin_registrant.h"

FlutterWindow::FlutterWindow(const flutter::DartProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  ReleaseEngine();
}

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) {
    return false;
  }
  const RECT frame = GetClientArea();
  view_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (view_controller_->GetEngine() == nullptr || view_controller_->GetView() == nullptr) {
    return false;
  }
  flutter::FlutterEngine* engine = view_controller_->GetEngine();
  RegisterPlugins(engine);
  scan_service_ = RegisterScanChannel(engine->GetMessenger());
  SetContent(view_controller_->GetView()->GetWindowHandle());
  // The window was created hidden so that it never shows an empty frame.
  engine->SetNextFrameCallback([this]() { Show(); });
  view_controller_->ForceRedraw();
  return true;
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (view_controller_) {
    const std::optional<LRESULT> result =
        view_controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) {
      return *result;
    }
  }
  if (message == WM_FONTCHANGE && view_controller_) {
    view_controller_->GetEngine()->ReloadSystemFonts();
  }
  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void FlutterWindow::OnDestroy() {
  ReleaseEngine();
  Win32Window::OnDestroy();
}

void FlutterWindow::ReleaseEngine() {
  if (scan_service_) {
    scan_service_->Stop();
    scan_service_.reset();
  }
  // reset() empties the member before the controller is destroyed, so
  // messages that arrive during its destruction no longer reach the engine.
  view_controller_.reset();
}
