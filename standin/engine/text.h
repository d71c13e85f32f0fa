// Conversions between the library's byte strings (UTF-8) and the window
// system's wide strings. Pure functions, safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_TEXT_H_
#define RIVELO_STANDIN_ENGINE_TEXT_H_

#include <string>

namespace standin {

// Invalid input becomes U+FFFD; never fails.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_TEXT_H_
