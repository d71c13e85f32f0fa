#include "encoding/byte_streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::kInvalidRead;

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

}  // namespace
}  // namespace flutter
