#include "standin/engine/view_controller.h"

#include "standin/engine/dpi.h"
#include "standin/engine/module.h"
#include "standin/engine/results_view.h"

namespace standin {
namespace {

// The messages worth a window_message line besides a claimed one.
const char* WindowMessageName(UINT message) {
  switch (message) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SIZE: return "WM_SIZE";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_FONTCHANGE: return "WM_FONTCHANGE";
    case WM_CHAR: return "WM_CHAR";
    case WM_DPICHANGED: return "WM_DPICHANGED";
    case WM_DWMCOLORIZATIONCOLORCHANGED: return "WM_DWMCOLORIZATIONCOLORCHANGED";
    default: return "";
  }
}

Json Rect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

// Where the view's top-level window is and how it is shown, for the
// first_frame line.
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

}  // namespace

std::unique_ptr<StandinView> StandinView::Create(int32_t width, int32_t height,
                                                 StandinEngine* engine, FlutterDesktopView* view) {
  std::unique_ptr<StandinView> controller(new StandinView(engine, view));
  const wchar_t* class_name = EnsureWindowClass(L"RiveloStandinView", &StandinView::ViewProc);
  // A child needs a parent at creation; until the host adopts the view with
  // SetParent it lives under the message-only parent, invisible.
  view->window = CreateWindowExW(0, class_name, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                                 0, width, height, HWND_MESSAGE, nullptr, ThisModule(),
                                 controller.get());
  if (view->window == nullptr) return nullptr;
  controller->script_ = std::make_unique<DartScript>(engine, controller.get());
  engine->transcript().Record("view_controller_created", {{"width", width}, {"height", height}});
  // The engine draws a first frame by itself, ForceRedraw or not.
  controller->RequestFrame();
  return controller;
}

StandinView::StandinView(StandinEngine* engine, FlutterDesktopView* view)
    : engine_(engine), view_(view) {}

StandinView* StandinView::Of(ViewController& controller) {
  return static_cast<StandinView*>(controller.attachment.get());
}

StandinView::~StandinView() {
  engine_->transcript().Record("view_controller_destroyed");
  script_.reset();
  if (view_->window != nullptr) {
    SetWindowLongPtrW(view_->window, GWLP_USERDATA, 0);
    DestroyWindow(view_->window);
  }
}

HWND StandinView::TopLevelWindow() const { return GetAncestor(view_->window, GA_ROOT); }

// Frames are coalesced: many events arriving at once cost one frame.
void StandinView::RequestFrame() {
  if (frame_requested_) return;
  frame_requested_ = engine_->queue().Post([this] { DrawFrame(); });
}

void StandinView::DrawFrame() {
  frame_requested_ = false;
  RECT client{};
  GetClientRect(view_->window, &client);
  const UINT dpi = MonitorDpi(MonitorFromWindow(view_->window, MONITOR_DEFAULTTONEAREST));
  HDC dc = frame_.Begin(client.right, client.bottom);
  if (dc != nullptr) {
    PaintResults(dc, client, dpi, script_->model(), script_->Now());
  }
  InvalidateRect(view_->window, nullptr, FALSE);
  if (first_frame_drawn_) {
    RunNextFrame(engine_->engine());
    return;
  }
  first_frame_drawn_ = true;
  const Json before = DescribeWindowState(view_->window);
  const bool ran = RunNextFrame(engine_->engine());
  engine_->transcript().Record(
      "first_frame",
      {{"before", before}, {"after", DescribeWindowState(view_->window)}, {"callback", ran}});
  script_->OnFirstFrame();
}

void StandinView::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(view_->window, &paint);
  frame_.Present(dc);
  EndPaint(view_->window, &paint);
}

bool StandinView::HandleTopLevelWindowProc(UINT message, LRESULT* result) {
  const bool claimed = engine_->options().Claims(message);
  const char* name = WindowMessageName(message);
  if (!claimed && *name == '\0') return false;
  engine_->transcript().Record("window_message", {{"name", name}, {"claimed", claimed}});
  if (!claimed) return false;
  if (result != nullptr) *result = ScriptOptions::kClaimResult;
  return true;
}

LRESULT CALLBACK StandinView::ViewProc(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* controller = reinterpret_cast<StandinView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (controller != nullptr) {
    switch (message) {
      case WM_PAINT:
        controller->Paint();
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_SIZE:
      case WM_DPICHANGED_AFTERPARENT:
        controller->RequestFrame();
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace standin
