// Names of the window messages the transcript reports. Pure, any thread.
#ifndef RIVELO_STANDIN_ENGINE_WINDOW_MESSAGES_H_
#define RIVELO_STANDIN_ENGINE_WINDOW_MESSAGES_H_

#include <windows.h>

#include <string>

namespace standin {

// "WM_CLOSE" and the like for the messages worth a transcript line; empty
// for every other message.
std::string WindowMessageName(UINT message);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_WINDOW_MESSAGES_H_
