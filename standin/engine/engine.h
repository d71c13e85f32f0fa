// The library's engine (FlutterDesktopEngineRef): the copied properties, the
// messenger, plug-in registrars, the channel callbacks, the response handles
// owed to the Dart side, and the queue to the platform thread.
//
// Created by FlutterDesktopEngineCreate; owned by the caller until a view
// controller takes it over, then by the view controller. Messages from native
// code (any thread, through the messenger, which holds its lock while it
// calls in here) are queued and handed to the Dart side on the platform
// thread in send order; messages from the Dart side are queued the same way
// and delivered to the registered callbacks there. Everything else belongs to
// the platform thread.
#ifndef RIVELO_STANDIN_ENGINE_ENGINE_H_
#define RIVELO_STANDIN_ENGINE_ENGINE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/flutter_windows.h"
#include "standin/books/channel_callbacks.h"
#include "standin/books/pending_replies.h"
#include "standin/books/response_ledger.h"
#include "standin/engine/engine_properties.h"
#include "standin/engine/messenger.h"
#include "standin/engine/platform_queue.h"
#include "standin/engine/transcript.h"

namespace standin {

// What the Dart side receives; called on the platform thread only.
class DartReceiver {
 public:
  virtual ~DartReceiver() = default;
  virtual void OnMessage(const std::string& channel, const std::vector<uint8_t>& bytes) = 0;
  virtual void OnResponse(uint64_t response_id, const std::vector<uint8_t>& bytes) = 0;
};

struct Registrar {
  std::string name;
};

class Engine {
 public:
  // Null when the record is null or its assets folder does not exist.
  static std::unique_ptr<Engine> Create(const FlutterDesktopEngineProperties* record);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Messenger* messenger() const { return messenger_; }
  const EngineProperties& properties() const { return properties_; }
  const std::shared_ptr<Transcript>& transcript() const { return transcript_; }
  int64_t fonts_reloaded() const { return fonts_reloaded_; }

  Registrar* GetPluginRegistrar(const char* name);
  void ReloadSystemFonts();
  void SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data);
  // Runs and clears the pending next-frame callback; false when none was set.
  bool RunNextFrameCallback();

  // Makes the calling thread the platform thread and starts deliveries.
  bool AttachPlatformThread();
  PlatformQueue& queue() { return queue_; }
  void SetDartReceiver(DartReceiver* receiver) { receiver_ = receiver; }

  // Native side, any thread, messenger lock held.
  bool SendToDart(const char* channel, const uint8_t* message, size_t size,
                  FlutterDesktopBinaryReply reply, void* user_data);
  void SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                   void* user_data);
  void SendResponse(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                    size_t size);

  // Dart side: queues a message for native code; returns its response id.
  uint64_t SendToNative(const std::string& channel, const std::vector<uint8_t>& bytes);

 private:
  struct NextFrame {
    FlutterDesktopOnNextFrameCallback function;
    void* user_data;
  };

  Engine(EngineProperties properties, std::shared_ptr<Transcript> transcript);
  void DeliverToDart(int64_t seq, const std::string& channel, const std::vector<uint8_t>& bytes);
  void DeliverToNative(int64_t seq, uint64_t response_id, const std::string& channel,
                       const std::vector<uint8_t>& bytes);
  // Hands the Dart side the response `response_id` was answered with.
  void PostResponse(uint64_t response_id, const uint8_t* data, size_t size);
  // The empty reply to `seq`, recorded first.
  static void AnswerReply(Transcript& transcript, const PendingReplies::Reply& reply,
                          bool at_teardown);
  void ReportShutdown(size_t undelivered, size_t replies_at_teardown);

  const EngineProperties properties_;
  const std::shared_ptr<Transcript> transcript_;
  Messenger* const messenger_;
  PlatformQueue queue_;
  DartReceiver* receiver_ = nullptr;

  std::map<std::string, std::unique_ptr<Registrar>> registrars_;
  int64_t fonts_reloaded_ = 0;
  NextFrame next_frame_{nullptr, nullptr};

  // Guards everything below: touched by senders on any thread.
  std::mutex mutex_;
  int64_t next_seq_to_dart_ = 1;
  int64_t next_seq_to_native_ = 1;

  // Each keeps its own lock.
  ChannelCallbacks callbacks_;
  ResponseLedger ledger_;
  PendingReplies replies_;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_ENGINE_H_
