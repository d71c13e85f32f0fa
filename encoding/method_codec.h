// MethodCodec: turns method calls and their success and error envelopes into
// messages and back. Implementations keep no state between calls, so one
// codec may be used from any number of threads at once. The caller owns every
// returned call and byte vector.

#ifndef RIVELO_ENCODING_METHOD_CODEC_H_
#define RIVELO_ENCODING_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoding/method_call.h"
#include "encoding/method_result.h"

namespace flutter {

template <typename T>
class MethodCodec {
 public:
  virtual ~MethodCodec() = default;

  // Null when the message is not a method call.
  virtual std::unique_ptr<MethodCall<T>> DecodeMethodCall(
      const uint8_t* message, size_t size) const = 0;

  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall<T>& call) const = 0;

  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const T* result = nullptr) const = 0;

  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message = "",
      const T* error_details = nullptr) const = 0;

  // Hands the envelope's result or error to result and returns true, or
  // returns false without calling it when the envelope is not recognised.
  virtual bool DecodeResponseEnvelope(const uint8_t* response, size_t size,
                                      MethodResult<T>* result) const = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_METHOD_CODEC_H_
