// Feeds arbitrary bytes to the three decoders that see bytes from the Dart
// side: ReadValue, DecodeMethodCall and DecodeResponseEnvelope. Beyond the
// sanitizers it checks that whatever a message decodes to re-encodes to bytes
// that decode and re-encode to the very same bytes, and that a stream derived
// from the built-in one (served through the virtual calls rather than
// directly) reads and writes every input alike.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "encoding/codec_test_support.h"
#include "encoding/standard_method_codec.h"
#include "fuzz/quiet_diagnostics.h"

namespace {

using flutter::EncodableValue;
using flutter::testing::Decode;
using flutter::testing::Encode;
using flutter::testing::Streams;

struct IgnoringResult : flutter::MethodResult<EncodableValue> {
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&,
             const EncodableValue*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDiagnostics();

  const std::vector<uint8_t> input(data, data + size);
  const std::vector<uint8_t> first = Encode(Decode(input));
  if (Encode(Decode(first)) != first ||
      Encode(Decode(input, Streams::kDerived)) != first ||
      Encode(Decode(first), Streams::kDerived) != first) {
    std::abort();
  }

  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  codec.DecodeMethodCall(data, size);
  IgnoringResult result;
  try {
    codec.DecodeResponseEnvelope(data, size, &result);
  } catch (const std::bad_variant_access&) {
    // Documented: an error envelope whose code or message has the wrong type.
  }
  return 0;
}
