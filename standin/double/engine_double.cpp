#include "standin/double/engine_double.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace standin {
namespace {

struct World {
  std::mutex mutex;
  std::deque<std::unique_ptr<Engine>> engines;
  std::deque<std::unique_ptr<ViewController>> controllers;
  std::map<uint64_t, std::pair<Engine*, Owed>> owed;  // by response handle id
  uint64_t next_id = 1;

  bool Known(const FlutterDesktopMessenger* messenger) const {
    return messenger != nullptr &&
           std::any_of(engines.begin(), engines.end(),
                       [messenger](const auto& engine) { return &engine->messenger == messenger; });
  }
};

World& TheWorld() {
  static World* world = new World();
  return *world;
}

// Holds the library's lock (until Unlock) for one call of a function, whose
// name it hands to the Platform.
class Call {
 public:
  explicit Call(const char* function) : lock_(TheWorld().mutex), function_(function) {
    ThePlatform().OnCall(function);
  }
  World* operator->() { return &TheWorld(); }
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  void Report(Engine* engine, const std::string& what, Problem kind = Problem::kMisuse) {
    ThePlatform().OnProblem(engine, kind, function_, what);
  }
  // Null fails softly, unreported.
  bool Usable(Engine* engine) { return Usable(engine, engine); }
  bool Usable(ViewController* controller) {
    return Usable(controller, controller != nullptr ? controller->engine : nullptr);
  }
  void CheckBytes(Engine* engine, const uint8_t* bytes, size_t size) {
    if (bytes == nullptr && size != 0) {
      Report(engine, "with null bytes of size " + std::to_string(size));
    }
  }
  void AfterTeardown(FlutterDesktopMessenger* messenger) {
    Report(messenger->engine, "on a messenger whose engine was destroyed",
           Problem::kAfterTeardown);
  }

 private:
  template <typename Object>
  bool Usable(const Object* object, Engine* engine) {
    if (object != nullptr && object->destroyed) Report(engine, "on a destroyed object");
    return object != nullptr && !object->destroyed;
  }

  std::unique_lock<std::mutex> lock_;
  const char* function_;
};

void RunReply(const PendingReply& reply, const std::vector<uint8_t>& bytes) {
  reply.function(bytes.empty() ? nullptr : bytes.data(), bytes.size(), reply.user_data);
}

// The engine goes. Like the real library it first waits until no thread
// holds its messenger's lock; then nothing reaches it any more, and each
// pending reply gets the empty reply, as the contract promises one call.
void End(Call& call, Engine* engine) {
  engine->destroyed = true;
  call.Unlock();
  engine->messenger.books.Detach();
  call.Lock();
  engine->next_frame = nullptr;
  engine->messenger.callbacks.clear();
  const std::map<int64_t, PendingReply> replies = std::move(engine->replies);
  engine->replies.clear();
  for (const auto& entry : replies) {
    call.Unlock();
    RunReply(entry.second, {});
    call.Lock();
  }
  Shutdown shutdown{engine->messenger.books.outstanding_references(), {}};
  for (const auto& entry : call->owed) {
    if (entry.second.first == engine) shutdown.unanswered.push_back(entry.second.second);
  }
  ThePlatform().OnEngineDestroyed(*engine, shutdown);
}

bool Send(const char* function, FlutterDesktopMessengerRef messenger, const char* channel,
          const uint8_t* message, size_t size, FlutterDesktopBinaryReply reply,
          void* user_data) {
  if (messenger == nullptr || channel == nullptr) {
    Call(function).Report(nullptr, "without a messenger or a channel");
    return false;
  }
  bool accepted = false;
  // The messenger's lock is held throughout, so the engine cannot go while
  // the message is on its way.
  const bool attached = messenger->books.IfAttached([&] {
    Call call(function);
    call.CheckBytes(messenger->engine, message, size);
    Engine& engine = *messenger->engine;
    const int64_t seq = engine.next_seq_to_dart++;
    accepted = ThePlatform().OnSend(engine, seq, channel, message, size, reply != nullptr);
    if (accepted && reply != nullptr) engine.replies[seq] = {channel, reply, user_data};
  });
  if (!attached) {
    Call call(function);
    call.CheckBytes(messenger->engine, message, size);
    call.AfterTeardown(messenger);
  }
  return accepted;
}

}  // namespace

uint64_t IssueResponse(Engine* engine, const std::string& channel, int64_t* seq) {
  World& world = TheWorld();
  std::lock_guard<std::mutex> lock(world.mutex);
  *seq = engine->next_seq_to_native++;
  const uint64_t id = world.next_id++;
  world.owed[id] = {engine, Owed{id, *seq, channel}};
  return id;
}

bool DeliverToNative(Engine* engine, const std::string& channel,
                     const std::vector<uint8_t>& bytes, uint64_t id) {
  std::pair<FlutterDesktopMessageCallback, void*> callback{nullptr, nullptr};
  {
    World& world = TheWorld();
    std::lock_guard<std::mutex> lock(world.mutex);
    const auto found = engine->messenger.callbacks.find(channel);
    if (engine->destroyed || found == engine->messenger.callbacks.end()) {
      world.owed.erase(id);
      return false;
    }
    callback = found->second;
  }
  FlutterDesktopMessage message{};
  message.struct_size = sizeof message;
  message.channel = channel.c_str();
  message.message = bytes.empty() ? nullptr : bytes.data();
  message.message_size = bytes.size();
  message.response_handle =
      reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(static_cast<uintptr_t>(id));
  callback.first(&engine->messenger, &message, callback.second);
  return true;
}

bool AnswerReply(Engine* engine, int64_t seq, const std::vector<uint8_t>& bytes) {
  std::optional<PendingReply> reply;
  {
    std::lock_guard<std::mutex> lock(TheWorld().mutex);
    const auto found = engine->replies.find(seq);
    if (found == engine->replies.end()) return false;
    reply = found->second;
    engine->replies.erase(found);
  }
  RunReply(*reply, bytes);
  return true;
}

bool RunNextFrame(Engine* engine) {
  FlutterDesktopOnNextFrameCallback callback = nullptr;
  void* user_data = nullptr;
  {
    std::lock_guard<std::mutex> lock(TheWorld().mutex);
    callback = std::exchange(engine->next_frame, nullptr);
    user_data = engine->next_frame_user_data;
  }
  if (callback == nullptr) return false;
  callback(user_data);
  return true;
}

Engine* RegistrarEngine(FlutterDesktopPluginRegistrarRef registrar, bool* live) {
  World& world = TheWorld();
  std::lock_guard<std::mutex> lock(world.mutex);
  // Compared by address only: a stale or foreign handle is never read.
  for (const auto& engine : world.engines) {
    for (const auto& entry : engine->registrars) {
      *live = !engine->destroyed && &entry.second == registrar;
      if (*live) return engine.get();
    }
  }
  *live = false;
  return world.engines.empty() ? nullptr : world.engines.back().get();
}

std::unique_lock<std::mutex> LockBooks() { return std::unique_lock<std::mutex>(TheWorld().mutex); }

void Reset() {
  World& world = TheWorld();
  std::lock_guard<std::mutex> lock(world.mutex);
  world.controllers.clear();
  world.engines.clear();
  world.owed.clear();
  world.next_id = 1;
}

}  // namespace standin

using standin::Call;
using standin::ThePlatform;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  Call call(__func__);
  if (properties == nullptr) return nullptr;
  auto engine = std::make_unique<standin::Engine>();
  engine->properties = standin::EngineProperties::CopyFrom(*properties);
  engine->messenger.engine = engine.get();
  if (!ThePlatform().OnEngineCreate(*engine)) return nullptr;
  call->engines.push_back(std::move(engine));
  return call->engines.back().get();
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  Call call(__func__);
  return call.Usable(engine) ? &engine->messenger : nullptr;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Call call(__func__);
  if (!call.Usable(engine)) return false;
  if (engine->taken_over) {
    call.Report(engine, "on an engine a view controller took over");
    return false;
  }
  standin::End(call, engine);
  return true;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  Call call(__func__);
  if (!call.Usable(engine)) return nullptr;
  const std::string name = plugin_name != nullptr ? plugin_name : "";
  FlutterDesktopPluginRegistrar& registrar = engine->registrars[name];
  registrar.name = name;
  return &registrar;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Call call(__func__);
  if (call.Usable(engine)) ++engine->fonts_reloaded;
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  Call call(__func__);
  if (!call.Usable(engine)) return;
  ThePlatform().OnNextFrameCallbackSet(*engine);
  engine->next_frame = callback;
  engine->next_frame_user_data = user_data;
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int32_t width, int32_t height, FlutterDesktopEngineRef engine) {
  Call call(__func__);
  if (!call.Usable(engine)) return nullptr;
  if (engine->taken_over) {
    call.Report(engine, "with an engine already taken over");
    return nullptr;
  }
  engine->taken_over = true;
  auto controller = std::make_unique<standin::ViewController>();
  controller->engine = engine;
  if (!ThePlatform().OnViewControllerCreate(*controller, width, height)) {
    // The controller took the engine over, so its failure destroys it.
    standin::End(call, engine);
    return nullptr;
  }
  call->controllers.push_back(std::move(controller));
  return call->controllers.back().get();
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  Call call(__func__);
  return call.Usable(controller) ? &controller->view : nullptr;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  Call call(__func__);
  if (!call.Usable(controller)) return;
  controller->destroyed = true;
  // Destroying windows sends messages to the caller's window procedure,
  // which may call in here again.
  call.Unlock();
  ThePlatform().OnViewControllerDestroy(*controller);
  call.Lock();
  standin::End(call, controller->engine);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  Call call(__func__);
  if (call.Usable(controller)) ThePlatform().OnForceRedraw(*controller);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND, UINT message, WPARAM, LPARAM,
    LRESULT* result) {
  Call call(__func__);
  return call.Usable(controller) && ThePlatform().OnWindowMessage(*controller, message, result);
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Call call(__func__);
  return view != nullptr ? view->window : nullptr;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  return standin::Send(__func__, messenger, channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel, const uint8_t* message,
                                          size_t message_size, FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return standin::Send(__func__, messenger, channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  Call call(__func__);
  if (messenger == nullptr || channel == nullptr) {
    call.Report(nullptr, "without a messenger or a channel");
    return;
  }
  if (!messenger->books.attached()) {
    call.AfterTeardown(messenger);
    return;
  }
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
  ThePlatform().OnSetCallback(*messenger->engine, channel, callback != nullptr);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Report(nullptr, "on an unknown messenger");
    return;
  }
  if (!messenger->books.attached()) {
    call.AfterTeardown(messenger);
    return;
  }
  standin::Engine* engine = messenger->engine;
  call.CheckBytes(engine, data, data_length);
  if (!ThePlatform().MessengersAvailable()) {
    call.Report(engine, "while the messenger is unavailable");
  }
  if (!ThePlatform().NullLockTokens() && !messenger->books.HeldByThisThread()) {
    call.Report(engine, "from a thread that does not hold the messenger lock");
  }
  const uint64_t id = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
  const auto owed = call->owed.find(id);
  if (owed != call->owed.end() && owed->second.first == engine) {
    call->owed.erase(owed);
    ThePlatform().OnResponse(*engine, id, data, data_length);
  } else {
    call.Report(engine, std::string("on a response handle that is ") +
                            (id != 0 && id < call->next_id ? "consumed" : "unknown"));
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Report(nullptr, "on an unknown messenger");
    return nullptr;
  }
  messenger->books.AddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Report(nullptr, "on an unknown messenger");
    return;
  }
  if (!messenger->books.ReleaseReference()) call.Report(messenger->engine, "without a reference");
}

// The lock is a real one, taken outside the library's own: the thread that
// holds it may be waiting for the library.
FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  {
    Call call(__func__);
    if (!call->Known(messenger)) {
      call.Report(nullptr, "on an unknown messenger");
      return nullptr;
    }
    if (ThePlatform().NullLockTokens()) return nullptr;
  }
  messenger->books.Lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Report(nullptr, "with an unknown token");
  } else if (!messenger->books.Unlock()) {
    call.Report(messenger->engine, "from a thread that does not hold the lock");
  }
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  return call->Known(messenger) && messenger->books.attached() &&
         ThePlatform().MessengersAvailable();
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  Call call(__func__);
  return ThePlatform().Dpi(monitor);
}

void FlutterDesktopResyncOutputStreams(void) {
  Call call(__func__);
  ThePlatform().ResyncOutputStreams();
}

}  // extern "C"
