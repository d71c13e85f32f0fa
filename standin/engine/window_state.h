// Where the top-level window is and how it is shown, for the first_frame
// line. Platform thread only (it queries windows of that thread).
#ifndef RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_
#define RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_

#include <windows.h>

#include "standin/engine/transcript.h"

namespace standin {

// The state of view's top-level window.
Json DescribeWindowState(HWND view);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_WINDOW_STATE_H_
