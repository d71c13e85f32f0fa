// Creates the engine from a DartProject and the library's view controller
// that runs it and shows it in a child window, and forwards top-level window
// messages to the library. The host window owns exactly one per window, from
// window creation until the window is destroyed. Platform thread only.
//
// Creation can fail: GetView is then null (and the failure was reported on
// standard error); GetEngine is never null.
#ifndef RIVELO_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
#define RIVELO_ENGINE_FLUTTER_VIEW_CONTROLLER_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/dart_project.h"
#include "engine/flutter_engine.h"
#include "engine/flutter_view.h"
#include "engine/flutter_windows.h"

namespace flutter {

class FlutterViewController {
 public:
  // width and height: the client area the view is to fill, in pixels.
  FlutterViewController(int32_t width, int32_t height, const DartProject& project);
  // Destroys the library's view controller (and with it the library engine)
  // before the view wrapper and the engine wrapper go.
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() { return engine_.get(); }
  FlutterView* GetView() { return view_.get(); }

  void ForceRedraw();

  // Gives the library the first chance at a top-level window message. The
  // result is present only when the library handled the message.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
