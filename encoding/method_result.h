// MethodResult: the receiver of a decoded response envelope. Exactly one of
// its operations is called per envelope, on the thread that decodes it; the
// pointers are valid only during the call.

#ifndef RIVELO_ENCODING_METHOD_RESULT_H_
#define RIVELO_ENCODING_METHOD_RESULT_H_

#include <string>

namespace flutter {

template <typename T>
class MethodResult {
 public:
  virtual ~MethodResult() = default;

  // result is null when the envelope carried no result.
  virtual void Success(const T* result) = 0;

  // details is null when the envelope carried no details.
  virtual void Error(const std::string& code, const std::string& message,
                     const T* details) = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_METHOD_RESULT_H_
