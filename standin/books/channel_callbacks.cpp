#include "standin/books/channel_callbacks.h"

namespace standin {

void ChannelCallbacks::Set(const std::string& channel, FlutterDesktopMessageCallback callback,
                           void* user_data) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (callback == nullptr) {
    callbacks_.erase(channel);
  } else {
    callbacks_[channel] = {callback, user_data};
  }
}

bool ChannelCallbacks::Has(const std::string& channel) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return callbacks_.count(channel) != 0;
}

bool ChannelCallbacks::Deliver(FlutterDesktopMessengerRef messenger, const std::string& channel,
                               const std::vector<uint8_t>& bytes,
                               const FlutterDesktopMessageResponseHandle* response_handle) const {
  std::pair<FlutterDesktopMessageCallback, void*> callback{nullptr, nullptr};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = callbacks_.find(channel);
    if (found == callbacks_.end()) return false;
    callback = found->second;
  }
  FlutterDesktopMessage message{};
  message.struct_size = sizeof message;
  message.channel = channel.c_str();
  message.message = bytes.empty() ? nullptr : bytes.data();
  message.message_size = bytes.size();
  message.response_handle = response_handle;
  callback.first(messenger, &message, callback.second);
  return true;
}

void ChannelCallbacks::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  callbacks_.clear();
}

}  // namespace standin
