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
  books_.AddRef();
  return this;
}

void Messenger::Release() {
  const MessengerBooks::Release result = books_.ReleaseReference();
  if (result == MessengerBooks::Release::kRefused) {
    RecordMisuse("release", "no reference taken by AddRef is left");
  }
  Dropped(result);
}

void Messenger::ReleaseEngineReference() { Dropped(books_.ReleaseEngineReference()); }

void Messenger::Dropped(MessengerBooks::Release result) {
  if (result == MessengerBooks::Release::kLast) delete this;
}

void Messenger::Unlock() {
  if (!books_.Unlock()) RecordMisuse("unlock", "the calling thread does not hold the lock");
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

void Messenger::RecordMisuse(const char* call, const char* problem) {
  transcript_->Record("misuse", JsonLine().Add("call", call).Add("problem", problem));
  std::fprintf(stderr, "flutter_windows (stand-in): %s: %s\n", call, problem);
  std::fflush(stderr);
}

bool Messenger::Send(const char* channel, const uint8_t* message, size_t size,
                     FlutterDesktopBinaryReply reply, void* user_data) {
  bool accepted = false;
  if (!books_.IfAttached(
          [&] { accepted = engine_->SendToDart(channel, message, size, reply, user_data); })) {
    RecordAfterTeardown(reply != nullptr ? "send_with_reply" : "send", channel, size);
  }
  return accepted;
}

void Messenger::SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                            void* user_data) {
  if (!books_.IfAttached([&] { engine_->SetCallback(channel, callback, user_data); })) {
    RecordAfterTeardown("set_callback", channel, 0);
  }
}

void Messenger::SendResponse(const FlutterDesktopMessageResponseHandle* handle,
                             const uint8_t* data, size_t size) {
  if (!books_.HeldByThisThread()) {
    RecordMisuse("send_response", "the calling thread does not hold the messenger lock");
  }
  if (!books_.IfAttached([&] { engine_->SendResponse(handle, data, size); })) {
    RecordAfterTeardown("send_response", nullptr, size);
  }
}

}  // namespace standin
