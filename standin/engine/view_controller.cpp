#include "standin/engine/view_controller.h"

#include <cstdio>

#include "standin/engine/dpi.h"
#include "standin/engine/module.h"
#include "standin/engine/results_view.h"
#include "standin/engine/window_messages.h"
#include "standin/engine/window_state.h"

namespace standin {
namespace {

std::string HandleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

}  // namespace

std::unique_ptr<StandinView> StandinView::Create(int32_t width, int32_t height,
                                                 StandinEngine* engine, FlutterDesktopView* view) {
  Transcript& transcript = *engine->transcript();
  std::unique_ptr<StandinView> controller(new StandinView(engine, view));
  const wchar_t* class_name = EnsureWindowClass(L"RiveloStandinView", &StandinView::ViewProc,
                                                nullptr);
  // A child needs a parent at creation; until the host adopts the view with
  // SetParent it lives under the message-only parent, invisible.
  view->window = CreateWindowExW(0, class_name, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                                 0, width, height, HWND_MESSAGE, nullptr, ThisModule(),
                                 controller.get());
  if (view->window == nullptr) {
    transcript.Record("view_controller_create_failed",
                      JsonLine().Add("reason", "no child window")
                          .Add("error", static_cast<int64_t>(GetLastError())));
    return nullptr;
  }
  controller->script_ = std::make_unique<DartScript>(
      engine, controller.get(), ScriptOptions::Parse(engine->properties().arguments));
  RECT client{};
  GetClientRect(view->window, &client);
  transcript.Record("view_controller_created",
                    JsonLine()
                        .Add("width", static_cast<int64_t>(width))
                        .Add("height", static_cast<int64_t>(height))
                        .Add("hwnd", HandleText(view->window))
                        .AddRaw("client", RectJson(client)));
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
  engine_->transcript()->Record("view_controller_destroyed", JsonLine().Add("frames", frames_));
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
  ++frames_;
  if (frames_ == 1) {
    const std::string before = DescribeWindowState(view_->window);
    const bool ran = RunNextFrame(engine_->engine());
    const std::string after = DescribeWindowState(view_->window);
    engine_->transcript()->Record(
        "first_frame",
        JsonLine().AddRaw("before", before).AddRaw("after", after).Add("callback", ran));
    script_->OnFirstFrame();
  } else if (RunNextFrame(engine_->engine())) {
    engine_->transcript()->Record("frame_callback");
  }
}

void StandinView::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(view_->window, &paint);
  frame_.Present(dc);
  EndPaint(view_->window, &paint);
}

bool StandinView::HandleTopLevelWindowProc(UINT message, WPARAM wparam, LPARAM lparam,
                                           LRESULT* result) {
  const bool claimed = script_ && script_->options().Claims(message);
  const std::string name = WindowMessageName(message);
  if (!claimed && name.empty()) return false;
  JsonLine fields;
  fields.Add("message", static_cast<int64_t>(message))
      .Add("name", name)
      .Add("wparam", static_cast<int64_t>(wparam))
      .Add("lparam", static_cast<int64_t>(lparam))
      .Add("claimed", claimed);
  if (claimed) fields.Add("result", static_cast<int64_t>(ScriptOptions::kClaimResult));
  engine_->transcript()->Record("window_message", fields);
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
