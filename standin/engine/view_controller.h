// The library's view controller (FlutterDesktopViewControllerRef): takes over
// an engine, makes the calling thread its platform thread, creates the view's
// real child window, runs the scripted Dart side and draws its frames.
//
// Created by FlutterDesktopViewControllerCreate and destroyed by
// FlutterDesktopViewControllerDestroy, both on the platform thread, where all
// of its operations run. Destruction stops the script, destroys the child
// window and then the engine it took over.
#ifndef RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_
#define RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_

#include <windows.h>

#include <cstdint>
#include <memory>

#include "standin/engine/dart_script.h"
#include "standin/engine/engine.h"
#include "standin/engine/frame_buffer.h"

namespace standin {

// The view handle (FlutterDesktopViewRef) is this record inside its controller.
struct View {
  HWND window = nullptr;
};

class ViewController : public ViewHost {
 public:
  // Null when the engine is null or the windows cannot be created; the engine
  // is destroyed then, since the caller has handed it over.
  static std::unique_ptr<ViewController> Create(int32_t width, int32_t height,
                                                std::unique_ptr<Engine> engine);
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  View* view() { return &view_; }
  Engine* engine() const { return engine_.get(); }
  void ForceRedraw();
  bool HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                LRESULT* result);

  HWND TopLevelWindow() const override;
  void RequestFrame() override;

 private:
  explicit ViewController(std::unique_ptr<Engine> engine);
  static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void DrawFrame();
  void Paint();

  std::unique_ptr<Engine> engine_;
  View view_;
  std::unique_ptr<DartScript> script_;
  FrameBuffer frame_;
  int64_t frames_ = 0;
  bool frame_requested_ = false;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_VIEW_CONTROLLER_H_
