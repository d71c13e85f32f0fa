// The module (the stand-in DLL) that holds this code, for window class
// registration. Safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_MODULE_H_
#define RIVELO_STANDIN_ENGINE_MODULE_H_

#include <windows.h>

namespace standin {

HINSTANCE ThisModule();

// Registers a window class of this module once per process; returns its name.
// The classes stay registered until the module unloads.
const wchar_t* EnsureWindowClass(const wchar_t* name, WNDPROC procedure);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_MODULE_H_
