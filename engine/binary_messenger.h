// Byte messages on named channels between native code and the Dart side, and
// the one response owed to each incoming message. Channel classes talk to the
// engine only through this interface; BinaryMessengerImpl is the one
// implementation.
#ifndef RIVELO_ENGINE_BINARY_MESSENGER_H_
#define RIVELO_ENGINE_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one incoming message. A null pointer with count 0 is the empty
// response. Safe from any thread and after the engine has gone (the response
// is then dropped); only the first call through a reply (or any copy of it)
// sends anything.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Serves one channel on the platform thread. The message bytes are valid
// only during the call; the reply may be kept and answered later.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Safe from any thread. With a reply, it is called once with the Dart
  // side's response, or never if the engine refuses the message.
  virtual void Send(const std::string& channel, const uint8_t* message,
                    size_t message_size, BinaryReply reply = nullptr) const = 0;

  // Platform thread only. An empty handler unregisters the channel.
  virtual void SetMessageHandler(const std::string& channel,
                                 BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_BINARY_MESSENGER_H_
