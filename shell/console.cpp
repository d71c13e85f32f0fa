#include "shell/console.h"

#include <windows.h>

#include <cstdio>
#include <io.h>
#include <iostream>

#include "engine/flutter_windows.h"

namespace {

// When the stream cannot be reopened, the descriptor still follows stdout,
// which may already reach the console.
void ReopenOnConsole(FILE* stream, int descriptor) {
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stream) != 0) {
    _dup2(_fileno(stdout), descriptor);
  }
}

}  // namespace

void AttachOrOpenConsole() {
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) {
    OpenDebugConsole();
  }
}

void OpenDebugConsole() {
  if (!AllocConsole()) {
    return;
  }
  ReopenOnConsole(stdout, 1);
  ReopenOnConsole(stderr, 2);
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}
