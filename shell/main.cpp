// Entry point of rivelo.exe: starts the engine in the host window and runs
// the message loop until the window is closed.
#include <windows.h>

#include <cstdlib>

#include "engine/dart_project.h"
#include "shell/com_apartment.h"
#include "shell/command_line.h"
#include "shell/console.h"
#include "shell/flutter_window.h"

namespace {

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  AttachOrOpenConsole();
  // Outlives the window object, so the engine and the plug-ins live in the
  // apartment from start to end, on every path out.
  const ComApartment apartment;

  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments(GetCommandLineArguments());

  FlutterWindow window(project);
  if (!window.Create(L"rivelo", Win32Window::Point{10, 10}, Win32Window::Size{700, 600})) {
    return EXIT_FAILURE;
  }
  window.SetQuitOnClose(true);
  RunMessageLoop();
  return EXIT_SUCCESS;
}
