// Helpers shared by the encoding unit tests: hex byte strings, one-call
// encode and decode through either kind of stream, a capture of the
// diagnostics written to std::cerr, and a serializer extended by one tag.
// Test-only; one test thread.

#ifndef RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
#define RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_

#include <any>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"
#include "encoding/standard_codec_serializer.h"

namespace flutter {
namespace testing {

// "0C 01 00" -> {0x0C, 0x01, 0x00}.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<uint8_t> bytes;
  for (unsigned byte = 0; in >> std::hex >> byte;) {
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return bytes;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::ostringstream out;
  out << std::hex << std::uppercase << std::setfill('0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    out << (i == 0 ? "" : " ") << std::setw(2) << int{bytes[i]};
  }
  return out.str();
}

// The serializer may read and write the built-in buffer streams directly, but
// must serve any other stream, even one derived from them, through the
// virtual calls. Wire tables run through both kinds, so that both paths are
// held to the same bytes and diagnostics.
enum class Streams { kBuiltIn, kDerived };
inline constexpr Streams kBothStreams[] = {Streams::kBuiltIn,
                                           Streams::kDerived};

inline std::ostream& operator<<(std::ostream& out, Streams streams) {
  return out << (streams == Streams::kBuiltIn ? " (built-in streams)"
                                              : " (derived streams)");
}

struct DerivedWriter : ByteBufferStreamWriter {
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

struct DerivedReader : ByteBufferStreamReader {
  using ByteBufferStreamReader::ByteBufferStreamReader;
};

inline std::unique_ptr<ByteStreamWriter> Writer(Streams streams,
                                                std::vector<uint8_t>* bytes) {
  if (streams == Streams::kBuiltIn) {
    return std::make_unique<ByteBufferStreamWriter>(bytes);
  }
  return std::make_unique<DerivedWriter>(bytes);
}

inline std::unique_ptr<ByteStreamReader> Reader(
    Streams streams, const std::vector<uint8_t>& bytes) {
  if (streams == Streams::kBuiltIn) {
    return std::make_unique<ByteBufferStreamReader>(bytes.data(), bytes.size());
  }
  return std::make_unique<DerivedReader>(bytes.data(), bytes.size());
}

inline std::vector<uint8_t> Encode(const EncodableValue& value,
                                   Streams streams = Streams::kBuiltIn,
                                   const StandardCodecSerializer& serializer =
                                       StandardCodecSerializer::GetInstance()) {
  std::vector<uint8_t> bytes;
  serializer.WriteValue(value, Writer(streams, &bytes).get());
  return bytes;
}

inline EncodableValue Decode(const std::vector<uint8_t>& bytes,
                             Streams streams = Streams::kBuiltIn,
                             const StandardCodecSerializer& serializer =
                                 StandardCodecSerializer::GetInstance()) {
  return serializer.ReadValue(Reader(streams, bytes).get());
}

}  // namespace testing

// Lets GoogleTest print a mismatching value as its wire bytes.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  *out << "[" << testing::ToHex(testing::Encode(value)) << "]";
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

inline const std::string kInvalidRead =
    "Invalid read in StandardCodecByteStreamReader\n";

// An application value that the standard serializer cannot encode.
struct Point {
  int32_t x;
  int32_t y;
};

inline EncodableValue PointValue(int32_t x, int32_t y) {
  return CustomEncodableValue(Point{x, y});
}

// A serializer extended by one tag: a Point as tag 128 followed by its two
// coordinates as complete values.
class PointSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value,
                  ByteStreamWriter* stream) const override {
    const auto* custom = std::get_if<CustomEncodableValue>(&value);
    if (custom == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    const auto& point = std::any_cast<const Point&>(custom->value());
    stream->WriteByte(128);
    WriteValue(point.x, stream);
    WriteValue(point.y, stream);
  }

 protected:
  EncodableValue ReadValueOfType(uint8_t type,
                                 ByteStreamReader* stream) const override {
    if (type != 128) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    const EncodableValue x = ReadValue(stream);
    return PointValue(std::get<int32_t>(x),
                      std::get<int32_t>(ReadValue(stream)));
  }
};

}  // namespace testing
}  // namespace flutter

#endif  // RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
