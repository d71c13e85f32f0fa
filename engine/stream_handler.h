// What an event channel asks to start and stop a stream, and the error with
// which a handler refuses. The channel owns its handler (shared with its
// copies) and calls it on the platform thread only.
#ifndef RIVELO_ENGINE_STREAM_HANDLER_H_
#define RIVELO_ENGINE_STREAM_HANDLER_H_

#include <memory>
#include <string>
#include <utility>

#include "engine/event_sink.h"

namespace flutter {

// Sent back to the Dart side as an error envelope.
template <typename T>
struct StreamHandlerError {
  StreamHandlerError(const std::string& code, const std::string& message,
                     std::unique_ptr<T>&& details)
      : error_code(code), error_message(message), error_details(std::move(details)) {}

  const std::string error_code;
  const std::string error_message;
  const std::unique_ptr<T> error_details;
};

template <typename T>
class StreamHandler {
 public:
  StreamHandler() = default;
  virtual ~StreamHandler() = default;
  StreamHandler(const StreamHandler&) = delete;
  StreamHandler& operator=(const StreamHandler&) = delete;

  // Starts a stream that sends through `events`. Returns null on success. A
  // sink left in `events` is destroyed by the caller.
  virtual std::unique_ptr<StreamHandlerError<T>> OnListen(
      const T* arguments, std::unique_ptr<EventSink<T>>&& events) = 0;

  // Stops the current stream. Returns null on success.
  virtual std::unique_ptr<StreamHandlerError<T>> OnCancel(const T* arguments) = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_STREAM_HANDLER_H_
