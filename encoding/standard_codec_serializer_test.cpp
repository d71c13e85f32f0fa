#include "encoding/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::Decode;
using testing::Encode;
using testing::Hex;
using testing::kBothStreams;
using testing::kInvalidRead;
using testing::Lists;
using testing::MakeStream;
using testing::Streams;
using testing::TaggedSerializer;
using testing::ToHex;

// What the serializer never asks but a caller may: alignment 0 pads and skips
// nothing, a huge count fails without wrapping the bound check around, and a
// position skipped past the end leaves nothing to read.
TEST(ByteBufferStreams, ZeroAlignmentHugeCountsAndSkipsPastTheEnd) {
  std::vector<uint8_t> bytes = {0xAA, 0xBB};
  ByteBufferStreamWriter writer(&bytes);
  writer.WritePadding(0);
  EXPECT_EQ(bytes.size(), 2u);
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  reader.SkipPadding(0);
  EXPECT_EQ(reader.ReadByte(), 0xAA);
  uint8_t destination = 0;
  CerrCapture cerr;
  reader.ReadBytes(&destination, static_cast<size_t>(-1));
  EXPECT_EQ(cerr.text(), kInvalidRead);
  EXPECT_EQ(reader.BytesRemaining(), 1u);
  reader.SkipPadding(4);
  EXPECT_EQ(reader.BytesRemaining(), 0u);
}

// Each buffer starts with the value, so padding counts from the tag.
TEST(StandardCodecSerializer, WritesAndReadsTheWireFormat) {
  const struct {
    EncodableValue value;
    const char* bytes;
  } cases[] = {
      {EncodableValue(), "00"},
      {true, "01"},
      {false, "02"},
      {int32_t{-1}, "03 FF FF FF FF"},
      {int64_t{1}, "04 01 00 00 00 00 00 00 00"},
      {1.0, "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"abc", "07 03 61 62 63"},
      {std::string("a\0\xC3\xA9", 4), "07 04 61 00 C3 A9"},
      {std::vector<uint8_t>{1, 2}, "08 02 01 02"},
      {std::vector<int32_t>{1}, "09 01 00 00 01 00 00 00"},
      {std::vector<int32_t>{}, "09 00 00 00"},
      {std::vector<int64_t>{-2},
       "0A 01 00 00 00 00 00 00 FE FF FF FF FF FF FF FF"},
      {std::vector<double>{-2.0},
       "0B 01 00 00 00 00 00 00 00 00 00 00 00 00 00 C0"},
      {std::vector<float>{1.0f}, "0E 01 00 00 00 00 80 3F"},
      {EncodableList{true, EncodableValue()}, "0C 02 01 00"},
      {EncodableMap{{EncodableValue(), EncodableValue()}}, "0D 01 00 00"},
      // Keys in ascending order: by alternative first, then by contents.
      {EncodableMap{{int32_t{2}, "x"}, {int32_t{1}, "y"}},
       "0D 02 03 01 00 00 00 07 01 79 03 02 00 00 00 07 01 78"},
      {EncodableMap{{"k", 1}, {int32_t{0}, 2}},
       "0D 02 03 00 00 00 00 03 02 00 00 00 07 01 6B 03 01 00 00 00"},
      // Nested values are padded from the start of the buffer.
      {EncodableList{1.0}, "0C 01 06 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {EncodableMap{{"v", std::vector<int32_t>{7}}},
       "0D 01 07 01 76 09 01 00 07 00 00 00"},
      {EncodableMap{{true, std::vector<float>{}}}, "0D 01 01 0E 00 00 00 00"},
      {EncodableList{EncodableList{std::vector<double>{0.5}}},
       "0C 01 0C 01 0B 01 00 00 00 00 00 00 00 00 E0 3F"},
  };
  for (const auto& c : cases) {
    for (Streams streams : kBothStreams) {
      CerrCapture cerr;
      EXPECT_EQ(ToHex(Encode(c.value, streams)), c.bytes) << streams;
      EXPECT_EQ(Decode(Hex(c.bytes), streams), c.value) << c.bytes << streams;
      // Elements are read from any address: here one byte into the storage.
      const std::vector<uint8_t> storage = Hex(std::string("00 ") + c.bytes);
      const auto shifted = MakeStream<ByteBufferStreamReader>(
          streams, storage.data() + 1, storage.size() - 1);
      EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(shifted.get()),
                c.value)
          << c.bytes << streams;
      EXPECT_EQ(cerr.text(), "") << c.bytes << streams;
    }
  }
}

// Decoding never stops early: every input yields a value, and every fault its
// exact diagnostic lines. A count that the remaining input cannot hold is
// refused before anything is allocated and read as an empty value.
TEST(StandardCodecSerializer, ReadsEveryInputWithExactDiagnostics) {
  const struct {
    const char* bytes;
    std::string diagnostics;
    EncodableValue value;
  } cases[] = {
      {"05 01 78", "", "x"},
      {"07 FE 01 00 61", "", "a"},
      {"03 05 00 00 00 FF FF", "", int32_t{5}},
      // A repeated key keeps its first value.
      {"0D 02 07 01 61 01 07 01 61 02", "", EncodableMap{{"a", true}}},
      // Exactly the two bytes per later entry that the count promised.
      {"0D 02 07 01 61 00 01 00", "",
       EncodableMap{{"a", EncodableValue()}, {true, EncodableValue()}}},
      {"", kInvalidRead, EncodableValue()},
      {"03 01 02", kInvalidRead, int32_t{0}},
      {"06", kInvalidRead, 0.0},
      {"07 FE 05", kInvalidRead, ""},
      // An unknown tag consumes only itself; a failed read does not move.
      {"0C 02 0F 01",
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n",
       EncodableList{EncodableValue(), true}},
      {"0C 02 03 01 00", kInvalidRead, EncodableList{int32_t{0}, true}},
      {"09 00", kInvalidRead, std::vector<int32_t>{}},
      // Counts beyond the input: full element width, after the padding.
      {"07 05 61 62", kInvalidRead, ""},
      {"09 01 00 00 00 00 00", kInvalidRead, std::vector<int32_t>{}},
      {"0B FF FF FF FF FF 00 00", kInvalidRead, std::vector<double>{}},
      {"0C 02 01", kInvalidRead, EncodableList{}},
      {"0C FF FF FF FF FF 00", kInvalidRead, EncodableList{}},
      {"0D 02 00 00 00", kInvalidRead, EncodableMap{}},
      {"0C 02 0C 09 01", kInvalidRead, EncodableList{EncodableList{}, true}},
      // Checked before every element, not only the first.
      {"0C 03 01 03 05 00 00 00", kInvalidRead, EncodableList{}},
      {"0D 02 03 01 00 00 00 01", kInvalidRead, EncodableMap{}},
      // A nested count is held to the input beyond what the enclosing
      // levels' later elements need.
      {"0C 02 0C 02 01 01", kInvalidRead,
       EncodableList{EncodableList{}, true}},
      {"0D 02 01 0C 02 00 02 00", kInvalidRead,
       EncodableMap{{true, EncodableList{}}, {EncodableValue(), false}}},
  };
  for (const auto& c : cases) {
    for (Streams streams : kBothStreams) {
      CerrCapture cerr;
      EXPECT_EQ(Decode(Hex(c.bytes), streams), c.value) << c.bytes << streams;
      EXPECT_EQ(cerr.text(), c.diagnostics) << c.bytes << streams;
    }
  }
}

// A header (tag and size) of n elements must use the smallest size form.
TEST(StandardCodecSerializer, SizeFormBoundaries) {
  const struct {
    size_t size;
    const char* size_field;
  } sizes[] = {{0, "00"},
               {253, "FD"},
               {254, "FE FE 00"},
               {65535, "FE FF FF"},
               {65536, "FF 00 00 01 00"}};
  for (const auto& s : sizes) {
    EncodableMap map;
    for (size_t i = 0; i < s.size; ++i) {
      map.emplace(static_cast<int32_t>(i), EncodableValue());
    }
    const struct {
      const char* tag;
      EncodableValue value;
    } kinds[] = {{"07", std::string(s.size, 'x')},
                 {"08", std::vector<uint8_t>(s.size, 0xAB)},
                 {"0C", EncodableList(s.size)},
                 {"0D", map}};
    for (const auto& kind : kinds) {
      for (Streams streams : kBothStreams) {
        const std::string header = std::string(kind.tag) + " " + s.size_field;
        std::vector<uint8_t> bytes = Encode(kind.value, streams);
        EXPECT_EQ(Decode(bytes, streams), kind.value) << header << streams;
        bytes.resize(Hex(header).size());
        EXPECT_EQ(ToHex(bytes), header) << streams;
      }
    }
  }
}

// A size beyond 32 bits is reported and not written; a custom value is
// reported and written as null, so that the message stays well formed.
TEST(StandardCodecSerializer, WhatTheFormatCannotCarryIsReported) {
  struct Sizes : StandardCodecSerializer {
    using StandardCodecSerializer::ReadSize;
    using StandardCodecSerializer::WriteSize;
  } serializer;
  for (Streams streams : kBothStreams) {
    std::vector<uint8_t> bytes;
    const auto writer = MakeStream<ByteBufferStreamWriter>(streams, &bytes);
    CerrCapture cerr;
    serializer.WriteSize(253, writer.get());
    serializer.WriteSize(0xFFFFFFFF, writer.get());
    serializer.WriteSize(size_t{1} << 32, writer.get());
    serializer.WriteValue(EncodableList{CustomEncodableValue(1), true},
                          writer.get());
    const auto reader =
        MakeStream<ByteBufferStreamReader>(streams, bytes.data(), bytes.size());
    EXPECT_EQ(serializer.ReadSize(reader.get()), 253u);
    EXPECT_EQ(serializer.ReadSize(reader.get()), 0xFFFFFFFF);
    EXPECT_EQ(ToHex(bytes), "FD FF FF FF FF FF 0C 02 00 01") << streams;
    EXPECT_EQ(cerr.text(),
              "Size too large for StandardCodecSerializer: 4294967296 "
              "exceeds 4294967295\nUnhandled custom type in "
              "StandardCodecSerializer::WriteValue. Custom types require "
              "codec extensions.\n");
  }
}

// Two bytes per level would otherwise let a small message exhaust the stack:
// the value at level 513 is read as null, its tag consumed, and the rest of
// the input is left unread.
TEST(StandardCodecSerializer, NestingDeeperThan512IsReadAsNull) {
  for (Streams streams : kBothStreams) {
    CerrCapture cerr;
    EXPECT_EQ(Encode(Decode(Lists(511, 0x01), streams)), Lists(511, 0x01));
    EXPECT_EQ(cerr.text(), "") << streams;
    EXPECT_EQ(Encode(Decode(Lists(100000, 0x01), streams)), Lists(512, 0x00));
    EXPECT_EQ(cerr.text(),
              "Value nested deeper than 512 levels in "
              "StandardCodecSerializer::ReadValue; read as null\n")
        << streams;
    // A text key one level too deep is refused like any other value.
    std::vector<uint8_t> deep_map = Lists(511, 0x0D);
    deep_map.insert(deep_map.end(), {0x01, 0x07, 0x01, 0x61, 0x01});
    // Past the 511 lists ("0C 01 " each): the map, its key refused.
    EXPECT_EQ(ToHex(Encode(Decode(deep_map, streams))).substr(511 * 6), "0D 01 00 00");
  }
}

// Derived from the buffer writer but never lets it write: the serializer must
// make exactly these calls on a stream that is not a built-in one.
struct RecordingWriter : ByteBufferStreamWriter {
  RecordingWriter() : ByteBufferStreamWriter(&untouched) {}
  void WriteByte(uint8_t) override { calls.push_back("byte"); }
  void WriteBytes(const uint8_t*, size_t count) override {
    calls.push_back("bytes " + std::to_string(count));
  }
  void WritePadding(uint8_t alignment) override {
    calls.push_back("pad " + std::to_string(alignment));
  }
  std::vector<uint8_t> untouched;
  std::vector<std::string> calls;
};

struct RecordingReader : ByteBufferStreamReader {
  using ByteBufferStreamReader::ByteBufferStreamReader;
  void ReadBytes(uint8_t* destination, size_t count) override {
    block_reads.push_back(count);
    ByteBufferStreamReader::ReadBytes(destination, count);
  }
  std::vector<size_t> block_reads;
};

TEST(StandardCodecSerializer, NumericVectorsMoveInOneBlock) {
  const struct {
    EncodableValue value;
    std::vector<std::string> writes;
    std::vector<size_t> block_reads;
  } cases[] = {
      {std::vector<uint8_t>(300),
       {"byte", "byte", "bytes 2", "bytes 300"},
       {2, 300}},
      {std::vector<int32_t>(3), {"byte", "byte", "pad 4", "bytes 12"}, {12}},
      {std::vector<double>(3), {"byte", "byte", "pad 8", "bytes 24"}, {24}},
  };
  for (const auto& c : cases) {
    RecordingWriter writer;
    StandardCodecSerializer::GetInstance().WriteValue(c.value, &writer);
    EXPECT_EQ(writer.calls, c.writes) << c.value.index();
    const std::vector<uint8_t> bytes = Encode(c.value);
    RecordingReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&reader),
              c.value);
    EXPECT_EQ(reader.block_reads, c.block_reads) << c.value.index();
  }
}

TEST(StandardCodecSerializer, DerivedSerializerSeesItsTagAtAnyDepth) {
  const TaggedSerializer serializer;
  const EncodableValue value(EncodableMap{
      {"tagged", EncodableList{CustomEncodableValue(EncodableValue(-2)), 5,
                               CustomEncodableValue(EncodableValue(4))}}});
  const std::string expected =
      "0D 01 07 06 74 61 67 67 65 64 0C 03 "
      "80 03 FE FF FF FF 03 05 00 00 00 80 03 04 00 00 00";
  for (Streams streams : kBothStreams) {
    CerrCapture cerr;
    const std::vector<uint8_t> bytes = Encode(value, streams, serializer);
    EXPECT_EQ(ToHex(bytes), expected) << streams;
    // The custom values come back, and write again, only if every level was
    // read through the extension.
    const EncodableValue decoded = Decode(bytes, streams, serializer);
    EXPECT_EQ(ToHex(Encode(decoded, streams, serializer)), expected);
    EXPECT_EQ(cerr.text(), "") << streams;
  }
}

// The list's later element promises bytes of the outer stream, none of the
// embedded message's.
TEST(StandardCodecSerializer, MessageDecodedInsideADecodeIsReadWhole) {
  for (const std::string tag : {"82", "83"}) {
    for (Streams streams : kBothStreams) {
      CerrCapture cerr;
      EXPECT_EQ(Decode(Hex("0C 02 " + tag + " 03 0C 01 01 01"), streams,
                       TaggedSerializer()),
                EncodableValue(EncodableList{EncodableList{true}, true}));
      EXPECT_EQ(cerr.text(), "") << tag << streams;
    }
  }
}

}  // namespace
}  // namespace flutter
