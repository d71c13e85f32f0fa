// Builds one JSON object as one line of text, for the transcript.
//
// A JsonLine is a short-lived value owned by the code that records an event;
// it touches no shared state, so any thread may build one. Field names are
// trusted literals; every value is escaped. Byte strings are shown as text
// with invalid UTF-8 replaced by U+FFFD, and exactly as hexadecimal through
// AddHex; wide strings keep every UTF-16 code unit, lone surrogates included.
#ifndef RIVELO_STANDIN_ENGINE_JSON_LINE_H_
#define RIVELO_STANDIN_ENGINE_JSON_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

class JsonLine {
 public:
  JsonLine() = default;

  JsonLine& Add(const char* name, const std::string& text);
  JsonLine& Add(const char* name, const char* text);
  JsonLine& AddWide(const char* name, const std::wstring& text);
  JsonLine& AddHex(const char* name, const uint8_t* bytes, size_t size);
  JsonLine& Add(const char* name, int64_t number);
  JsonLine& Add(const char* name, bool value);
  JsonLine& AddMilliseconds(const char* name, double milliseconds);
  JsonLine& AddNull(const char* name);
  JsonLine& AddRaw(const char* name, const std::string& json);
  JsonLine& AddTextList(const char* name, const std::vector<std::string>& texts);
  JsonLine& AddHexList(const char* name, const std::vector<std::string>& byte_strings);

  // The finished object; without a trailing line end.
  std::string Finish() const;

  static std::string Hex(const uint8_t* bytes, size_t size);
  static std::string Hex(const std::string& bytes);
  static std::string QuoteText(const std::string& bytes);
  static std::string QuoteWide(const std::wstring& text);

 private:
  void Key(const char* name);

  std::string body_;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_JSON_LINE_H_
