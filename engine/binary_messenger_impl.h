// The binary messenger over the engine library's messenger functions. One per
// engine, created and owned by FlutterEngine for its whole life. It borrows
// the library's messenger handle without taking a reference; every incoming
// message takes its own reference for as long as its reply exists.
//
// Threads: Send from any thread; SetMessageHandler, delivery and destruction
// on the platform thread only (the handler table has no lock).
#ifndef RIVELO_ENGINE_BINARY_MESSENGER_IMPL_H_
#define RIVELO_ENGINE_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "engine/binary_messenger.h"
#include "engine/flutter_windows.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  // Destroys the handlers without unregistering them: the library's engine
  // is gone by the time its messenger wrapper is.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel,
                         BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // The library holds the address of each stored handler as user data, so
  // entries must never move: a node-based map keeps them in place, also
  // when a handler is replaced.
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace flutter

#endif  // RIVELO_ENGINE_BINARY_MESSENGER_IMPL_H_
