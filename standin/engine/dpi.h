// The effective DPI of a monitor. Safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_DPI_H_
#define RIVELO_STANDIN_ENGINE_DPI_H_

#include <windows.h>

namespace standin {

// GetDpiForMonitor from shcore.dll, looked up at run time because older
// systems lack it; falls back to the screen's DPI, then to 96.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_DPI_H_
