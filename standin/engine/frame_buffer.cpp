#include "standin/engine/frame_buffer.h"

namespace standin {

FrameBuffer::~FrameBuffer() { Release(); }

void FrameBuffer::Release() {
  if (dc_ != nullptr) {
    SelectObject(dc_, original_bitmap_);
    DeleteDC(dc_);
  }
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  original_bitmap_ = nullptr;
  width_ = height_ = 0;
}

HDC FrameBuffer::Begin(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (dc_ != nullptr && width == width_ && height == height_) return dc_;
  Release();
  HDC screen = GetDC(nullptr);
  dc_ = CreateCompatibleDC(screen);
  bitmap_ = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (dc_ == nullptr || bitmap_ == nullptr) {
    Release();
    return nullptr;
  }
  original_bitmap_ = SelectObject(dc_, bitmap_);
  width_ = width;
  height_ = height;
  return dc_;
}

void FrameBuffer::Present(HDC target) const {
  if (dc_ != nullptr) BitBlt(target, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
}

}  // namespace standin
