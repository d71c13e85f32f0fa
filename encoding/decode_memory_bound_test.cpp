// Whatever its counts claim, a decode holds at most 64 bytes per input byte
// and 1 MiB besides: hostile shapes that make every level reserve for the
// same remaining input, and the well-formed shapes that hold the most per
// input byte. Its own executable, as the meter replaces operator new.

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "encoding/allocation_meter_test_support.h"
#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::AllocationMeter;
using testing::CerrCapture;
using testing::DecodeMemoryBound;
using testing::Hex;
using testing::kBothStreams;
using testing::Streams;

constexpr size_t kMiB = size_t{1} << 20;

void AppendList(uint32_t count, std::vector<uint8_t>* bytes) {
  bytes->insert(bytes->end(), {0x0C, 0xFF});
  for (int shift = 0; shift < 32; shift += 8) {
    bytes->push_back(static_cast<uint8_t>(count >> shift));
  }
}

// levels lists, each announcing as many elements as bytes follow its header,
// over payload bytes of nulls.
std::vector<uint8_t> NestedClaims(size_t levels, size_t payload) {
  std::vector<uint8_t> bytes;
  for (size_t level = 0; level < levels; ++level) {
    AppendList(static_cast<uint32_t>((levels - level - 1) * 6 + payload),
               &bytes);
  }
  bytes.resize(bytes.size() + payload, 0x00);
  return bytes;
}

// A list whose count is honest or claims every byte that follows, and whose
// elements are copies of element up to about size bytes.
std::vector<uint8_t> ListOf(const char* element, size_t size, bool honest) {
  const std::vector<uint8_t> one = Hex(element);
  const size_t count = (size - 6) / one.size();
  std::vector<uint8_t> bytes;
  AppendList(static_cast<uint32_t>(honest ? count : count * one.size()),
             &bytes);
  for (size_t i = 0; i < count; ++i) {
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

TEST(DecodeMemory, StaysWithin64BytesPerInputByteAnd1MiB) {
  const struct {
    const char* shape;
    std::vector<uint8_t> input;
    bool well_formed;
  } cases[] = {
      {"511 levels over 1 MiB", NestedClaims(511, kMiB), false},
      {"64 levels over 4 MiB", NestedClaims(64, 4 * kMiB), false},
      {"wide list of small lists", ListOf("0C 01 00", kMiB / 4, true), true},
      {"list of three-entry maps",
       ListOf("0D 03 00 00 02 00 01 00", kMiB / 4, true), true},
      // A double vector and six nulls: sixteen bytes, so that after the
      // six-byte header every vector's element is aligned without padding.
      {"list of double vectors",
       ListOf("0B 01 00 00 00 00 00 00 F0 3F 00 00 00 00 00 00", 2 * kMiB,
              false),
       false},
      {"list of nulls", ListOf("00", kMiB / 4, true), true},
  };
  for (const auto& c : cases) {
    for (Streams streams : kBothStreams) {
      CerrCapture cerr;
      const AllocationMeter meter(DecodeMemoryBound(c.input.size()));
      try {
        testing::Decode(c.input, streams);
      } catch (const std::bad_alloc&) {
      }
      EXPECT_EQ(meter.refused(), 0u)
          << c.shape << streams << ": held " << meter.peak()
          << " bytes, then asked for " << meter.refused() << " more; bound "
          << DecodeMemoryBound(c.input.size());
      // Well-formed input is read whole, no count refused.
      EXPECT_TRUE(!c.well_formed || cerr.text().empty()) << c.shape << streams;
    }
  }
}

}  // namespace
}  // namespace flutter
