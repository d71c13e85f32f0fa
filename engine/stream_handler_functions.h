// A stream handler made of two callables, for callers that need no class of
// their own. Either callable may be empty; the matching call then answers
// with an error. Same ownership and threads as StreamHandler.
#ifndef RIVELO_ENGINE_STREAM_HANDLER_FUNCTIONS_H_
#define RIVELO_ENGINE_STREAM_HANDLER_FUNCTIONS_H_

#include <functional>
#include <memory>
#include <utility>

#include "engine/event_sink.h"
#include "engine/stream_handler.h"

namespace flutter {

template <typename T>
using StreamHandlerListen = std::function<std::unique_ptr<StreamHandlerError<T>>(
    const T* arguments, std::unique_ptr<EventSink<T>>&& events)>;

template <typename T>
using StreamHandlerCancel =
    std::function<std::unique_ptr<StreamHandlerError<T>>(const T* arguments)>;

template <typename T>
class StreamHandlerFunctions : public StreamHandler<T> {
 public:
  StreamHandlerFunctions(StreamHandlerListen<T> on_listen, StreamHandlerCancel<T> on_cancel)
      : on_listen_(std::move(on_listen)), on_cancel_(std::move(on_cancel)) {}

  std::unique_ptr<StreamHandlerError<T>> OnListen(
      const T* arguments, std::unique_ptr<EventSink<T>>&& events) override {
    if (!on_listen_) {
      return std::make_unique<StreamHandlerError<T>>("error", "No OnListen handler set",
                                                     nullptr);
    }
    return on_listen_(arguments, std::move(events));
  }

  std::unique_ptr<StreamHandlerError<T>> OnCancel(const T* arguments) override {
    if (!on_cancel_) {
      return std::make_unique<StreamHandlerError<T>>("error", "No OnCancel handler set",
                                                     nullptr);
    }
    return on_cancel_(arguments);
  }

 private:
  StreamHandlerListen<T> on_listen_;
  StreamHandlerCancel<T> on_cancel_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_STREAM_HANDLER_FUNCTIONS_H_
