// Helpers shared by the encoding unit tests: hex byte strings, one-call
// encode and decode through the standard serializer, and a capture of the
// diagnostics written to std::cerr. Test-only; one test thread.

#ifndef RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
#define RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_

#include <any>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"
#include "encoding/standard_codec_serializer.h"

namespace flutter {
namespace testing {

// "0C 01 00" -> {0x0C, 0x01, 0x00}; spaces are ignored.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c != ' ') {
      digits += c;
    }
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    bytes.push_back(
        static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) {
      text += ' ';
    }
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

inline std::vector<uint8_t> Encode(const EncodableValue& value,
                                   const StandardCodecSerializer& serializer =
                                       StandardCodecSerializer::GetInstance()) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(value, &writer);
  return bytes;
}

inline EncodableValue Decode(const std::vector<uint8_t>& bytes,
                             const StandardCodecSerializer& serializer =
                                 StandardCodecSerializer::GetInstance()) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return serializer.ReadValue(&reader);
}

}  // namespace testing

// Lets GoogleTest print a mismatching value as its wire bytes.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  *out << "value of alternative " << value.index() << " encoded as ["
       << testing::ToHex(testing::Encode(value)) << "]";
}

namespace testing {

// Redirects std::cerr into a string for its lifetime.
class CerrCapture {
 public:
  CerrCapture() : saved_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(saved_); }
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;

  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* saved_;
};

inline const char kInvalidRead[] =
    "Invalid read in StandardCodecByteStreamReader\n";

// An application type that the standard serializer cannot encode.
struct Point {
  int32_t x;
  int32_t y;
};

inline EncodableValue PointValue(int32_t x, int32_t y) {
  return EncodableValue(CustomEncodableValue(Point{x, y}));
}

// The held Point, or nullptr when value is not one.
inline const Point* AsPoint(const EncodableValue& value) {
  const auto* custom = std::get_if<CustomEncodableValue>(&value);
  return custom == nullptr ? nullptr : std::any_cast<Point>(&custom->value());
}

// A serializer extended by one tag: a Point as tag 128 followed by its two
// coordinates as complete values.
class PointSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kPointTag = 128;

  void WriteValue(const EncodableValue& value,
                  ByteStreamWriter* stream) const override {
    const Point* point = AsPoint(value);
    if (point == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    stream->WriteByte(kPointTag);
    WriteValue(EncodableValue(point->x), stream);
    WriteValue(EncodableValue(point->y), stream);
  }

 protected:
  EncodableValue ReadValueOfType(uint8_t type,
                                 ByteStreamReader* stream) const override {
    if (type != kPointTag) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    const EncodableValue x = ReadValue(stream);
    const EncodableValue y = ReadValue(stream);
    return PointValue(std::get<int32_t>(x), std::get<int32_t>(y));
  }
};

}  // namespace testing
}  // namespace flutter

#endif  // RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
