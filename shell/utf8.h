// Strict conversion of the window system's UTF-16 text to the UTF-8 that the
// engine and the Dart side expect.
//
// Free function, no state: safe from any thread.
#ifndef RIVELO_SHELL_UTF8_H_
#define RIVELO_SHELL_UTF8_H_

#include <string>

// Converts a NUL-terminated UTF-16 string to UTF-8. Text that is not valid
// UTF-16 (an unpaired surrogate, say) is rejected as a whole rather than
// patched with replacement characters, so the result is then empty, as it is
// for a null pointer or an empty string.
std::string Utf8FromWide(const wchar_t* utf16_string);

#endif  // RIVELO_SHELL_UTF8_H_
