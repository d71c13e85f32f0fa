// The engine library's contract, implemented once: the 23 functions of
// engine/flutter_windows.h over engines, messengers, response handles, the
// channel table, plug-in registrars, next-frame callbacks and view
// controllers, with the books that hold every caller to the contract:
// - every AddRef has one Release, and no Release lacks its AddRef;
// - the messenger lock is unlocked by the thread that holds it, with its own
//   token, and a response is sent holding it;
// - every delivered message gets exactly one response, on a handle that is
//   neither consumed nor unknown, while the messenger is available;
// - nothing reaches a messenger whose engine is gone;
// - every engine and view controller is destroyed once, by the one who owns
//   it then, and no destroyed object is used;
// - no send or response has null bytes of a nonzero size;
// - every accepted send with reply is answered once (the engine's
//   destruction answers what is left with the empty reply).
// A broken rule is reported to the Platform; the call goes on where it can.
//
// Two programs link it, and each defines ThePlatform(): the unit tests'
// control layer (testing/fake_engine.h), which plays the Dart side on the
// calling thread, and the stand-in DLL (standin/engine), which adds windows,
// frames and delivery on its platform thread.
//
// Nothing is freed before Reset(), which only tests call: a handle used after
// its object was destroyed is a reported problem, not a crash.
//
// Threads: every function is safe from any thread. One lock guards the
// books; Platform hooks run under it and must not call back into the library.
// Callbacks of the library's callers always run outside it.
#ifndef RIVELO_STANDIN_DOUBLE_ENGINE_DOUBLE_H_
#define RIVELO_STANDIN_DOUBLE_ENGINE_DOUBLE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/flutter_windows.h"
#include "standin/double/messenger_books.h"
#include "standin/double/properties_copy.h"

namespace standin {

// What a Platform keeps beside an engine or a view controller.
struct Attachment {
  virtual ~Attachment() = default;
};

struct PendingReply {
  std::string channel;
  FlutterDesktopBinaryReply function;
  void* user_data;
};

// A response the library owes the Dart side.
struct Owed {
  uint64_t id;
  int64_t seq;
  std::string channel;
};

}  // namespace standin

struct FlutterDesktopPluginRegistrar {
  std::string name;
};

struct FlutterDesktopView {
  HWND window = nullptr;
};

struct FlutterDesktopMessenger {
  FlutterDesktopEngine* engine = nullptr;
  standin::MessengerBooks books;
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks;
};

struct FlutterDesktopEngine {
  standin::EngineProperties properties;
  FlutterDesktopMessenger messenger;
  bool destroyed = false;
  bool taken_over = false;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_user_data = nullptr;
  std::map<std::string, FlutterDesktopPluginRegistrar> registrars;
  int64_t fonts_reloaded = 0;
  int64_t next_seq_to_dart = 1;
  int64_t next_seq_to_native = 1;
  std::map<int64_t, standin::PendingReply> replies;  // by seq
  std::unique_ptr<standin::Attachment> attachment;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView view;
  bool destroyed = false;
  std::unique_ptr<standin::Attachment> attachment;
};

namespace standin {

using Engine = FlutterDesktopEngine;
using ViewController = FlutterDesktopViewController;

enum class Problem { kMisuse, kAfterTeardown };

// The engine's account as it goes.
struct Shutdown {
  int64_t references;  // taken by AddRef, not yet released
  std::vector<Owed> unanswered;
};

// What differs between the library's two users. Hooks run under the library's
// lock, on the calling thread.
class Platform {
 public:
  virtual ~Platform() = default;

  // Every function of the library, by name, before it acts.
  virtual void OnCall(const char* /*function*/) {}
  // False: FlutterDesktopEngineCreate returns null.
  virtual bool OnEngineCreate(Engine& engine) = 0;
  virtual void OnNextFrameCallbackSet(Engine&) {}
  // Makes the view; false fails the creation, which destroys the engine.
  virtual bool OnViewControllerCreate(ViewController&, int32_t width, int32_t height) = 0;
  virtual void OnForceRedraw(ViewController&) {}
  virtual bool OnWindowMessage(ViewController&, UINT message, LRESULT* result) = 0;
  // Before its engine goes; the one hook called outside the lock.
  virtual void OnViewControllerDestroy(ViewController&) {}
  // A message native code sent to the Dart side, numbered per engine from 1.
  // False refuses a send with reply. The Platform answers a reply with
  // AnswerReply once the Dart side has the message.
  virtual bool OnSend(Engine&, int64_t seq, const std::string& channel, const uint8_t* bytes,
                      size_t size, bool with_reply) = 0;
  virtual void OnSetCallback(Engine&, const std::string& /*channel*/, bool /*set*/) {}
  // An accepted response; a refused one is a problem.
  virtual void OnResponse(Engine&, uint64_t id, const uint8_t* bytes, size_t size) = 0;
  // `function` broke a rule, `what` says how; engine is null when the
  // handle named none the library knows.
  virtual void OnProblem(Engine* engine, Problem kind, const char* function,
                         const std::string& what) = 0;
  // After the engine is detached and its pending replies were answered.
  virtual void OnEngineDestroyed(Engine&, const Shutdown&) {}
  // True: Lock hands out null tokens and takes no lock.
  virtual bool NullLockTokens() { return false; }
  // False: IsAvailable says no also while the engine exists.
  virtual bool MessengersAvailable() { return true; }
  virtual UINT Dpi(HMONITOR) { return 96; }
  virtual void ResyncOutputStreams() {}
};

// Defined by the program that links the library.
Platform& ThePlatform();

// --- For the Platform's side ----------------------------------------------
// The Dart side sends `channel` a message: a new response handle for it.
uint64_t IssueResponse(Engine* engine, const std::string& channel, int64_t* seq);
// Hands the message to the channel's callback on the calling thread. False
// when no callback is registered or the engine is gone: the handle is then
// withdrawn and owes nothing.
bool DeliverToNative(Engine* engine, const std::string& channel,
                     const std::vector<uint8_t>& bytes, uint64_t id);
// The Dart side answers native code's send `seq`; false when it is not
// pending.
bool AnswerReply(Engine* engine, int64_t seq, const std::vector<uint8_t>& bytes);
// Runs and clears the engine's pending next-frame callback; false when none.
bool RunNextFrame(Engine* engine);
// The engine that handed out `registrar` (*live true), else the newest engine
// (*live false), or null when there is none.
Engine* RegistrarEngine(FlutterDesktopPluginRegistrarRef registrar, bool* live);
// The lock that guards every object's books, for reading them.
std::unique_lock<std::mutex> LockBooks();
// Forgets every object. No other thread may be inside the library.
void Reset();

}  // namespace standin

#endif  // RIVELO_STANDIN_DOUBLE_ENGINE_DOUBLE_H_
