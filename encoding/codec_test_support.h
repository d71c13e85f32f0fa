// Helpers shared by the encoding unit tests: hex byte strings, nested lists,
// one-call encode and decode through either kind of stream, a capture of the
// diagnostics written to std::cerr, and a serializer extended by two tags.
// Used only by tests and fuzz targets. CerrCapture swaps the process-wide
// std::cerr buffer, so captures belong to one thread at a time.

#ifndef RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
#define RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_

#include <any>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
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

// depth lists of one element each, around the tag innermost.
inline std::vector<uint8_t> Lists(size_t depth, uint8_t innermost = 0x01) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < depth; ++i) {
    bytes.insert(bytes.end(), {0x0C, 0x01});
  }
  bytes.push_back(innermost);
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

// A stream of the built-in class, or of a trivial class derived from it.
template <typename Stream, typename... Arguments>
std::unique_ptr<Stream> MakeStream(Streams streams, Arguments... arguments) {
  struct Derived : Stream {
    using Stream::Stream;
  };
  if (streams == Streams::kDerived) {
    return std::make_unique<Derived>(arguments...);
  }
  return std::make_unique<Stream>(arguments...);
}

inline std::vector<uint8_t> Encode(const EncodableValue& value,
                                   Streams streams = Streams::kBuiltIn,
                                   const StandardCodecSerializer& serializer =
                                       StandardCodecSerializer::GetInstance()) {
  std::vector<uint8_t> bytes;
  serializer.WriteValue(
      value, MakeStream<ByteBufferStreamWriter>(streams, &bytes).get());
  return bytes;
}

inline EncodableValue Decode(const std::vector<uint8_t>& bytes,
                             Streams streams = Streams::kBuiltIn,
                             const StandardCodecSerializer& serializer =
                                 StandardCodecSerializer::GetInstance()) {
  return serializer.ReadValue(
      MakeStream<ByteBufferStreamReader>(streams, bytes.data(), bytes.size())
          .get());
}

// Redirects std::cerr into a string for its lifetime.
struct CerrCapture {
  CerrCapture() : saved(std::cerr.rdbuf(captured.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(saved); }
  std::string text() const { return captured.str(); }

  std::ostringstream captured;
  std::streambuf* saved;
};

inline const std::string kInvalidRead =
    "Invalid read in StandardCodecByteStreamReader\n";

// A serializer extended by two tags, which keeps every value it is asked to
// write. Tag 128: a custom value holding an EncodableValue, as the tag
// followed by that value, read through this serializer. Tag 129, read only:
// a list of the one value that follows, as the standard serializer itself
// reads it. Tags 130 and 131, read only: a message embedded as a size and
// its bytes, decoded on a stream of its own by the standard serializer (130)
// or through this one's overridable operations (131).
class TaggedSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value,
                  ByteStreamWriter* stream) const override {
    written.push_back(value);
    const auto* custom = std::get_if<CustomEncodableValue>(&value);
    if (custom == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    stream->WriteByte(128);
    WriteValue(std::any_cast<EncodableValue>(custom->value()), stream);
  }

  mutable std::vector<EncodableValue> written;

 protected:
  EncodableValue ReadValueOfType(uint8_t type,
                                 ByteStreamReader* stream) const override {
    if (type == 129) {
      return EncodableList{GetInstance().ReadValue(stream)};
    }
    if (type == 130 || type == 131) {
      std::vector<uint8_t> message(ReadSize(stream));
      stream->ReadBytes(message.data(), message.size());
      ByteBufferStreamReader embedded(message.data(), message.size());
      return (type == 130 ? GetInstance() : *this).ReadValue(&embedded);
    }
    if (type != 128) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    return CustomEncodableValue(ReadValue(stream));
  }
};

}  // namespace testing

// Lets GoogleTest print a mismatching value as its wire bytes.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  *out << "[" << testing::ToHex(testing::Encode(value)) << "]";
}

}  // namespace flutter

#endif  // RIVELO_ENCODING_CODEC_TEST_SUPPORT_H_
