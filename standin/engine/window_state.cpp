#include "standin/engine/window_state.h"

#include "standin/engine/dpi.h"

namespace standin {
namespace {

Json Rect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

Json DescribeWindowState(HWND view) {
  const HWND top_level = GetAncestor(view, GA_ROOT);
  RECT window{};
  RECT client{};
  GetWindowRect(top_level, &window);
  GetClientRect(top_level, &client);
  const char* state = IsIconic(top_level) ? "minimized" : IsZoomed(top_level) ? "maximized" : "normal";
  return {{"top_level", Rect(window)},
          {"client", Rect(client)},
          {"view_parent_is_top_level", GetParent(view) == top_level && top_level != view},
          {"dpi", MonitorDpi(MonitorFromWindow(top_level, MONITOR_DEFAULTTONEAREST))},
          {"visible", IsWindowVisible(top_level) != FALSE},
          {"state", state}};
}

}  // namespace standin
