// Test double for the engine library's monitor DPI query, so window tests
// choose the DPI instead of depending on the machine's display settings and
// need no engine library.
//
// Main thread only, like the windows that ask for it.
#ifndef RIVELO_SHELL_SCRIPTED_DPI_H_
#define RIVELO_SHELL_SCRIPTED_DPI_H_

#include <cstdint>

// The DPI that every monitor reports from now on; 96 until set.
void SetScriptedDpi(uint32_t dpi);

#endif  // RIVELO_SHELL_SCRIPTED_DPI_H_
