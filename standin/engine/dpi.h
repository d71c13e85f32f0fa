// The effective DPI of a monitor. Safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_DPI_H_
#define RIVELO_STANDIN_ENGINE_DPI_H_

#include <windows.h>

namespace standin {

// GetDpiForMonitor (Windows 8.1 and later, and Wine: all the stand-in runs
// on); for a monitor it cannot ask, the screen's DPI, then 96.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_DPI_H_
