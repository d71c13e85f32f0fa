// A stream of values from native code to the Dart side on one named channel.
// The Dart side opens the stream with the method call "listen" and closes it
// with "cancel"; the stream handler decides what happens, and after a
// successful "listen" its sink sends the events.
//
// The EventChannel object itself may be short-lived: the handler it installs
// on the messenger carries copies of everything it needs. The messenger and
// the codec are borrowed and must outlive the registration and every sink.
// Platform thread only (the messenger delivers there).
#ifndef RIVELO_ENGINE_EVENT_CHANNEL_H_
#define RIVELO_ENGINE_EVENT_CHANNEL_H_

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "encoding/console_line.h"
#include "encoding/method_call.h"
#include "encoding/method_codec.h"
#include "engine/binary_messenger.h"
#include "engine/event_sink.h"
#include "engine/event_sink_implementation.h"
#include "engine/stream_handler.h"

namespace flutter {

// The message handler that serves the "listen"/"cancel" protocol for one
// registration. The listening flag is the protocol's only state and belongs
// to this registration alone: a new registration starts not listening.
template <typename T>
class EventChannelHandler {
 public:
  EventChannelHandler(std::shared_ptr<StreamHandler<T>> stream_handler,
                      const MethodCodec<T>* codec, const std::string& name,
                      BinaryMessenger* messenger)
      : stream_handler_(std::move(stream_handler)),
        codec_(codec),
        name_(name),
        messenger_(messenger) {}

  // Answers every message exactly once, before returning.
  void operator()(const uint8_t* message, size_t message_size, BinaryReply reply) {
    std::unique_ptr<MethodCall<T>> call = codec_->DecodeMethodCall(message, message_size);
    if (!call) {
      console_line::WriteLine(std::cerr,
                              "Unable to construct method call from message on channel: ", name_);
      reply(nullptr, 0);
      return;
    }
    std::unique_ptr<std::vector<uint8_t>> response;
    if (call->method_name() == "listen") {
      response = Listen(call->arguments());
    } else if (call->method_name() == "cancel") {
      response = Cancel(call->arguments());
    } else {
      reply(nullptr, 0);
      return;
    }
    reply(response->data(), response->size());
  }

 private:
  std::unique_ptr<std::vector<uint8_t>> Listen(const T* arguments) {
    if (listening_) {
      // A second "listen" replaces the stream; a failure to stop the old one
      // must not keep the new one from starting.
      std::unique_ptr<StreamHandlerError<T>> error = stream_handler_->OnCancel(nullptr);
      if (error) {
        // No line end follows this text.
        console_line::WriteWhole(
            std::cerr, console_line::Format("Failed to cancel existing stream: ",
                                            error->error_code, ", ", error->error_message, ", ",
                                            static_cast<const void*>(error->error_details.get())));
      }
    }
    listening_ = true;
    std::unique_ptr<EventSink<T>> sink =
        std::make_unique<EventSinkImplementation<T>>(messenger_, name_, codec_);
    return Envelope(stream_handler_->OnListen(arguments, std::move(sink)));
  }

  std::unique_ptr<std::vector<uint8_t>> Cancel(const T* arguments) {
    if (!listening_) {
      return codec_->EncodeErrorEnvelope("error", "No active stream to cancel");
    }
    std::unique_ptr<StreamHandlerError<T>> error = stream_handler_->OnCancel(arguments);
    listening_ = false;
    return Envelope(std::move(error));
  }

  std::unique_ptr<std::vector<uint8_t>> Envelope(
      std::unique_ptr<StreamHandlerError<T>> error) const {
    if (!error) {
      return codec_->EncodeSuccessEnvelope();
    }
    return codec_->EncodeErrorEnvelope(error->error_code, error->error_message,
                                       error->error_details.get());
  }

  std::shared_ptr<StreamHandler<T>> stream_handler_;
  const MethodCodec<T>* codec_;
  std::string name_;
  BinaryMessenger* messenger_;
  bool listening_ = false;
};

template <typename T>
class EventChannel {
 public:
  EventChannel(BinaryMessenger* messenger, const std::string& name,
               const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}

  EventChannel(const EventChannel&) = delete;
  EventChannel& operator=(const EventChannel&) = delete;

  // Replaces the channel's registration; null unregisters the channel. The
  // stream handler lives as long as the registration.
  void SetStreamHandler(std::unique_ptr<StreamHandler<T>> handler) {
    if (!handler) {
      messenger_->SetMessageHandler(name_, nullptr);
      return;
    }
    std::shared_ptr<StreamHandler<T>> shared_handler = std::move(handler);
    messenger_->SetMessageHandler(
        name_, EventChannelHandler<T>(std::move(shared_handler), codec_, name_, messenger_));
  }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_EVENT_CHANNEL_H_
