#include "encoding/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::AsPoint;
using testing::CerrCapture;
using testing::Decode;
using testing::Encode;
using testing::Hex;
using testing::kInvalidRead;
using testing::PointSerializer;
using testing::PointValue;
using testing::ToHex;

struct WireCase {
  const char* name;
  EncodableValue value;
  const char* bytes;
};

// Each buffer starts with the value, so padding counts from the tag.
TEST(StandardCodecSerializer, WritesAndReadsTheWireFormat) {
  const WireCase cases[] = {
      {"null", EncodableValue(), "00"},
      {"true", EncodableValue(true), "01"},
      {"false", EncodableValue(false), "02"},
      {"int32 -1", EncodableValue(int32_t{-1}), "03 FF FF FF FF"},
      {"int32 min", EncodableValue(std::numeric_limits<int32_t>::min()),
       "03 00 00 00 80"},
      {"int64 1", EncodableValue(int64_t{1}), "04 01 00 00 00 00 00 00 00"},
      {"int64 max", EncodableValue(std::numeric_limits<int64_t>::max()),
       "04 FF FF FF FF FF FF FF 7F"},
      {"double 1.0", EncodableValue(1.0),
       "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"double -0.0", EncodableValue(-0.0),
       "06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80"},
      {"string abc", EncodableValue("abc"), "07 03 61 62 63"},
      {"empty string", EncodableValue(""), "07 00"},
      {"string with zero and UTF-8 bytes",
       EncodableValue(std::string("a\0\xC3\xA9", 4)), "07 04 61 00 C3 A9"},
      {"byte vector", EncodableValue(std::vector<uint8_t>{1, 2}),
       "08 02 01 02"},
      {"empty byte vector", EncodableValue(std::vector<uint8_t>{}), "08 00"},
      {"int32 vector", EncodableValue(std::vector<int32_t>{1}),
       "09 01 00 00 01 00 00 00"},
      {"empty int32 vector", EncodableValue(std::vector<int32_t>{}),
       "09 00 00 00"},
      {"int64 vector", EncodableValue(std::vector<int64_t>{-2}),
       "0A 01 00 00 00 00 00 00 FE FF FF FF FF FF FF FF"},
      {"empty int64 vector", EncodableValue(std::vector<int64_t>{}),
       "0A 00 00 00 00 00 00 00"},
      {"double vector", EncodableValue(std::vector<double>{1.0, -2.0}),
       "0B 02 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F "
       "00 00 00 00 00 00 00 C0"},
      {"float vector", EncodableValue(std::vector<float>{1.0f}),
       "0E 01 00 00 00 00 80 3F"},
      {"empty float vector", EncodableValue(std::vector<float>{}),
       "0E 00 00 00"},
      {"list", EncodableValue(EncodableList{true, EncodableValue()}),
       "0C 02 01 00"},
      {"empty list", EncodableValue(EncodableList{}), "0C 00"},
      {"map", EncodableValue(EncodableMap{{"a", true}}), "0D 01 07 01 61 01"},
      {"map in ascending key order",
       EncodableValue(EncodableMap{{int32_t{2}, "x"}, {int32_t{1}, "y"}}),
       "0D 02 03 01 00 00 00 07 01 79 03 02 00 00 00 07 01 78"},
      {"map keys ordered by alternative",
       EncodableValue(EncodableMap{{"k", 1}, {int32_t{0}, 2}}),
       "0D 02 03 00 00 00 00 03 02 00 00 00 07 01 6B 03 01 00 00 00"},
      {"double inside a list", EncodableValue(EncodableList{1.0}),
       "0C 01 06 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"int32 vector inside a map",
       EncodableValue(EncodableMap{{"v", std::vector<int32_t>{7}}}),
       "0D 01 07 01 76 09 01 00 07 00 00 00"},
      {"float vector after a key",
       EncodableValue(EncodableMap{{true, std::vector<float>{}}}),
       "0D 01 01 0E 00 00 00 00"},
      {"double vector inside nested lists",
       EncodableValue(EncodableList{EncodableList{std::vector<double>{0.5}}}),
       "0C 01 0C 01 0B 01 00 00 00 00 00 00 00 00 E0 3F"},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_EQ(ToHex(Encode(c.value)), c.bytes) << c.name;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.value) << c.name;
    EXPECT_EQ(cerr.text(), "") << c.name;
  }
}

TEST(StandardCodecSerializer, ReadsAlternativeStringsAndLongSizeForms) {
  const struct {
    const char* bytes;
    EncodableValue value;
  } cases[] = {
      {"05 01 78", EncodableValue("x")},
      {"07 FE 01 00 61", EncodableValue("a")},
      {"07 FF 01 00 00 00 61", EncodableValue("a")},
      {"0C FE 01 00 01", EncodableValue(EncodableList{true})},
      {"03 05 00 00 00 FF FF", EncodableValue(int32_t{5})},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.value) << c.bytes;
    EXPECT_EQ(cerr.text(), "") << c.bytes;
  }
}

TEST(StandardCodecSerializer, DuplicateMapKeyKeepsTheFirstEntry) {
  EXPECT_EQ(Decode(Hex("0D 02 07 01 61 01 07 01 61 02")),
            EncodableValue(EncodableMap{{"a", true}}));
}

// A header (tag and size) of n elements must use the smallest size form.
TEST(StandardCodecSerializer, SizeFormBoundaries) {
  const struct {
    size_t size;
    const char* size_field;
  } sizes[] = {
      {0, "00"},
      {253, "FD"},
      {254, "FE FE 00"},
      {65535, "FE FF FF"},
      {65536, "FF 00 00 01 00"},
  };
  for (const auto& s : sizes) {
    EncodableMap map;
    for (size_t i = 0; i < s.size; ++i) {
      map.emplace(static_cast<int32_t>(i), EncodableValue());
    }
    const struct {
      const char* tag;
      EncodableValue value;
      size_t payload;
    } kinds[] = {
        {"07", EncodableValue(std::string(s.size, 'x')), s.size},
        {"08", EncodableValue(std::vector<uint8_t>(s.size, 0xAB)), s.size},
        {"0C", EncodableValue(EncodableList(s.size)), s.size},
        {"0D", EncodableValue(map), 6 * s.size},
    };
    for (const auto& kind : kinds) {
      const std::vector<uint8_t> header =
          Hex(std::string(kind.tag) + s.size_field);
      const std::vector<uint8_t> bytes = Encode(kind.value);
      ASSERT_EQ(bytes.size(), header.size() + kind.payload)
          << kind.tag << " of " << s.size;
      EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()))
          << kind.tag << " of " << s.size;
      CerrCapture cerr;
      EXPECT_EQ(Decode(bytes), kind.value) << kind.tag << " of " << s.size;
      EXPECT_EQ(cerr.text(), "");
    }
  }
}

TEST(StandardCodecSerializer, SizeFieldHoldsTheLargest32BitSize) {
  struct SizeWriter : StandardCodecSerializer {
    using StandardCodecSerializer::ReadSize;
    using StandardCodecSerializer::WriteSize;
  } serializer;
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteSize(0xFFFFFFFF, &writer);
  EXPECT_EQ(ToHex(bytes), "FF FF FF FF FF");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EXPECT_EQ(serializer.ReadSize(&reader), size_t{0xFFFFFFFF});
}

TEST(StandardCodecSerializer, OversizedSizeIsReportedAndNotWritten) {
  struct SizeWriter : StandardCodecSerializer {
    using StandardCodecSerializer::WriteSize;
  } serializer;
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  CerrCapture cerr;
  serializer.WriteSize(size_t{0x100000000}, &writer);
  EXPECT_EQ(cerr.text(),
            "Size too large for StandardCodecSerializer: 4294967296 exceeds "
            "4294967295\n");
  EXPECT_TRUE(bytes.empty());
}

TEST(StandardCodecSerializer, CustomValueIsWrittenAsNullAndReported) {
  CerrCapture cerr;
  EXPECT_EQ(
      ToHex(Encode(EncodableValue(EncodableList{PointValue(1, 2), true}))),
      "0C 02 00 01");
  EXPECT_EQ(cerr.text(),
            "Unhandled custom type in StandardCodecSerializer::WriteValue. "
            "Custom types require codec extensions.\n");
}

struct MalformedCase {
  const char* name;
  const char* bytes;
  std::string diagnostics;
  EncodableValue value;
};

std::string InvalidReads(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += kInvalidRead;
  }
  return text;
}

std::string UnknownType(int tag) {
  return "Unknown type in StandardCodecSerializer::ReadValueOfType: " +
         std::to_string(tag) + "\n";
}

TEST(StandardCodecSerializer, MalformedInputIsReportedAndYieldsAValue) {
  const MalformedCase cases[] = {
      {"empty buffer", "", InvalidReads(1), EncodableValue()},
      {"truncated int32", "03 01 02", InvalidReads(1),
       EncodableValue(int32_t{0})},
      {"truncated int64", "04 01 02 03 04 05 06 07", InvalidReads(1),
       EncodableValue(int64_t{0})},
      {"truncated double", "06 00 00 00 00 00 00 00 00 00 F0 3F",
       InvalidReads(1), EncodableValue(0.0)},
      {"double padding past the end", "06", InvalidReads(1),
       EncodableValue(0.0)},
      {"truncated 16-bit size", "07 FE 05", InvalidReads(1),
       EncodableValue("")},
      {"truncated 32-bit size", "07 FF 00 00", InvalidReads(1),
       EncodableValue("")},
      {"missing size", "0C", InvalidReads(1), EncodableValue(EncodableList{})},
      {"unknown tag 15", "0F", UnknownType(15), EncodableValue()},
      {"unknown tag 255", "FF", UnknownType(255), EncodableValue()},
      {"unknown tag consumes only itself", "0C 02 80 01", UnknownType(128),
       EncodableValue(EncodableList{EncodableValue(), true})},
      {"failed element read leaves the position for the next one",
       "0C 02 03 01 00", InvalidReads(1),
       EncodableValue(EncodableList{int32_t{0}, true})},
      {"empty int32 vector padded past the end", "09 00", InvalidReads(1),
       EncodableValue(std::vector<int32_t>{})},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.value) << c.name;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.name;
  }
}

// A count that the remaining input cannot hold is refused before any storage
// is reserved: one invalid-read line and an empty value of the announced
// alternative. ASan would also catch a reservation of the announced size.
TEST(StandardCodecSerializer, CountBeyondTheInputYieldsAnEmptyValue) {
  const MalformedCase cases[] = {
      {"string", "07 05 61 62", InvalidReads(1), EncodableValue("")},
      {"alternative string", "05 FF FF FF FF FF", InvalidReads(1),
       EncodableValue("")},
      {"byte vector", "08 03 01 02", InvalidReads(1),
       EncodableValue(std::vector<uint8_t>{})},
      {"int32 vector short by padding", "09 01 00 00 00 00 00", InvalidReads(1),
       EncodableValue(std::vector<int32_t>{})},
      {"int32 vector short by one element", "09 02 00 00 01 00 00 00",
       InvalidReads(1), EncodableValue(std::vector<int32_t>{})},
      {"int64 vector", "0A FF FF FF FF 7F 00 00 01 00 00 00 00 00 00 00",
       InvalidReads(1), EncodableValue(std::vector<int64_t>{})},
      {"double vector", "0B FF FF FF FF FF 00 00", InvalidReads(1),
       EncodableValue(std::vector<double>{})},
      {"float vector", "0E 01 00 00", InvalidReads(1),
       EncodableValue(std::vector<float>{})},
      {"list", "0C 02 01", InvalidReads(1), EncodableValue(EncodableList{})},
      {"huge list", "0C FF FF FF FF FF 00", InvalidReads(1),
       EncodableValue(EncodableList{})},
      {"map needs two bytes per entry", "0D 02 00 00 00", InvalidReads(1),
       EncodableValue(EncodableMap{})},
      {"huge map", "0D FF FF FF FF FF 00 00", InvalidReads(1),
       EncodableValue(EncodableMap{})},
      {"refused inner list, outer list goes on", "0C 02 0C 09 01",
       InvalidReads(1), EncodableValue(EncodableList{EncodableList{}, true})},
      {"list whose elements run out", "0C 03 01 0C 01 01", InvalidReads(1),
       EncodableValue(EncodableList{})},
      {"map whose entries run out", "0D 02 07 01 61 01", InvalidReads(1),
       EncodableValue(EncodableMap{})},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.value) << c.name;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.name;
  }
}

TEST(StandardCodecSerializer, CountThatExactlyFitsIsRead) {
  const struct {
    const char* bytes;
    EncodableValue value;
  } cases[] = {
      {"07 02 61 62", EncodableValue("ab")},
      {"09 01 00 00 05 00 00 00", EncodableValue(std::vector<int32_t>{5})},
      {"0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
       EncodableValue(std::vector<double>{1.0})},
      {"0C 02 01 02", EncodableValue(EncodableList{true, false})},
      {"0D 01 00 00",
       EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}})},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    EXPECT_EQ(Decode(Hex(c.bytes)), c.value) << c.bytes;
    EXPECT_EQ(cerr.text(), "") << c.bytes;
  }
}

// Lists nested `depth` deep, each announcing as many elements as there are
// bytes after its size field: every count passes when read, and the
// innermost list uses up the input.
std::vector<uint8_t> GreedyNestedLists(size_t depth) {
  std::vector<uint8_t> bytes;
  for (size_t level = 0; level < depth; ++level) {
    const size_t after = 4 * (depth - level - 1) + 1;
    bytes.insert(bytes.end(), {0x0C, 0xFE, static_cast<uint8_t>(after),
                               static_cast<uint8_t>(after >> 8)});
  }
  bytes.push_back(0x01);
  return bytes;
}

// Without a check before every element, each enclosing list would go on
// reading its missing elements once the input is used up: about 2 * depth^2
// failed reads and diagnostic lines here.
TEST(StandardCodecSerializer, UsedUpInputEndsEveryEnclosingList) {
  const size_t depth = 200;
  CerrCapture cerr;
  EXPECT_EQ(Decode(GreedyNestedLists(depth)), EncodableValue(EncodableList{}));
  const std::string text = cerr.text();
  // One line for each list around the innermost, which reads its one byte.
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
            depth - 1);
  EXPECT_EQ(text.substr(0, sizeof(kInvalidRead) - 1), kInvalidRead);
}

std::vector<uint8_t> NestedLists(size_t depth, uint8_t innermost) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < depth; ++i) {
    bytes.push_back(0x0C);
    bytes.push_back(0x01);
  }
  bytes.push_back(innermost);
  return bytes;
}

EncodableValue NestedListValue(size_t depth, EncodableValue innermost) {
  EncodableValue value = std::move(innermost);
  for (size_t i = 0; i < depth; ++i) {
    value = EncodableValue(EncodableList{std::move(value)});
  }
  return value;
}

TEST(StandardCodecSerializer, ReadsValuesNested512Deep) {
  CerrCapture cerr;
  EXPECT_EQ(Decode(NestedLists(511, 0x01)), NestedListValue(511, true));
  EXPECT_EQ(cerr.text(), "");
}

// Two bytes per level would otherwise let a small message exhaust the stack.
TEST(StandardCodecSerializer, DeeperNestingIsReadAsNull) {
  for (size_t depth : {512, 100000}) {
    CerrCapture cerr;
    EXPECT_EQ(Decode(NestedLists(depth, 0x01)),
              NestedListValue(511, EncodableList{EncodableValue()}));
    EXPECT_EQ(cerr.text(),
              "Value nested deeper than 512 levels in "
              "StandardCodecSerializer::ReadValue; read as null\n");
  }
}

// Records how a value reaches the stream, to check that numeric vectors move
// in one block each way.
class RecordingWriter : public ByteStreamWriter {
 public:
  void WriteByte(uint8_t) override { calls_.push_back("byte"); }
  void WriteBytes(const uint8_t*, size_t count) override {
    calls_.push_back("bytes " + std::to_string(count));
  }
  void WritePadding(uint8_t alignment) override {
    calls_.push_back("pad " + std::to_string(alignment));
  }
  const std::vector<std::string>& calls() const { return calls_; }

 private:
  std::vector<std::string> calls_;
};

class RecordingReader : public ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
  void ReadBytes(uint8_t* destination, size_t count) override {
    block_reads_.push_back(count);
    ByteBufferStreamReader::ReadBytes(destination, count);
  }
  const std::vector<size_t>& block_reads() const { return block_reads_; }

 private:
  std::vector<size_t> block_reads_;
};

TEST(StandardCodecSerializer, NumericVectorsMoveInOneBlock) {
  const struct {
    EncodableValue value;
    std::vector<std::string> writes;
    std::vector<size_t> block_reads;
  } cases[] = {
      {EncodableValue(std::vector<uint8_t>(300, 1)),
       {"byte", "byte", "bytes 2", "bytes 300"},
       {2, 300}},
      {EncodableValue(std::vector<int32_t>(3, 1)),
       {"byte", "byte", "pad 4", "bytes 12"},
       {12}},
      {EncodableValue(std::vector<int64_t>(3, 1)),
       {"byte", "byte", "pad 8", "bytes 24"},
       {24}},
      {EncodableValue(std::vector<double>(3, 1)),
       {"byte", "byte", "pad 8", "bytes 24"},
       {24}},
      {EncodableValue(std::vector<float>(3, 1)),
       {"byte", "byte", "pad 4", "bytes 12"},
       {12}},
  };
  for (const auto& c : cases) {
    RecordingWriter writer;
    StandardCodecSerializer::GetInstance().WriteValue(c.value, &writer);
    EXPECT_EQ(writer.calls(), c.writes) << c.value.index();

    const std::vector<uint8_t> bytes = Encode(c.value);
    RecordingReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&reader),
              c.value);
    EXPECT_EQ(reader.block_reads(), c.block_reads) << c.value.index();
  }
}

TEST(StandardCodecSerializer, DerivedSerializerSeesItsTagAtAnyDepth) {
  const PointSerializer serializer;
  const EncodableValue value(EncodableMap{
      {"points", EncodableList{PointValue(1, -2), 5, PointValue(3, 4)}}});
  CerrCapture cerr;
  const std::vector<uint8_t> bytes = Encode(value, serializer);
  EXPECT_EQ(ToHex(bytes),
            "0D 01 07 06 70 6F 69 6E 74 73 0C 03 "
            "80 03 01 00 00 00 03 FE FF FF FF 03 05 00 00 00 "
            "80 03 03 00 00 00 03 04 00 00 00");
  const EncodableValue decoded = Decode(bytes, serializer);
  const auto& list = std::get<EncodableList>(
      std::get<EncodableMap>(decoded).at(EncodableValue("points")));
  ASSERT_EQ(list.size(), 3u);
  ASSERT_NE(AsPoint(list[0]), nullptr);
  EXPECT_EQ(AsPoint(list[0])->y, -2);
  EXPECT_EQ(list[1], EncodableValue(5));
  ASSERT_NE(AsPoint(list[2]), nullptr);
  EXPECT_EQ(AsPoint(list[2])->x, 3);
  EXPECT_EQ(cerr.text(), "");

  CerrCapture standard_cerr;
  EXPECT_EQ(std::get<EncodableList>(std::get<EncodableMap>(Decode(bytes))
                                        .at(EncodableValue("points")))[0],
            EncodableValue());
  EXPECT_EQ(standard_cerr.text(), UnknownType(128));
}

}  // namespace
}  // namespace flutter
