#include "standin/engine/window_messages.h"

namespace standin {

std::string WindowMessageName(UINT message) {
  switch (message) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SIZE: return "WM_SIZE";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_FONTCHANGE: return "WM_FONTCHANGE";
    case WM_CHAR: return "WM_CHAR";
    case WM_DPICHANGED: return "WM_DPICHANGED";
    case WM_DWMCOLORIZATIONCOLORCHANGED: return "WM_DWMCOLORIZATIONCOLORCHANGED";
    default: return std::string();
  }
}

}  // namespace standin
