#include "encoding/byte_streams.h"

#include <gtest/gtest.h>

#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::Hex;
using testing::kInvalidRead;

TEST(ByteBufferStreamReader, ReadsInOrderAndReportsEachReadPastTheEnd) {
  const std::vector<uint8_t> bytes = Hex("01 02");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  CerrCapture cerr;
  EXPECT_EQ(reader.ReadByte(), 1);
  EXPECT_EQ(reader.ReadByte(), 2);
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(cerr.text(), std::string(kInvalidRead) + kInvalidRead);
}

TEST(ByteBufferStreamReader, FailedReadCopiesNothingAndDoesNotMove) {
  const std::vector<uint8_t> bytes = Hex("0A 0B 0C");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  uint8_t destination[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  CerrCapture cerr;
  reader.ReadBytes(destination, 4);
  EXPECT_EQ(cerr.text(), kInvalidRead);
  EXPECT_EQ(destination[0], 0xEE);
  reader.ReadBytes(destination, 2);
  EXPECT_EQ(destination[0], 0x0A);
  EXPECT_EQ(destination[1], 0x0B);
  EXPECT_EQ(reader.ReadByte(), 0x0C);
  EXPECT_EQ(cerr.text(), kInvalidRead);
}

TEST(ByteBufferStreamReader, HugeCountDoesNotWrapAround) {
  const std::vector<uint8_t> bytes = Hex("01 02");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  reader.ReadByte();
  uint8_t destination = 0;
  CerrCapture cerr;
  reader.ReadBytes(&destination, static_cast<size_t>(-1));
  EXPECT_EQ(cerr.text(), kInvalidRead);
  EXPECT_EQ(reader.ReadByte(), 2);
}

TEST(ByteBufferStreamReader, EmptyReadFailsOnlyBeyondTheEnd) {
  const std::vector<uint8_t> bytes = Hex("01 02");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  CerrCapture cerr;
  reader.ReadBytes(nullptr, 0);
  reader.ReadByte();
  reader.ReadByte();
  reader.ReadBytes(nullptr, 0);
  EXPECT_EQ(cerr.text(), "");
  reader.SkipPadding(4);
  reader.ReadBytes(nullptr, 0);
  EXPECT_EQ(cerr.text(), kInvalidRead);
}

TEST(ByteBufferStreamReader, PaddingCountsFromTheStartOfTheBuffer) {
  const struct {
    size_t consumed;
    uint8_t alignment;
    uint8_t next;
  } cases[] = {
      {0, 4, 0x00}, {1, 4, 0x04}, {3, 4, 0x04}, {4, 4, 0x04},
      {1, 8, 0x08}, {7, 8, 0x08}, {5, 1, 0x05}, {5, 0, 0x05},
  };
  const std::vector<uint8_t> bytes = Hex("00 01 02 03 04 05 06 07 08 09");
  for (const auto& c : cases) {
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    for (size_t i = 0; i < c.consumed; ++i) {
      reader.ReadByte();
    }
    reader.SkipPadding(c.alignment);
    EXPECT_EQ(reader.ReadByte(), c.next)
        << "after " << c.consumed << " bytes, alignment " << int{c.alignment};
  }
}

TEST(ByteBufferStreamReader, RemainingNeverUnderflows) {
  const std::vector<uint8_t> bytes = Hex("01 02 03");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EXPECT_EQ(reader.BytesRemaining(), 3u);
  reader.ReadByte();
  EXPECT_EQ(reader.BytesRemaining(), 2u);
  reader.SkipPadding(8);
  EXPECT_EQ(reader.BytesRemaining(), 0u);
}

TEST(ByteBufferStreamWriter, AppendsAndPadsWithZerosToTheBufferLength) {
  const struct {
    const char* existing;
    uint8_t alignment;
    const char* expected;
  } cases[] = {
      {"", 8, ""},
      {"AA", 4, "AA 00 00 00"},
      {"AA BB BB BB", 4, "AA BB BB BB"},
      {"AA", 8, "AA 00 00 00 00 00 00 00"},
      {"AA BB", 0, "AA BB"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> buffer = Hex(c.existing);
    ByteBufferStreamWriter writer(&buffer);
    writer.WritePadding(c.alignment);
    EXPECT_EQ(testing::ToHex(buffer), c.expected) << c.existing;
  }
}

}  // namespace
}  // namespace flutter
