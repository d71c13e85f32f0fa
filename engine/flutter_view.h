// The engine's view: the child window the engine draws into. The library's
// view controller owns the view; this wrapper only borrows its handle and
// lives inside the FlutterViewController. Platform thread only.
#ifndef RIVELO_ENGINE_FLUTTER_VIEW_H_
#define RIVELO_ENGINE_FLUTTER_VIEW_H_

#include "engine/flutter_windows.h"

namespace flutter {

class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}
  virtual ~FlutterView() = default;
  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND GetWindowHandle() { return FlutterDesktopViewGetHWND(view_); }

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_FLUTTER_VIEW_H_
