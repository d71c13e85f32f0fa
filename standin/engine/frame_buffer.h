// The view's last drawn frame: a bitmap in a memory device context, so a
// frame exists (and the next-frame callback can run) even while the window
// that will show it is still hidden. Owned by the view controller; platform
// thread only.
#ifndef RIVELO_STANDIN_ENGINE_FRAME_BUFFER_H_
#define RIVELO_STANDIN_ENGINE_FRAME_BUFFER_H_

#include <windows.h>

namespace standin {

class FrameBuffer {
 public:
  FrameBuffer() = default;
  ~FrameBuffer();
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  // A device context to draw a frame of this size into; null on failure.
  HDC Begin(int width, int height);
  // Copies the frame to the window's device context at (0, 0).
  void Present(HDC target) const;

 private:
  void Release();

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ original_bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_FRAME_BUFFER_H_
