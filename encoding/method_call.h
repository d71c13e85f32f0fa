// MethodCall: a method name and its arguments, as decoded from or encoded to
// a method-call message. Owns its arguments; immutable after construction,
// so it may be read from any thread.

#ifndef RIVELO_ENCODING_METHOD_CALL_H_
#define RIVELO_ENCODING_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

namespace flutter {

template <typename T>
class MethodCall {
 public:
  // arguments may be null: the call then carries no arguments.
  MethodCall(std::string method_name, std::unique_ptr<T> arguments)
      : method_name_(std::move(method_name)),
        arguments_(std::move(arguments)) {}

  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }

  // Null when the call carries no arguments.
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_METHOD_CALL_H_
