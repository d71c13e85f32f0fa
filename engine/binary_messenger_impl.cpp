#include "engine/binary_messenger_impl.h"

#include <atomic>
#include <iostream>
#include <memory>
#include <utility>

#include "encoding/console_line.h"

namespace flutter {
namespace {

// Holds the library's messenger lock for one scope. The library may hand out
// a null token, which means there is nothing to unlock.
class ScopedMessengerLock {
 public:
  explicit ScopedMessengerLock(FlutterDesktopMessengerRef messenger)
      : token_(FlutterDesktopMessengerLock(messenger)) {}
  ~ScopedMessengerLock() {
    if (token_ != nullptr) {
      FlutterDesktopMessengerUnlock(token_);
    }
  }
  ScopedMessengerLock(const ScopedMessengerLock&) = delete;
  ScopedMessengerLock& operator=(const ScopedMessengerLock&) = delete;

 private:
  FlutterDesktopMessengerRef token_;
};

// The response owed to one incoming message, shared by its reply and every
// copy of it. It keeps a messenger reference because a reply may be answered
// on any thread, long after delivery and after the engine has gone; the
// library's lock keeps the engine from going between the availability check
// and the response.
class PendingResponse {
 public:
  PendingResponse(FlutterDesktopMessengerRef messenger,
                  const FlutterDesktopMessageResponseHandle* handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)), handle_(handle) {}
  ~PendingResponse() { FlutterDesktopMessengerRelease(messenger_); }
  PendingResponse(const PendingResponse&) = delete;
  PendingResponse& operator=(const PendingResponse&) = delete;

  void Respond(const uint8_t* data, size_t size) {
    ScopedMessengerLock lock(messenger_);
    if (!FlutterDesktopMessengerIsAvailable(messenger_)) {
      return;
    }
    // The library consumes the handle: it must reach the library once only,
    // even when copies of one reply race on different threads.
    const FlutterDesktopMessageResponseHandle* handle = handle_.exchange(nullptr);
    if (handle == nullptr) {
      console_line::WriteLine(std::cerr,
                              "Error: Response can be set only once. Ignoring duplicate response.");
      return;
    }
    FlutterDesktopMessengerSendResponse(messenger_, handle, data, size);
  }

 private:
  FlutterDesktopMessengerRef messenger_;
  std::atomic<const FlutterDesktopMessageResponseHandle*> handle_;
};

void DeliverIncomingMessage(FlutterDesktopMessengerRef messenger,
                            const FlutterDesktopMessage* message, void* user_data) {
  auto response = std::make_shared<PendingResponse>(messenger, message->response_handle);
  BinaryReply reply = [response](const uint8_t* data, size_t size) {
    response->Respond(data, size);
  };
  const auto& handler = *static_cast<const BinaryMessageHandler*>(user_data);
  handler(message->message, message->message_size, std::move(reply));
}

// user_data is the heap copy of the sender's reply; the library calls this
// exactly once for every send it accepted.
void DeliverSendReply(const uint8_t* data, size_t size, void* user_data) {
  std::unique_ptr<BinaryReply> reply(static_cast<BinaryReply*>(user_data));
  (*reply)(data, size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto pending = std::make_unique<BinaryReply>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message,
                                           message_size, &DeliverSendReply,
                                           pending.get())) {
    static_cast<void>(pending.release());
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  BinaryMessageHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), &DeliverIncomingMessage,
                                     &stored);
}

}  // namespace flutter
