// Feeds arbitrary bytes to the three decoders that see bytes from the Dart
// side: ReadValue, DecodeMethodCall and DecodeResponseEnvelope. Beyond the
// sanitizers it checks that whatever a message decodes to re-encodes to bytes
// that decode and re-encode to the very same bytes, and that the serializer's
// direct path (the built-in buffer streams) and its interface path (streams
// derived from them) read and write alike.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
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
using flutter::EncodableList;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

class IgnoringResult : public flutter::MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue*) override {}
  void Error(const std::string&, const std::string&,
             const EncodableValue*) override {}
};

// Derived, so the serializer takes its interface path through them.
class DerivedReader : public ByteBufferStreamReader {
  using ByteBufferStreamReader::ByteBufferStreamReader;
};
class DerivedWriter : public ByteBufferStreamWriter {
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

template <typename Writer = ByteBufferStreamWriter>
std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  Writer writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

template <typename Reader = ByteBufferStreamReader>
EncodableValue Decode(const uint8_t* data, size_t size) {
  Reader reader(data, size);
  return StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

// Two values read in a row, so that the second starts where the first left
// the position, encoded for comparison (a NaN equals nothing, its bytes do),
// and the bytes left.
template <typename Reader>
std::vector<uint8_t> DecodeTwo(const uint8_t* data, size_t size) {
  Reader reader(data, size);
  EncodableList values;
  values.push_back(StandardCodecSerializer::GetInstance().ReadValue(&reader));
  values.push_back(StandardCodecSerializer::GetInstance().ReadValue(&reader));
  values.push_back(static_cast<int64_t>(reader.BytesRemaining()));
  return Encode(EncodableValue(std::move(values)));
}

void CheckBothPathsAgree(const uint8_t* data, size_t size) {
  if (DecodeTwo<ByteBufferStreamReader>(data, size) !=
      DecodeTwo<DerivedReader>(data, size)) {
    std::abort();
  }
}

void CheckReencodingIsStable(const uint8_t* data, size_t size) {
  const EncodableValue value = Decode(data, size);
  const std::vector<uint8_t> first = Encode(value);
  const std::vector<uint8_t> second =
      Encode(Decode(first.data(), first.size()));
  if (first != second || Encode<DerivedWriter>(value) != first) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDiagnostics();

  CheckBothPathsAgree(data, size);
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
