#include "standin/engine/messenger.h"

#include <cstdio>

#include "standin/engine/engine.h"

namespace standin {

Messenger::Messenger(Engine* engine, std::shared_ptr<Transcript> transcript)
    : engine_(engine), transcript_(std::move(transcript)) {}

Messenger::~Messenger() {
  if (after_teardown_events_ > 0) {
    transcript_->Record("messenger_released",
                        JsonLine().Add("after_teardown_events",
                                       static_cast<int64_t>(after_teardown_events_)));
  }
}

Messenger* Messenger::AddRef() {
  references_.fetch_add(1, std::memory_order_relaxed);
  return this;
}

void Messenger::Release() {
  if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

int64_t Messenger::outstanding_references() const { return references_.load() - 1; }

void Messenger::Lock() { mutex_.lock(); }

void Messenger::Unlock() { mutex_.unlock(); }

bool Messenger::IsAvailable() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return engine_ != nullptr;
}

void Messenger::Detach() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  engine_ = nullptr;
}

void Messenger::RecordAfterTeardown(const char* call, const char* channel, size_t size) {
  ++after_teardown_events_;
  JsonLine fields;
  fields.Add("call", call);
  if (channel != nullptr) fields.Add("channel", channel);
  fields.Add("size", static_cast<int64_t>(size));
  transcript_->Record("after_teardown", fields);
  std::fprintf(stderr, "flutter_windows (stand-in): %s after the engine was destroyed\n", call);
  std::fflush(stderr);
}

bool Messenger::Send(const char* channel, const uint8_t* message, size_t size,
                     FlutterDesktopBinaryReply reply, void* user_data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (engine_ == nullptr) {
    RecordAfterTeardown(reply != nullptr ? "send_with_reply" : "send", channel, size);
    return false;
  }
  return engine_->SendToDart(channel, message, size, reply, user_data);
}

void Messenger::SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                            void* user_data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (engine_ == nullptr) {
    RecordAfterTeardown("set_callback", channel, 0);
    return;
  }
  engine_->SetCallback(channel, callback, user_data);
}

void Messenger::SendResponse(const FlutterDesktopMessageResponseHandle* handle,
                             const uint8_t* data, size_t size) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (engine_ == nullptr) {
    RecordAfterTeardown("send_response", nullptr, size);
    return;
  }
  engine_->SendResponse(handle, data, size);
}

}  // namespace standin
