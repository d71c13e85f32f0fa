#include "engine/flutter_view_controller.h"

#include <iostream>

#include "encoding/console_line.h"

namespace flutter {

FlutterViewController::FlutterViewController(int32_t width, int32_t height,
                                             const DartProject& project)
    : engine_(std::make_shared<FlutterEngine>(project)) {
  controller_ =
      FlutterDesktopViewControllerCreate(width, height, engine_->TransferEngineOwnership());
  if (controller_ == nullptr) {
    console_line::WriteLine(std::cerr, "Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_));
}

FlutterViewController::~FlutterViewController() {
  if (controller_ != nullptr) {
    FlutterDesktopViewControllerDestroy(controller_);
  }
}

void FlutterViewController::ForceRedraw() {
  FlutterDesktopViewControllerForceRedraw(controller_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd,
                                                                       UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  LRESULT result = 0;
  if (!FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_, hwnd, message,
                                                            wparam, lparam, &result)) {
    return std::nullopt;
  }
  return result;
}

}  // namespace flutter
