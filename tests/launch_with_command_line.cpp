// Starts a program with a command line given in escaped form, so that tests
// can hand a Windows program UTF-16 that no Unix argument conversion could
// carry, such as a lone surrogate.
//
//   launch_with_command_line.exe "rivelo.exe first \ud800 last"
//
// Every \uXXXX in the one argument becomes that UTF-16 code unit; the rest is
// taken as it is. Standard handles are inherited. The exit code is the
// child's, or 255 when it cannot be started.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

std::wstring Unescape(const wchar_t* text) {
  std::wstring result;
  const size_t length = std::wcslen(text);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == L'\\' && i + 1 < length && text[i + 1] == L'u') {
      int value = 0;
      bool valid = true;
      for (size_t k = 2; k < 6 && valid; ++k) {
        const int digit = i + k < length ? HexDigit(text[i + k]) : -1;
        valid = digit >= 0;
        value = value * 16 + digit;
      }
      if (valid) {
        result.push_back(static_cast<wchar_t>(value));
        i += 5;
        continue;
      }
    }
    result.push_back(text[i]);
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputws(L"usage: launch_with_command_line.exe ESCAPED_COMMAND_LINE\n", stderr);
    return 255;
  }
  std::wstring command_line = Unescape(argv[1]);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fwprintf(stderr, L"CreateProcessW failed: %lu\n", GetLastError());
    return 255;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 255;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}
