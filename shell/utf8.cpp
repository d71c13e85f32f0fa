#include "shell/utf8.h"

#include <windows.h>

#include <cwchar>

std::string Utf8FromWide(const wchar_t* utf16_string) {
  if (utf16_string == nullptr) {
    return std::string();
  }
  // With a source length of -1 the count includes the terminating NUL.
  const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string, -1,
                                         nullptr, 0, nullptr, nullptr);
  const int target_length = needed - 1;
  if (needed == 0 || target_length == 0) {
    return std::string();
  }
  std::string utf8_string(static_cast<size_t>(target_length), '\0');
  // The explicit source length keeps the NUL out of the string's content.
  const int converted = WideCharToMultiByte(
      CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string, static_cast<int>(std::wcslen(utf16_string)),
      utf8_string.data(), target_length, nullptr, nullptr);
  if (converted == 0) {
    return std::string();
  }
  return utf8_string;
}
