#include "shell/scripted_dpi.h"

#include <windows.h>

namespace {

uint32_t scripted_dpi = 96;

UINT ScriptedDpiForMonitor(HMONITOR) {
  return scripted_dpi;
}

}  // namespace

// The window code calls the engine library through its import slot (the
// declaration is dllimport); filling that slot here stands in for the DLL.
extern "C" {
UINT (*__imp_FlutterDesktopGetDpiForMonitor)(HMONITOR) = ScriptedDpiForMonitor;
}

void SetScriptedDpi(uint32_t dpi) {
  scripted_dpi = dpi;
}
