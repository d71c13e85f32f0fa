#include "shell/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "shell/utf8.h"

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** argv) const { LocalFree(argv); }
};
using ArgumentVector = std::unique_ptr<wchar_t*[], LocalFreeDeleter>;

}  // namespace

std::vector<std::string> GetCommandLineArguments() {
  return SplitCommandLine(GetCommandLineW());
}

std::vector<std::string> SplitCommandLine(const wchar_t* command_line) {
  int argc = 0;
  const ArgumentVector argv(CommandLineToArgvW(command_line, &argc));
  if (!argv) {
    return std::vector<std::string>();
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(Utf8FromWide(argv[i]));
  }
  return arguments;
}
