// The apparatus's one conversion between UTF-8 (the engine library's byte
// strings, the transcript) and the window system's UTF-16. The product has
// its own, stricter one (shell/utf8.h). Pure functions, safe from any thread.
#ifndef RIVELO_STANDIN_TEXT_TEXT_H_
#define RIVELO_STANDIN_TEXT_TEXT_H_

#include <string>

namespace standin {

// Invalid input becomes U+FFFD; never fails.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace standin

#endif  // RIVELO_STANDIN_TEXT_TEXT_H_
