// The callbacks registered for the channels of one messenger, and the
// delivery of a message to its channel's callback as the library makes it:
// the record's bytes are null for an empty message, and it carries the
// message's response handle.
// Owned by one engine; safe from any thread. Callbacks run outside its lock.
#ifndef RIVELO_STANDIN_BOOKS_CHANNEL_CALLBACKS_H_
#define RIVELO_STANDIN_BOOKS_CHANNEL_CALLBACKS_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/flutter_windows.h"

namespace standin {

class ChannelCallbacks {
 public:
  // A null callback unregisters the channel.
  void Set(const std::string& channel, FlutterDesktopMessageCallback callback, void* user_data);
  bool Has(const std::string& channel) const;
  // False, and nothing called, when no callback is registered for `channel`.
  bool Deliver(FlutterDesktopMessengerRef messenger, const std::string& channel,
               const std::vector<uint8_t>& bytes,
               const FlutterDesktopMessageResponseHandle* response_handle) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks_;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_BOOKS_CHANNEL_CALLBACKS_H_
