// The process's command-line arguments as UTF-8, for the Dart entry point.
//
// Free functions, no state; they read the process command line, which never
// changes, so they are safe from any thread.
#ifndef RIVELO_SHELL_COMMAND_LINE_H_
#define RIVELO_SHELL_COMMAND_LINE_H_

#include <string>
#include <vector>

// The arguments after the program path of this process's command line.
std::vector<std::string> GetCommandLineArguments();

// Splits `command_line` with the system's rules (quotes, backslashes) and
// returns every argument after the first, the program path, in order. An
// argument that is not valid UTF-16 keeps its place as an empty string. A
// command line the system cannot split gives an empty list.
std::vector<std::string> SplitCommandLine(const wchar_t* command_line);

#endif  // RIVELO_SHELL_COMMAND_LINE_H_
