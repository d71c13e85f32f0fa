// The messenger handle the library hands out (FlutterDesktopMessengerRef).
//
// Reference-counted: the engine holds the first reference, every AddRef one
// more; the object deletes itself when the last is released, which may be
// long after the engine is gone. Lock takes a real (recursive) mutex; every
// call that reaches the engine holds it too, so Detach, which the engine calls
// while it is destroyed, waits for calls in flight and after it returns
// IsAvailable is false and calls are recorded as arriving after teardown.
// Its books (standin/books/messenger_books.h) also record a broken rule as a
// misuse: a release without a reference, an unlock by a thread that does not
// hold the lock, a response sent without holding it.
// All operations are safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_MESSENGER_H_
#define RIVELO_STANDIN_ENGINE_MESSENGER_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/flutter_windows.h"
#include "standin/books/messenger_books.h"
#include "standin/engine/transcript.h"

namespace standin {

class Engine;

class Messenger {
 public:
  Messenger(Engine* engine, std::shared_ptr<Transcript> transcript);
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  Messenger* AddRef();
  void Release();
  // The engine's own reference, released as the engine goes, after Detach.
  void ReleaseEngineReference();
  // References beyond the engine's own.
  int64_t outstanding_references() const { return books_.outstanding_references(); }

  void Lock() { books_.Lock(); }
  void Unlock();
  bool IsAvailable() const { return books_.attached(); }

  // Called by the engine as it goes; blocks until calls in flight are done.
  void Detach() { books_.Detach(); }

  bool Send(const char* channel, const uint8_t* message, size_t size,
            FlutterDesktopBinaryReply reply, void* user_data);
  void SetCallback(const char* channel, FlutterDesktopMessageCallback callback,
                   void* user_data);
  void SendResponse(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                    size_t size);

 private:
  ~Messenger();
  void Dropped(MessengerBooks::Release result);
  void RecordAfterTeardown(const char* call, const char* channel, size_t size);
  void RecordMisuse(const char* call, const char* problem);

  MessengerBooks books_;
  Engine* const engine_;
  std::shared_ptr<Transcript> transcript_;
  std::atomic<int64_t> after_teardown_events_{0};
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_MESSENGER_H_
