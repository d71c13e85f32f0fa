// Win32Window: base of the application's top-level window.
//
// Creates a window whose position and size are given in logical pixels (96
// DPI) and scaled to the monitor it opens on, keeps its frame in step with the
// system's light or dark theme, follows DPI changes, and hosts one child
// window as content that always fills the client area and takes the focus.
// Derived classes extend HandleMessage, OnCreate and OnDestroy.
//
// The owner keeps the object at a fixed address while its window exists: the
// window's user data points to it. Main thread only, like every window.
#ifndef RIVELO_SHELL_WIN32_WINDOW_H_
#define RIVELO_SHELL_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <string>

class Win32Window {
 public:
  // Logical coordinates: pixels at 96 DPI.
  struct Point {
    int32_t x;
    int32_t y;
  };
  struct Size {
    int32_t width;
    int32_t height;
  };

  Win32Window();
  // Runs the base OnDestroy only: a derived class releases its own resources
  // in its own destructor.
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Destroys a window made earlier by this object, then makes a new hidden
  // one. Returns false if no window could be made, otherwise OnCreate's result.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);

  // Shows the window in its normal state.
  void Show();

  // Runs OnDestroy and destroys the window if there is one. OnDestroy runs a
  // second time from WM_DESTROY when a window exists, so overrides must
  // tolerate repeated calls.
  void Destroy();

  // Makes `content` a child of this window, filling the client area and
  // holding the focus from now on.
  void SetContent(HWND content);

  RECT GetClientArea();

  // When set, destroying the window posts WM_QUIT with exit code 0.
  void SetQuitOnClose(bool quit_on_close);

  // The window class's procedure: hands every message after WM_NCCREATE to
  // the HandleMessage of the object that made the window.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 protected:
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  virtual bool OnCreate();
  virtual void OnDestroy();

 private:
  // Sets a dark or light frame from the user's application theme setting.
  static void UpdateTheme(HWND window);
  void FitContentToClientArea();

  bool quit_on_close_{false};
  HWND window_handle_{nullptr};
  HWND content_window_{nullptr};
};

#endif  // RIVELO_SHELL_WIN32_WINDOW_H_
