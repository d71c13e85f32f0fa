// The serializer works on the built-in buffer streams directly and on any
// other stream through its interface. A stream derived from a buffer stream
// behaves like it but takes the interface path, so the values here go both
// ways and must come out the same.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "encoding/codec_test_support.h"
#include "encoding/standard_method_codec.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::Hex;
using testing::Lists;

class DerivedWriter : public ByteBufferStreamWriter {
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

const StandardCodecSerializer& Standard() {
  return StandardCodecSerializer::GetInstance();
}

EncodableValue EveryAlternative() {
  return EncodableValue(EncodableMap{
      {"i", int32_t{-7}},
      {"l", int64_t{1} << 40},
      {"d", 0.5},
      {"s", std::string(300, 's')},
      {"b", std::vector<uint8_t>(70000, 0xB5)},
      {"i32", std::vector<int32_t>{1, -2}},
      {"i64", std::vector<int64_t>{3}},
      {"f64", std::vector<double>{0.25, -1.0}},
      {"f32", std::vector<float>{2.0f}},
      {"list", EncodableList(300, EncodableValue(1.5))},
      {int32_t{1}, EncodableList{true, false, EncodableValue()}},
  });
}

template <typename Writer>
std::vector<uint8_t> WriteTwoAfter(size_t prefix, const EncodableValue& value) {
  std::vector<uint8_t> bytes(prefix, 0xEE);
  Writer writer(&bytes);
  Standard().WriteValue(value, &writer);
  Standard().WriteValue(value, &writer);
  return bytes;
}

// Padding counts from the start of the vector, whatever it already holds,
// and blocks larger than any slack go in whole.
TEST(DirectStreamPath, WritesLikeTheInterfacePath) {
  const EncodableValue values[] = {
      EncodableValue(1.0),
      EncodableValue(std::vector<float>{1.0f}),
      EncodableValue(std::vector<uint8_t>(100000, 7)),
      EncodableValue(EncodableList{std::string(70000, 'x'), 2.0,
                                   std::vector<int64_t>{5}}),
      EveryAlternative(),
  };
  for (const EncodableValue& value : values) {
    for (size_t prefix = 0; prefix < 9; ++prefix) {
      CerrCapture cerr;
      EXPECT_EQ(WriteTwoAfter<ByteBufferStreamWriter>(prefix, value),
                WriteTwoAfter<DerivedWriter>(prefix, value))
          << value.index() << " after " << prefix;
      EXPECT_EQ(cerr.text(), "");
    }
  }
}

// A derived serializer with two wrapping tags: 0x80 wraps the next value as
// it reads it, 0x81 as the standard serializer reads it (directly).
class DelegatingSerializer : public StandardCodecSerializer {
 protected:
  EncodableValue ReadValueOfType(uint8_t type,
                                 ByteStreamReader* stream) const override {
    if (type != 0x80 && type != 0x81) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    const StandardCodecSerializer& reader =
        type == 0x80 ? *this : StandardCodecSerializer::GetInstance();
    EncodableList wrapped;
    wrapped.push_back(reader.ReadValue(stream));
    return EncodableValue(std::move(wrapped));
  }
};

// The nesting limit counts the levels above a direct read too.
TEST(DirectStreamPath, NestingLimitCountsLevelsAboveTheDirectRead) {
  std::vector<uint8_t> bytes(300, 0x80);
  bytes.push_back(0x81);
  const std::vector<uint8_t> lists = Lists(300);
  bytes.insert(bytes.end(), lists.begin(), lists.end());
  const DelegatingSerializer serializer;
  CerrCapture cerr;
  testing::Decode(bytes, testing::Streams::kBuiltIn, serializer);
  EXPECT_EQ(cerr.text(),
            "Value nested deeper than 512 levels in "
            "StandardCodecSerializer::ReadValue; read as null\n");
}

// Two map keys that are equal lists 40 levels deep: ordering them must not
// cost twice as much per level.
TEST(DirectStreamPath, EqualDeepListKeysDecodeAtOnce) {
  std::vector<uint8_t> bytes = Hex("0D 02");
  for (uint8_t mapped : {0x01, 0x02}) {
    const std::vector<uint8_t> key = Lists(40);
    bytes.insert(bytes.end(), key.begin(), key.end());
    bytes.push_back(mapped);
  }
  const EncodableValue key = testing::Decode(Lists(40));
  EXPECT_EQ(testing::Decode(bytes), EncodableValue(EncodableMap{{key, true}}));
}

// Records the values a derived serializer is asked to write.
class RecordingSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value,
                  ByteStreamWriter* stream) const override {
    written_.push_back(value);
    StandardCodecSerializer::WriteValue(value, stream);
  }
  mutable std::vector<EncodableValue> written_;
};

// The method codec writes names, codes and messages without building values
// for the standard serializer, but a derived one still gets them as values.
TEST(DirectStreamPath, DerivedSerializerSeesNamesCodesAndMessages) {
  const RecordingSerializer serializer;
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance(&serializer);
  const StandardMethodCodec& standard = StandardMethodCodec::GetInstance();
  const MethodCall<EncodableValue> call("a method name longer than 15", nullptr);
  EXPECT_EQ(*codec.EncodeMethodCall(call), *standard.EncodeMethodCall(call));
  EXPECT_EQ(*codec.EncodeErrorEnvelope("code", "message"),
            *standard.EncodeErrorEnvelope("code", "message"));
  const std::vector<EncodableValue> expected = {
      "a method name longer than 15", EncodableValue(), "code", "message",
      EncodableValue()};
  EXPECT_EQ(serializer.written_, expected);
}

}  // namespace
}  // namespace flutter
