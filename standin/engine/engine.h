// The stand-in's side of one engine of the engine double: the script's
// options, the transcript, the platform thread's queue, and the scripted Dart
// side's end of the messenger.
//
// Made by the double's FlutterDesktopEngineCreate (through the Platform in
// platform.cpp) and kept beside the engine until the double forgets it;
// ReportShutdown, as the engine is destroyed, ends its deliveries. The
// platform thread is the thread that created the engine (rivelo creates its
// view controller there too): messages from native code (any thread) and from
// the Dart side are handed over there in send order. Everything else belongs
// to the platform thread, except the transcript, which any thread may write.
#ifndef RIVELO_STANDIN_ENGINE_ENGINE_H_
#define RIVELO_STANDIN_ENGINE_ENGINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/double/engine_double.h"
#include "standin/engine/platform_queue.h"
#include "standin/engine/script_options.h"
#include "standin/engine/transcript.h"

namespace standin {

// What the Dart side receives; called on the platform thread only.
class DartReceiver {
 public:
  virtual ~DartReceiver() = default;
  virtual void OnMessage(const std::string& channel, const std::vector<uint8_t>& bytes) = 0;
  virtual void OnResponse(uint64_t response_id, const std::vector<uint8_t>& bytes) = 0;
};

class StandinEngine : public Attachment {
 public:
  // Null when the engine's assets folder does not exist or its platform
  // thread cannot be set up; the engine_properties line is written either way.
  static std::unique_ptr<StandinEngine> Create(Engine* engine);
  static StandinEngine* Of(Engine& engine);

  Engine* engine() const { return engine_; }
  const ScriptOptions& options() const { return options_; }
  Transcript& transcript() { return transcript_; }
  int64_t fonts_reloaded() const { return engine_->fonts_reloaded; }
  PlatformQueue& queue() { return queue_; }
  void SetDartReceiver(DartReceiver* receiver) { receiver_ = receiver; }

  // Native side, any thread, under the double's lock.
  bool SendToDart(int64_t seq, const std::string& channel, const uint8_t* bytes, size_t size,
                  bool with_reply);
  void Respond(uint64_t id, const uint8_t* bytes, size_t size);
  void ReportShutdown(const Shutdown& shutdown);

  // Dart side: queues a message for native code; returns its response id.
  uint64_t SendToNative(const std::string& channel, const std::vector<uint8_t>& bytes);

 private:
  explicit StandinEngine(Engine* engine);

  Engine* const engine_;
  const ScriptOptions options_;
  Transcript transcript_;
  PlatformQueue queue_;
  DartReceiver* receiver_ = nullptr;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_ENGINE_H_
