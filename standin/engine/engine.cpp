#include "standin/engine/engine.h"

#include <cstdio>

#include "standin/engine/plugin_records.h"

namespace standin {
namespace {

std::vector<uint8_t> CopyBytes(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return std::vector<uint8_t>();
  return std::vector<uint8_t>(data, data + size);
}

JsonLine MessageFields(const char* direction, int64_t seq, const std::string& channel,
                       const uint8_t* data, size_t size, bool reply) {
  JsonLine fields;
  fields.Add("direction", direction)
      .Add("seq", seq)
      .Add("channel", channel)
      .Add("channel_hex", JsonLine::Hex(channel))
      .AddHex("hex", data, data != nullptr ? size : 0)
      .Add("size", static_cast<int64_t>(size))
      .Add("reply", reply);
  return fields;
}

}  // namespace

std::unique_ptr<Engine> Engine::Create(const FlutterDesktopEngineProperties* record) {
  if (record == nullptr) return nullptr;
  EngineProperties properties = EngineProperties::CopyFrom(*record);
  auto transcript = std::make_shared<Transcript>(TranscriptPath(properties));
  const std::wstring resolved = ResolveAgainstExecutable(properties.assets_path);
  const bool exists = IsDirectory(resolved);
  JsonLine line = Describe(properties);
  line.AddWide("resolved_assets_path", resolved)
      .Add("assets_exists", exists)
      .Add("result", exists ? "created" : "null");
  transcript->Record("engine_properties", line);
  if (!exists) return nullptr;
  NoteEngineTranscript(transcript);
  return std::unique_ptr<Engine>(new Engine(std::move(properties), std::move(transcript)));
}

Engine::Engine(EngineProperties properties, std::shared_ptr<Transcript> transcript)
    : properties_(std::move(properties)),
      transcript_(std::move(transcript)),
      messenger_(new Messenger(this, transcript_)) {}

Engine::~Engine() {
  messenger_->Detach();
  const size_t undelivered = queue_.Stop();
  receiver_ = nullptr;
  // A send with reply was promised exactly one reply: answer what the Dart
  // side never got to, before the engine goes.
  const std::vector<PendingReplies::Reply> replies = replies_.TakeAll();
  for (const PendingReplies::Reply& reply : replies) AnswerReply(*transcript_, reply, true);
  ReportShutdown(undelivered, replies.size());
  for (const auto& entry : registrars_) ForgetRegistrar(entry.second.get());
  messenger_->ReleaseEngineReference();
}

void Engine::ReportShutdown(size_t undelivered, size_t replies_at_teardown) {
  std::string unanswered = "[";
  const std::vector<ResponseLedger::Owed> owed = ledger_.Unanswered();
  for (const ResponseLedger::Owed& entry : owed) {
    if (unanswered.size() > 1) unanswered += ',';
    unanswered += JsonLine()
                      .Add("response_id", static_cast<int64_t>(entry.id))
                      .Add("seq", entry.seq)
                      .Add("channel", entry.channel)
                      .Finish();
  }
  unanswered += ']';
  const size_t unanswered_count = owed.size();
  const int64_t references = messenger_->outstanding_references();
  transcript_->Record("shutdown",
                      JsonLine()
                          .Add("outstanding_messenger_refs", references)
                          .AddRaw("unanswered", unanswered)
                          .Add("undelivered", static_cast<int64_t>(undelivered))
                          .Add("replies_at_teardown", static_cast<int64_t>(replies_at_teardown)));
  if (references != 0 || unanswered_count != 0) {
    std::fprintf(stderr,
                 "flutter_windows (stand-in): engine destroyed with %lld outstanding messenger "
                 "references and %zu unanswered messages\n",
                 static_cast<long long>(references), unanswered_count);
    std::fflush(stderr);
  }
}

Registrar* Engine::GetPluginRegistrar(const char* name) {
  const std::string key = name != nullptr ? name : "";
  std::unique_ptr<Registrar>& registrar = registrars_[key];
  if (!registrar) {
    registrar = std::make_unique<Registrar>(Registrar{key});
    RememberRegistrar(registrar.get(), key, transcript_);
  }
  char handle[32];
  std::snprintf(handle, sizeof handle, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(registrar.get())));
  transcript_->Record("registrar",
                      JsonLine().Add("name", key).Add("name_hex", JsonLine::Hex(key)).Add(
                          "handle", handle));
  return registrar.get();
}

void Engine::ReloadSystemFonts() {
  ++fonts_reloaded_;
  transcript_->Record("fonts_reloaded", JsonLine().Add("count", fonts_reloaded_));
}

void Engine::SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data) {
  transcript_->Record("next_frame_callback_set",
                      JsonLine().Add("replaced", next_frame_.function != nullptr));
  next_frame_ = NextFrame{callback, user_data};
}

bool Engine::RunNextFrameCallback() {
  if (next_frame_.function == nullptr) return false;
  const NextFrame pending = next_frame_;
  next_frame_ = NextFrame{nullptr, nullptr};
  pending.function(pending.user_data);
  return true;
}

bool Engine::AttachPlatformThread() {
  transcript_->SetPlatformThread(GetCurrentThreadId());
  return queue_.Attach();
}

bool Engine::SendToDart(const char* channel, const uint8_t* message, size_t size,
                        FlutterDesktopBinaryReply reply, void* user_data) {
  const std::string name = channel != nullptr ? channel : "";
  auto bytes = CopyBytes(message, size);
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t seq = next_seq_to_dart_++;
  transcript_->Record("message", MessageFields("to_dart", seq, name, message, size,
                                               reply != nullptr));
  if (reply != nullptr) replies_.Add({seq, name, reply, user_data});
  const bool queued = queue_.Post([this, seq, name, bytes = std::move(bytes)] {
    DeliverToDart(seq, name, bytes);
  });
  if (!queued) replies_.Take(seq);
  return queued;
}

void Engine::DeliverToDart(int64_t seq, const std::string& channel,
                           const std::vector<uint8_t>& bytes) {
  transcript_->Record("delivered",
                      JsonLine().Add("direction", "to_dart").Add("seq", seq).Add("handled", true));
  if (receiver_ != nullptr) receiver_->OnMessage(channel, bytes);
  if (const auto reply = replies_.Take(seq)) AnswerReply(*transcript_, *reply, false);
}

// The scripted Dart side registers no handlers of its own, so every reply it
// owes is the empty one, as an unhandled channel gets from a real engine.
void Engine::AnswerReply(Transcript& transcript, const PendingReplies::Reply& reply,
                         bool at_teardown) {
  transcript.Record("reply", JsonLine().Add("seq", reply.seq).Add("at_teardown", at_teardown));
  reply.Run(nullptr, 0);
}

void Engine::SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                         void* user_data) {
  const std::string name = channel != nullptr ? channel : "";
  transcript_->Record("set_callback",
                      JsonLine().Add("channel", name).Add("callback", callback != nullptr));
  callbacks_.Set(name, callback, user_data);
}

uint64_t Engine::SendToNative(const std::string& channel, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t seq = next_seq_to_native_++;
  const uint64_t response_id = ledger_.Issue(seq, channel);
  transcript_->Record("message",
                      MessageFields("to_native", seq, channel, bytes.data(), bytes.size(), true)
                          .Add("response_id", static_cast<int64_t>(response_id)));
  queue_.Post([this, seq, response_id, channel, bytes] {
    DeliverToNative(seq, response_id, channel, bytes);
  });
  return response_id;
}

void Engine::DeliverToNative(int64_t seq, uint64_t response_id, const std::string& channel,
                             const std::vector<uint8_t>& bytes) {
  const bool handled = callbacks_.Has(channel);
  transcript_->Record("delivered", JsonLine()
                                       .Add("direction", "to_native")
                                       .Add("seq", seq)
                                       .Add("handled", handled));
  if (!handled || !callbacks_.Deliver(reinterpret_cast<FlutterDesktopMessengerRef>(messenger_),
                                      channel, bytes, ResponseLedger::Handle(response_id))) {
    // Nobody listens on the channel: the Dart side gets the empty response.
    ledger_.Consume(response_id);
    PostResponse(response_id, nullptr, 0);
  }
}

void Engine::SendResponse(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                          size_t size) {
  const uint64_t response_id = ResponseLedger::Id(handle);
  const ResponseLedger::Answer answer = ledger_.Consume(response_id);
  JsonLine fields;
  fields.Add("response_id", static_cast<int64_t>(response_id))
      .AddHex("hex", data, data != nullptr ? size : 0)
      .Add("size", static_cast<int64_t>(size))
      .Add("accepted", answer == ResponseLedger::Answer::kAccepted);
  if (answer != ResponseLedger::Answer::kAccepted) {
    fields.Add("reason", ResponseLedger::Reason(answer));
  }
  transcript_->Record("response", fields);
  if (answer == ResponseLedger::Answer::kAccepted) PostResponse(response_id, data, size);
}

void Engine::PostResponse(uint64_t response_id, const uint8_t* data, size_t size) {
  queue_.Post([this, response_id, bytes = CopyBytes(data, size)] {
    if (receiver_ != nullptr) receiver_->OnResponse(response_id, bytes);
  });
}

}  // namespace standin
