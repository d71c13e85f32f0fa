#include "standin/engine/window_state.h"

#include "standin/engine/dpi.h"
#include "standin/engine/json_line.h"

namespace standin {

std::string RectJson(const RECT& rect) {
  return "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom) + "]";
}

std::string DescribeWindowState(HWND view) {
  const HWND top_level = GetAncestor(view, GA_ROOT);
  RECT window{};
  RECT client{};
  RECT view_rect{};
  GetWindowRect(top_level, &window);
  GetClientRect(top_level, &client);
  GetWindowRect(view, &view_rect);
  const char* state = IsIconic(top_level) ? "minimized" : IsZoomed(top_level) ? "maximized" : "normal";
  return JsonLine()
      .AddRaw("top_level", RectJson(window))
      .AddRaw("client", RectJson(client))
      .AddRaw("view", RectJson(view_rect))
      .Add("view_parent_is_top_level", GetParent(view) == top_level && top_level != view)
      .Add("dpi", static_cast<int64_t>(MonitorDpi(MonitorFromWindow(top_level, MONITOR_DEFAULTTONEAREST))))
      .Add("visible", IsWindowVisible(top_level) != FALSE)
      .Add("state", state)
      .Finish();
}

}  // namespace standin
