// StandardMethodCodec: method calls and envelopes framed in the standard wire
// format, written and read through one StandardCodecSerializer (so a derived
// serializer's extra tags work inside calls and envelopes).
//
// There is one codec per serializer, created by GetInstance and never
// destroyed: a returned reference stays valid until the process ends. Its
// operations and GetInstance are safe from any thread: plug-ins may ask for
// codecs from threads of their own.

#ifndef RIVELO_ENCODING_STANDARD_METHOD_CODEC_H_
#define RIVELO_ENCODING_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoding/encodable_value.h"
#include "encoding/method_call.h"
#include "encoding/method_codec.h"
#include "encoding/method_result.h"
#include "encoding/standard_codec_serializer.h"

namespace flutter {

class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec bound to serializer; null stands for the standard serializer.
  // The serializer must outlive every use of its codec.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override;

  StandardMethodCodec(const StandardMethodCodec&) = delete;
  StandardMethodCodec& operator=(const StandardMethodCodec&) = delete;

  // Null, after an "Invalid method call; method name is not a string." line
  // on standard error, when the first value is not a string.
  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCall(
      const uint8_t* message, size_t size) const override;

  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall<EncodableValue>& call) const override;

  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const override;

  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message = "",
      const EncodableValue* error_details = nullptr) const override;

  // Throws std::bad_variant_access, before result is called, when an error
  // envelope's code is not a string or its message neither null nor a string.
  bool DecodeResponseEnvelope(
      const uint8_t* response, size_t size,
      MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_STANDARD_METHOD_CODEC_H_
