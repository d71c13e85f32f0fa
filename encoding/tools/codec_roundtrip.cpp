// Test tool for tests/codec_differential.py (not part of the product): reads
// records from standard input, decodes each with the C++ codec and writes
// what the codec encodes the result to back to standard output.
//
// Record in:  kind (1 byte: 'v' value, 'c' method call, 'e' response
//             envelope), payload length (uint32 little-endian), payload.
// Record out: length (uint32 little-endian), the re-encoded bytes; a method
//             call that does not decode yields an empty record.

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "encoding/byte_streams.h"
#include "encoding/encodable_value.h"
#include "encoding/method_result.h"
#include "encoding/standard_codec_serializer.h"
#include "encoding/standard_method_codec.h"

namespace {

using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

// Re-encodes whatever envelope it is handed.
class ReencodingResult : public flutter::MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    bytes_ = Codec().EncodeSuccessEnvelope(result);
  }
  void Error(const std::string& code, const std::string& message,
             const EncodableValue* details) override {
    bytes_ = Codec().EncodeErrorEnvelope(code, message, details);
  }
  Bytes bytes() const { return bytes_ ? *bytes_ : Bytes(); }

 private:
  std::unique_ptr<Bytes> bytes_;
};

Bytes RoundTripValue(const Bytes& in) {
  flutter::ByteBufferStreamReader reader(in.data(), in.size());
  const auto& serializer = flutter::StandardCodecSerializer::GetInstance();
  const EncodableValue value = serializer.ReadValue(&reader);
  Bytes out;
  flutter::ByteBufferStreamWriter writer(&out);
  serializer.WriteValue(value, &writer);
  return out;
}

Bytes RoundTripCall(const Bytes& in) {
  const auto call = Codec().DecodeMethodCall(in.data(), in.size());
  return call ? *Codec().EncodeMethodCall(*call) : Bytes();
}

Bytes RoundTripEnvelope(const Bytes& in) {
  ReencodingResult result;
  Codec().DecodeResponseEnvelope(in.data(), in.size(), &result);
  return result.bytes();
}

uint32_t ReadLength(const Bytes& input, size_t at) {
  return static_cast<uint32_t>(input[at]) |
         static_cast<uint32_t>(input[at + 1]) << 8 |
         static_cast<uint32_t>(input[at + 2]) << 16 |
         static_cast<uint32_t>(input[at + 3]) << 24;
}

void AppendRecord(const Bytes& payload, Bytes* output) {
  const auto size = static_cast<uint32_t>(payload.size());
  for (int shift = 0; shift < 32; shift += 8) {
    output->push_back(static_cast<uint8_t>(size >> shift));
  }
  output->insert(output->end(), payload.begin(), payload.end());
}

Bytes ReadAll(std::FILE* file) {
  Bytes bytes;
  uint8_t chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof(chunk), file)) != 0) {
    bytes.insert(bytes.end(), chunk, chunk + count);
  }
  return bytes;
}

}  // namespace

int main() {
  const Bytes input = ReadAll(stdin);
  Bytes output;
  size_t at = 0;
  while (at < input.size()) {
    if (input.size() - at < 5 ||
        input.size() - at - 5 < ReadLength(input, at + 1)) {
      std::cerr << "codec_roundtrip: truncated record at " << at << std::endl;
      return 2;
    }
    const char kind = static_cast<char>(input[at]);
    const size_t length = ReadLength(input, at + 1);
    const Bytes payload(input.data() + at + 5, input.data() + at + 5 + length);
    at += 5 + length;
    switch (kind) {
      case 'v':
        AppendRecord(RoundTripValue(payload), &output);
        break;
      case 'c':
        AppendRecord(RoundTripCall(payload), &output);
        break;
      case 'e':
        AppendRecord(RoundTripEnvelope(payload), &output);
        break;
      default:
        std::cerr << "codec_roundtrip: unknown record kind " << int{kind}
                  << std::endl;
        return 2;
    }
  }
  std::fwrite(output.data(), 1, output.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
