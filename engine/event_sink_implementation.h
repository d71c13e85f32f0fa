// The sink that an event channel hands out on each "listen": it encodes every
// event as an envelope and sends it on the channel without waiting for a
// reply. Its fields never change after construction and each call encodes
// into its own buffer, so it may be used from any thread, by several at once.
// It borrows the messenger and the codec: both must outlive it.
#ifndef RIVELO_ENGINE_EVENT_SINK_IMPLEMENTATION_H_
#define RIVELO_ENGINE_EVENT_SINK_IMPLEMENTATION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "encoding/method_codec.h"
#include "engine/binary_messenger.h"
#include "engine/event_sink.h"

namespace flutter {

template <typename T>
class EventSinkImplementation : public EventSink<T> {
 public:
  EventSinkImplementation(const BinaryMessenger* messenger, const std::string& name,
                          const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}

  using EventSink<T>::Success;

  void Success(const T* event = nullptr) override {
    SendEnvelope(*codec_->EncodeSuccessEnvelope(event));
  }

  void Error(const std::string& error_code, const std::string& error_message = "",
             const T* error_details = nullptr) override {
    SendEnvelope(*codec_->EncodeErrorEnvelope(error_code, error_message, error_details));
  }

  // The Dart side reads an empty message as the end of the stream.
  void EndOfStream() override { messenger_->Send(name_, nullptr, 0); }

 private:
  void SendEnvelope(const std::vector<uint8_t>& envelope) const {
    messenger_->Send(name_, envelope.data(), envelope.size());
  }

  const BinaryMessenger* const messenger_;
  const std::string name_;
  const MethodCodec<T>* const codec_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_EVENT_SINK_IMPLEMENTATION_H_
