// Feeds arbitrary bytes to the three decoders that see bytes from the Dart
// side: ReadValue, DecodeMethodCall and DecodeResponseEnvelope. Beyond the
// sanitizers it checks that whatever a message decodes to re-encodes to bytes
// that decode and re-encode to the very same bytes, that a stream derived
// from the built-in one (served through the virtual calls rather than
// directly) reads and writes every input alike, and that no decode holds
// more than 64 bytes per input byte and 1 MiB besides (the allocation meter
// replaces operator new in this executable).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <variant>
#include <vector>

#include "encoding/allocation_meter_test_support.h"
#include "encoding/codec_test_support.h"
#include "encoding/standard_method_codec.h"
#include "fuzz/quiet_diagnostics.h"

namespace {

using flutter::EncodableValue;
using flutter::testing::AllocationMeter;
using flutter::testing::DecodeMemoryBound;
using flutter::testing::Decode;
using flutter::testing::Encode;
using flutter::testing::Streams;

struct IgnoringResult : flutter::MethodResult<EncodableValue> {
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&,
             const EncodableValue*) override {}
};

// How large the inputs of a run were, printed as it ends: long runs are only
// worth their time if the large inputs that the memory bound is about were
// reached.
struct InputSizes {
  size_t largest = 0;
  size_t over_64_kib = 0;
  ~InputSizes() {
    std::fprintf(stderr, "codec_fuzzer: largest input %zu bytes, %zu inputs over 64 KiB\n",
                 largest, over_64_kib);
  }
} input_sizes;

// Runs decode under the memory bound of an input of size bytes; a decode
// that would pass it is a finding.
template <typename Decoding>
void WithinBound(size_t size, Decoding decode) {
  const AllocationMeter meter(DecodeMemoryBound(size));
  try {
    decode();
  } catch (const std::bad_alloc&) {
    if (meter.refused() == 0) {
      throw;
    }
    std::fprintf(stderr, "decode of %zu bytes held %zu bytes, then asked for %zu more\n",
                 size, meter.peak(), meter.refused());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDiagnostics();

  input_sizes.largest = std::max(input_sizes.largest, size);
  input_sizes.over_64_kib += size > (size_t{64} << 10);
  const std::vector<uint8_t> input(data, data + size);
  EncodableValue decoded;
  WithinBound(size, [&] { decoded = Decode(input); });
  const std::vector<uint8_t> first = Encode(decoded);
  EncodableValue derived;
  WithinBound(size, [&] { derived = Decode(input, Streams::kDerived); });
  if (Encode(Decode(first)) != first || Encode(derived) != first ||
      Encode(Decode(first), Streams::kDerived) != first) {
    std::abort();
  }

  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  WithinBound(size, [&] { codec.DecodeMethodCall(data, size); });
  IgnoringResult result;
  try {
    WithinBound(size, [&] { codec.DecodeResponseEnvelope(data, size, &result); });
  } catch (const std::bad_variant_access&) {
    // Documented: an error envelope whose code or message has the wrong type.
  }
  return 0;
}
