// FlutterWindow: the application's one top-level window.
//
// When its window is created it starts the engine for the project, registers
// the plug-ins, serves the discovery channel and embeds the engine's view; it
// shows itself once the engine has drawn a frame. Every window message goes to
// the engine first. When the window is destroyed, running discovery sweeps
// are stopped before the engine goes.
//
// Owned by the process entry for the life of the message loop. Main thread
// only.
#ifndef RIVELO_SHELL_FLUTTER_WINDOW_H_
#define RIVELO_SHELL_FLUTTER_WINDOW_H_

#include <memory>

#include "discovery/scan_channel.h"
#include "engine/dart_project.h"
#include "engine/flutter_view_controller.h"
#include "shell/win32_window.h"

class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::DartProject& project);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnCreate() override;
  // Safe to call repeatedly: once released, nothing is left to release.
  void OnDestroy() override;

 private:
  void ReleaseEngine();

  flutter::DartProject project_;
  std::unique_ptr<flutter::FlutterViewController> view_controller_;
  // Declared after the controller so that, at destruction too, the sweeps
  // stop before the engine they send through is gone.
  std::unique_ptr<ScanService> scan_service_;
};

#endif  // RIVELO_SHELL_FLUTTER_WINDOW_H_
