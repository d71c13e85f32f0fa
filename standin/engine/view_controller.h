// The stand-in's side of a view controller of the engine double: the view's
// real child window, the scripted Dart side, and its frames.
//
// Made by the double's FlutterDesktopViewControllerCreate and dropped by
// FlutterDesktopViewControllerDestroy (through the Platform in platform.cpp),
// both on the platform thread, where all of its operations run. Dropping it
// stops the script and destroys the child window; the double then destroys
// the engine.
#ifndef RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_
#define RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_

#include <windows.h>

#include <cstdint>
#include <memory>

#include "standin/double/engine_double.h"
#include "standin/engine/dart_script.h"
#include "standin/engine/engine.h"
#include "standin/engine/frame_buffer.h"

namespace standin {

class StandinView : public Attachment, public ViewHost {
 public:
  // Null when the child window cannot be created. Sets view->window.
  static std::unique_ptr<StandinView> Create(int32_t width, int32_t height,
                                             StandinEngine* engine, FlutterDesktopView* view);
  static StandinView* Of(ViewController& controller);
  ~StandinView() override;
  StandinView(const StandinView&) = delete;
  StandinView& operator=(const StandinView&) = delete;

  bool HandleTopLevelWindowProc(UINT message, LRESULT* result);

  HWND TopLevelWindow() const override;
  void RequestFrame() override;

 private:
  StandinView(StandinEngine* engine, FlutterDesktopView* view);
  static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void DrawFrame();
  void Paint();

  StandinEngine* const engine_;
  FlutterDesktopView* const view_;
  std::unique_ptr<DartScript> script_;
  FrameBuffer frame_;
  bool first_frame_drawn_ = false;
  bool frame_requested_ = false;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_
