#include "standin/engine/json_line.h"

#include <cinttypes>
#include <cstdio>

namespace standin {
namespace {

void AppendEscapedUnit(std::string* out, uint32_t unit) {
  switch (unit) {
    case '"': *out += "\\\""; return;
    case '\\': *out += "\\\\"; return;
    case '\n': *out += "\\n"; return;
    case '\r': *out += "\\r"; return;
    case '\t': *out += "\\t"; return;
    default: break;
  }
  if (unit >= 0x20 && unit < 0x7F) {
    *out += static_cast<char>(unit);
    return;
  }
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
  *out += escaped;
}

// Length of the valid UTF-8 sequence at bytes[i], or 0 when it is invalid
// (overlong forms, surrogates and values above U+10FFFF are invalid too).
size_t Utf8SequenceLength(const std::string& bytes, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t code_point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) { length = 2; code_point = lead & 0x1Fu; }
  else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; code_point = lead & 0x0Fu; }
  else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; code_point = lead & 0x07u; }
  else return 0;
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i + k) & 0x3Fu);
  }
  if (length == 3 && (code_point < 0x800 || (code_point >= 0xD800 && code_point <= 0xDFFF))) return 0;
  if (length == 4 && (code_point < 0x10000 || code_point > 0x10FFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonLine::QuoteText(const std::string& bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = Utf8SequenceLength(bytes, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
    } else if (length == 1) {
      AppendEscapedUnit(&out, static_cast<uint8_t>(bytes[i]));
      ++i;
    } else {
      out.append(bytes, i, length);
      i += length;
    }
  }
  return out + "\"";
}

std::string JsonLine::QuoteWide(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t unit : text) {
    AppendEscapedUnit(&out, static_cast<uint32_t>(unit) & 0xFFFFu);
  }
  return out + "\"";
}

std::string JsonLine::Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::string JsonLine::Hex(const std::string& bytes) {
  return Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void JsonLine::Key(const char* name) {
  if (!body_.empty()) body_ += ',';
  body_ += '"';
  body_ += name;
  body_ += "\":";
}

JsonLine& JsonLine::Add(const char* name, const std::string& text) {
  Key(name);
  body_ += QuoteText(text);
  return *this;
}

JsonLine& JsonLine::Add(const char* name, const char* text) {
  return Add(name, std::string(text));
}

JsonLine& JsonLine::AddWide(const char* name, const std::wstring& text) {
  Key(name);
  body_ += QuoteWide(text);
  return *this;
}

JsonLine& JsonLine::AddHex(const char* name, const uint8_t* bytes, size_t size) {
  Key(name);
  body_ += '"' + Hex(bytes, size) + '"';
  return *this;
}

JsonLine& JsonLine::Add(const char* name, int64_t number) {
  Key(name);
  body_ += std::to_string(number);
  return *this;
}

JsonLine& JsonLine::Add(const char* name, bool value) {
  Key(name);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::AddMilliseconds(const char* name, double milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", milliseconds);
  Key(name);
  body_ += text;
  return *this;
}

JsonLine& JsonLine::AddNull(const char* name) {
  Key(name);
  body_ += "null";
  return *this;
}

JsonLine& JsonLine::AddRaw(const char* name, const std::string& json) {
  Key(name);
  body_ += json;
  return *this;
}

JsonLine& JsonLine::AddTextList(const char* name, const std::vector<std::string>& texts) {
  std::string list = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) list += ',';
    list += QuoteText(texts[i]);
  }
  return AddRaw(name, list + "]");
}

JsonLine& JsonLine::AddHexList(const char* name,
                               const std::vector<std::string>& byte_strings) {
  std::string list = "[";
  for (size_t i = 0; i < byte_strings.size(); ++i) {
    if (i != 0) list += ',';
    list += '"' + Hex(byte_strings[i]) + '"';
  }
  return AddRaw(name, list + "]");
}

std::string JsonLine::Finish() const { return "{" + body_ + "}"; }

}  // namespace standin
