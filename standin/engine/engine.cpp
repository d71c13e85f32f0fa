#include "standin/engine/engine.h"

#include <cstdio>

#include "standin/engine/engine_properties.h"

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

std::unique_ptr<StandinEngine> StandinEngine::Create(Engine* engine) {
  const EngineProperties& properties = engine->properties;
  auto transcript = std::make_shared<Transcript>(TranscriptPath(properties));
  const std::wstring resolved = ResolveAgainstExecutable(properties.assets_path);
  const bool exists = IsDirectory(resolved);
  JsonLine line = Describe(properties);
  line.AddWide("resolved_assets_path", resolved)
      .Add("assets_exists", exists)
      .Add("result", exists ? "created" : "null");
  transcript->Record("engine_properties", line);
  if (!exists) return nullptr;
  std::unique_ptr<StandinEngine> standin(new StandinEngine(engine, transcript));
  if (!standin->queue_.Attach()) return nullptr;
  return standin;
}

StandinEngine::StandinEngine(Engine* engine, std::shared_ptr<Transcript> transcript)
    : engine_(engine), transcript_(std::move(transcript)) {}

StandinEngine* StandinEngine::Of(Engine& engine) {
  return static_cast<StandinEngine*>(engine.attachment.get());
}

// The scripted Dart side registers no handlers of its own, so every reply it
// owes is the empty one, as an unhandled channel gets from a real engine.
bool StandinEngine::SendToDart(int64_t seq, const std::string& channel, const uint8_t* bytes,
                               size_t size, bool with_reply) {
  transcript_->Record("message", MessageFields("to_dart", seq, channel, bytes, size, with_reply));
  return queue_.Post([this, seq, channel, with_reply, copy = CopyBytes(bytes, size)] {
    transcript_->Record(
        "delivered", JsonLine().Add("direction", "to_dart").Add("seq", seq).Add("handled", true));
    if (receiver_ != nullptr) receiver_->OnMessage(channel, copy);
    if (with_reply) AnswerReply(engine_, seq, {});
  });
}

uint64_t StandinEngine::SendToNative(const std::string& channel,
                                     const std::vector<uint8_t>& bytes) {
  int64_t seq = 0;
  const uint64_t id = IssueResponse(engine_, channel, &seq);
  transcript_->Record("message",
                      MessageFields("to_native", seq, channel, bytes.data(), bytes.size(), true)
                          .Add("response_id", static_cast<int64_t>(id)));
  queue_.Post([this, seq, id, channel, bytes] {
    const bool handled = DeliverToNative(engine_, channel, bytes, id);
    transcript_->Record("delivered", JsonLine()
                                         .Add("direction", "to_native")
                                         .Add("seq", seq)
                                         .Add("handled", handled));
    // Nobody listens on the channel: the Dart side gets the empty response.
    if (!handled && receiver_ != nullptr) receiver_->OnResponse(id, {});
  });
  return id;
}

void StandinEngine::Respond(uint64_t id, const uint8_t* bytes, size_t size, const char* reason) {
  JsonLine fields;
  fields.Add("response_id", static_cast<int64_t>(id))
      .AddHex("hex", bytes, bytes != nullptr ? size : 0)
      .Add("size", static_cast<int64_t>(size))
      .Add("accepted", reason == nullptr);
  if (reason != nullptr) fields.Add("reason", reason);
  transcript_->Record("response", fields);
  if (reason != nullptr) return;
  queue_.Post([this, id, copy = CopyBytes(bytes, size)] {
    if (receiver_ != nullptr) receiver_->OnResponse(id, copy);
  });
}

void StandinEngine::Report(Problem kind, const char* function, const std::string& what) {
  transcript_->Record(kind == Problem::kAfterTeardown ? "after_teardown" : "misuse",
                      JsonLine().Add("call", function).Add("problem", what));
}

void StandinEngine::ReportShutdown(const Shutdown& shutdown) {
  const size_t undelivered = queue_.Stop();
  receiver_ = nullptr;
  std::string unanswered = "[";
  for (const Owed& entry : shutdown.unanswered) {
    if (unanswered.size() > 1) unanswered += ',';
    unanswered += JsonLine()
                      .Add("response_id", static_cast<int64_t>(entry.id))
                      .Add("seq", entry.seq)
                      .Add("channel", entry.channel)
                      .Finish();
  }
  unanswered += ']';
  transcript_->Record(
      "shutdown", JsonLine()
                      .Add("outstanding_messenger_refs", shutdown.references)
                      .AddRaw("unanswered", unanswered)
                      .Add("undelivered", static_cast<int64_t>(undelivered))
                      .Add("replies_at_teardown", static_cast<int64_t>(shutdown.replies_at_teardown)));
  if (shutdown.references != 0 || !shutdown.unanswered.empty()) {
    std::fprintf(stderr,
                 "flutter_windows (stand-in): engine destroyed with %lld outstanding messenger "
                 "references and %zu unanswered messages\n",
                 static_cast<long long>(shutdown.references), shutdown.unanswered.size());
    std::fflush(stderr);
  }
}

}  // namespace standin
