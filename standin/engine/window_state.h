// A snapshot of where the top-level window and the view are and how they are
// shown, written into the transcript around the first frame. Platform
// thread only (it queries windows of that thread).
#ifndef RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_
#define RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_

#include <windows.h>

#include <string>

namespace standin {

// The JSON object for view's top-level window (schema in transcript.md).
std::string DescribeWindowState(HWND view);

std::string RectJson(const RECT& rect);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_
