#include "standin/engine/engine.h"

#include <cstdio>

#include "standin/engine/engine_properties.h"

namespace standin {
namespace {

std::vector<uint8_t> CopyBytes(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return std::vector<uint8_t>();
  return std::vector<uint8_t>(data, data + size);
}

Json MessageFields(const char* direction, int64_t seq, const std::string& channel,
                   const uint8_t* data, size_t size) {
  return {{"direction", direction},
          {"seq", seq},
          {"channel", channel},
          {"hex", Hex(data, data != nullptr ? size : 0)},
          {"size", size}};
}

}  // namespace

std::unique_ptr<StandinEngine> StandinEngine::Create(Engine* engine) {
  std::unique_ptr<StandinEngine> standin(new StandinEngine(engine));
  bool assets_exist = false;
  standin->transcript_.Record("engine_properties",
                              DescribeProperties(engine->properties, &assets_exist));
  for (const RejectedArgument& rejected : standin->options_.rejected) {
    standin->transcript_.Record("argument", {{"text", rejected.text}, {"reason", rejected.reason}});
  }
  if (!assets_exist || !standin->queue_.Attach()) return nullptr;
  return standin;
}

StandinEngine::StandinEngine(Engine* engine)
    : engine_(engine),
      options_(ScriptOptions::Parse(engine->properties.arguments)),
      transcript_(options_.transcript_path) {}

StandinEngine* StandinEngine::Of(Engine& engine) {
  return static_cast<StandinEngine*>(engine.attachment.get());
}

// The scripted Dart side registers no handlers of its own, so every reply it
// owes is the empty one, as an unhandled channel gets from a real engine.
bool StandinEngine::SendToDart(int64_t seq, const std::string& channel, const uint8_t* bytes,
                               size_t size, bool with_reply) {
  transcript_.Record("message", MessageFields("to_dart", seq, channel, bytes, size));
  return queue_.Post([this, seq, channel, with_reply, copy = CopyBytes(bytes, size)] {
    if (receiver_ != nullptr) receiver_->OnMessage(channel, copy);
    if (with_reply) AnswerReply(engine_, seq, {});
  });
}

uint64_t StandinEngine::SendToNative(const std::string& channel,
                                     const std::vector<uint8_t>& bytes) {
  int64_t seq = 0;
  const uint64_t id = IssueResponse(engine_, channel, &seq);
  Json fields = MessageFields("to_native", seq, channel, bytes.data(), bytes.size());
  fields["response_id"] = id;
  transcript_.Record("message", fields);
  queue_.Post([this, seq, id, channel, bytes] {
    const bool handled = DeliverToNative(engine_, channel, bytes, id);
    transcript_.Record("delivered", {{"seq", seq}, {"handled", handled}});
    // Nobody listens on the channel: the Dart side gets the empty response.
    if (!handled && receiver_ != nullptr) receiver_->OnResponse(id, {});
  });
  return id;
}

void StandinEngine::Respond(uint64_t id, const uint8_t* bytes, size_t size) {
  transcript_.Record("response",
                     {{"response_id", id}, {"hex", Hex(bytes, bytes != nullptr ? size : 0)}});
  queue_.Post([this, id, copy = CopyBytes(bytes, size)] {
    if (receiver_ != nullptr) receiver_->OnResponse(id, copy);
  });
}

void StandinEngine::ReportShutdown(const Shutdown& shutdown) {
  queue_.Stop();
  receiver_ = nullptr;
  Json unanswered = Json::array();
  for (const Owed& entry : shutdown.unanswered) {
    unanswered.push_back(
        Json{{"response_id", entry.id}, {"seq", entry.seq}, {"channel", entry.channel}});
  }
  transcript_.Record("shutdown", {{"outstanding_messenger_refs", shutdown.references},
                                  {"unanswered", unanswered}});
  if (shutdown.references != 0 || !shutdown.unanswered.empty()) {
    std::fprintf(stderr,
                 "flutter_windows (stand-in): engine destroyed with %lld outstanding messenger "
                 "references and %zu unanswered messages\n",
                 static_cast<long long>(shutdown.references), shutdown.unanswered.size());
    std::fflush(stderr);
  }
}

}  // namespace standin
