// Feeds arbitrary bytes to the three decoders that see bytes from the Dart
// side: ReadValue, DecodeMethodCall and DecodeResponseEnvelope. Beyond the
// sanitizers it checks that whatever a message decodes to re-encodes to bytes
// that decode and re-encode to the very same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"
#include "encoding/method_result.h"
#include "encoding/standard_codec_serializer.h"
#include "encoding/standard_method_codec.h"
#include "fuzz/quiet_diagnostics.h"

namespace {

using flutter::ByteBufferStreamReader;
using flutter::ByteBufferStreamWriter;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

class IgnoringResult : public flutter::MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&,
             const EncodableValue*) override {}
};

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const uint8_t* data, size_t size) {
  ByteBufferStreamReader reader(data, size);
  return StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

void CheckReencodingIsStable(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> first = Encode(Decode(data, size));
  const std::vector<uint8_t> second =
      Encode(Decode(first.data(), first.size()));
  if (first != second) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDiagnostics();

  CheckReencodingIsStable(data, size);

  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  codec.DecodeMethodCall(data, size);
  IgnoringResult result;
  try {
    codec.DecodeResponseEnvelope(data, size, &result);
  } catch (const std::bad_variant_access&) {
    // Documented: an error envelope whose code or message has the wrong type.
  }
  return 0;
}
