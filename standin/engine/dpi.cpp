#include "standin/engine/dpi.h"

namespace standin {
namespace {

// MDT_EFFECTIVE_DPI; shellscalingapi.h is not needed for one constant.
constexpr int kEffectiveDpi = 0;
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// shcore.dll stays loaded for the life of the process once found.
GetDpiForMonitorFunction FindGetDpiForMonitor() {
  static const GetDpiForMonitorFunction function = []() -> GetDpiForMonitorFunction {
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    if (shcore == nullptr) return nullptr;
    return reinterpret_cast<GetDpiForMonitorFunction>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  }();
  return function;
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 0;
}

}  // namespace

UINT MonitorDpi(HMONITOR monitor) {
  const GetDpiForMonitorFunction get_dpi = FindGetDpiForMonitor();
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (monitor != nullptr && get_dpi != nullptr &&
      SUCCEEDED(get_dpi(monitor, kEffectiveDpi, &dpi_x, &dpi_y)) && dpi_x != 0) {
    return dpi_x;
  }
  const UINT screen = ScreenDpi();
  return screen != 0 ? screen : 96;
}

}  // namespace standin
