// The serializer works on the built-in buffer streams directly and on any
// other stream through its interface. A stream derived from a buffer stream
// behaves like it but takes the interface path, so the values here go both
// ways, must come out the same and read back as they were.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::Hex;
using testing::Lists;
using testing::MakeStream;
using testing::Streams;

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

std::vector<uint8_t> WriteTwoAfter(size_t prefix, const EncodableValue& value,
                                   Streams streams) {
  std::vector<uint8_t> bytes(prefix, 0xEE);
  const auto writer = MakeStream<ByteBufferStreamWriter>(streams, &bytes);
  for (int i = 0; i < 2; ++i) {
    StandardCodecSerializer::GetInstance().WriteValue(value, writer.get());
  }
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
    for (Streams streams : testing::kBothStreams) {
      EXPECT_EQ(testing::Decode(testing::Encode(value, streams), streams),
                value);
    }
    for (size_t prefix = 0; prefix < 9; ++prefix) {
      CerrCapture cerr;
      EXPECT_EQ(WriteTwoAfter(prefix, value, Streams::kBuiltIn),
                WriteTwoAfter(prefix, value, Streams::kDerived))
          << value.index() << " after " << prefix;
      EXPECT_EQ(cerr.text(), "");
    }
  }
}

// The nesting limit counts the levels above a direct read too.
TEST(DirectStreamPath, NestingLimitCountsLevelsAboveTheDirectRead) {
  // 300 levels through the derived serializer's own reads, then 300 lists
  // read by the standard serializer directly.
  std::vector<uint8_t> bytes(300, 128);
  bytes.push_back(129);
  const std::vector<uint8_t> lists = Lists(300);
  bytes.insert(bytes.end(), lists.begin(), lists.end());
  const testing::TaggedSerializer serializer;
  CerrCapture cerr;
  testing::Decode(bytes, Streams::kBuiltIn, serializer);
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

}  // namespace
}  // namespace flutter
