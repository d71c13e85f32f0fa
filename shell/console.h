// Console for diagnostic output of a GUI process.
//
// Main thread only, during start-up, before other threads write output.
#ifndef RIVELO_SHELL_CONSOLE_H_
#define RIVELO_SHELL_CONSOLE_H_

// Attaches to the parent's console; without one, opens a console of its own
// only under a debugger, so a normal start never flashes a console window.
void AttachOrOpenConsole();

// Opens a new console and points standard output and error, the C++ streams
// and the engine library's own output at it. Does nothing if no console can
// be made.
void OpenDebugConsole();

#endif  // RIVELO_SHELL_CONSOLE_H_
