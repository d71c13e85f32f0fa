#include "testing/fake_engine.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "encoding/method_call.h"
#include "encoding/standard_method_codec.h"
#include "standin/books/channel_callbacks.h"
#include "standin/books/messenger_books.h"
#include "standin/books/pending_replies.h"
#include "standin/books/response_ledger.h"

// The library's opaque types, as the fake models them. Nothing is freed
// before Reset(), so a stale handle is recorded as a problem, not a crash.
struct FlutterDesktopMessenger {
  FlutterDesktopEngine* engine = nullptr;
  standin::MessengerBooks books;
  standin::ChannelCallbacks callbacks;
};

struct FlutterDesktopPluginRegistrar {};

struct FlutterDesktopEngine {
  bool destroyed = false;
  bool taken_over = false;
  FlutterDesktopMessenger messenger;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_user_data = nullptr;
  std::map<std::string, FlutterDesktopPluginRegistrar> registrars;
  standin::PendingReplies replies;
};

struct FlutterDesktopView {
  HWND window = nullptr;
};

struct FlutterDesktopViewController {
  bool destroyed = false;
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView view;
};

namespace fake_engine {
namespace {

using Bytes = std::vector<uint8_t>;

struct Delivery {
  std::string channel;
  std::optional<Bytes> response;
};

// Everything Reset() forgets: scripts, objects and records.
struct World {
  bool fail_engine_creation = false;
  bool fail_view_controller_creation = false;
  bool refuse_sends_with_reply = false;
  bool null_lock_tokens = false;
  bool messengers_available = true;
  std::optional<LRESULT> window_message_result;
  size_t expected_unanswered = 0;

  std::deque<std::unique_ptr<FlutterDesktopEngine>> engines;
  std::deque<std::unique_ptr<FlutterDesktopViewController>> controllers;
  standin::ResponseLedger ledger;
  std::vector<Delivery> deliveries;  // index: response handle id - 1

  std::vector<std::string> calls;
  std::vector<standin::EngineProperties> engine_creations;
  std::vector<std::pair<int32_t, int32_t>> controller_sizes;
  std::vector<SentMessage> sent;
  std::vector<std::string> problems;

  bool Known(const FlutterDesktopMessenger* messenger) const {
    return std::any_of(engines.begin(), engines.end(),
                       [messenger](const auto& engine) { return &engine->messenger == messenger; });
  }
};

struct State {
  std::mutex mutex;
  std::condition_variable sent_changed;
  std::unique_ptr<World> world = std::make_unique<World>();
};

State& GetState() {
  static State* state = new State();
  return *state;
}

// Holds the fake's lock (until Unlock) for one call of the library, whose
// name it records, or of the control API.
class Call {
 public:
  explicit Call(const char* function = nullptr)
      : lock_(GetState().mutex), world_(*GetState().world), function_(function) {
    if (function != nullptr) world_.calls.emplace_back(function);
  }
  World* operator->() { return &world_; }
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  void Problem(const std::string& what) {
    world_.problems.push_back(std::string(function_) + " " + what);
  }
  // An engine or a view controller.
  template <typename Object>
  bool Usable(const Object* object) {
    if (object != nullptr && object->destroyed) Problem("on a destroyed object");
    return object != nullptr && !object->destroyed;
  }
  // The library would read `size` bytes from a null pointer.
  void CheckBytes(const uint8_t* bytes, size_t size) {
    if (bytes == nullptr && size != 0) Problem("with null bytes of size " + std::to_string(size));
  }
  bool Attached(const FlutterDesktopMessenger* messenger) {
    if (messenger != nullptr && messenger->books.attached()) return true;
    Problem("on a messenger whose engine was destroyed");
    return false;
  }

 private:
  std::unique_lock<std::mutex> lock_;
  World& world_;
  const char* function_;
};

// A copy of one record, taken under the fake's lock.
template <typename Record>
Record Read(Record World::*record) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return (*GetState().world).*record;
}

Bytes CopyMessage(const uint8_t* message, size_t size) {
  return message == nullptr ? Bytes() : Bytes(message, message + size);
}

// The engine goes. Like the library, it waits until no thread holds its
// messenger's lock; then nothing reaches it any more, and its pending
// replies get the empty response (one call for every accepted send).
void End(Call& call, FlutterDesktopEngine* engine) {
  engine->destroyed = true;
  call.Unlock();
  engine->messenger.books.Detach();
  call.Lock();
  engine->next_frame = nullptr;
  engine->messenger.callbacks.Clear();
  call.Unlock();
  for (const standin::PendingReplies::Reply& reply : engine->replies.TakeAll()) {
    reply.Run(nullptr, 0);
  }
}

bool Send(const char* function, FlutterDesktopMessengerRef messenger, const char* channel,
          const uint8_t* message, size_t size, FlutterDesktopBinaryReply reply,
          void* user_data) {
  bool accepted = false;
  {
    Call call(function);
    call.CheckBytes(message, size);
    call->sent.push_back({channel, CopyMessage(message, size), message == nullptr,
                          reply != nullptr, std::this_thread::get_id()});
    accepted = call.Attached(messenger) &&
               (reply == nullptr || !call->refuse_sends_with_reply);
    if (accepted && reply != nullptr) {
      messenger->engine->replies.Add(
          {static_cast<int64_t>(call->sent.size()), channel, reply, user_data});
    }
  }
  GetState().sent_changed.notify_all();
  return accepted;
}

}  // namespace

FakeEngine& FakeEngine::Get() {
  static FakeEngine* fake = new FakeEngine();
  return *fake;
}

void FakeEngine::Reset() {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().world = std::make_unique<World>();
}

void FakeEngine::FailEngineCreation() { Call()->fail_engine_creation = true; }
void FakeEngine::FailViewControllerCreation() {
  Call()->fail_view_controller_creation = true;
}
void FakeEngine::RefuseSendsWithReply() { Call()->refuse_sends_with_reply = true; }
void FakeEngine::ReturnNullLockTokens() { Call()->null_lock_tokens = true; }
void FakeEngine::ClaimWindowMessages(LRESULT result) {
  Call()->window_message_result = result;
}
void FakeEngine::SetMessengersAvailable(bool available) {
  Call()->messengers_available = available;
}
void FakeEngine::ExpectUnansweredResponses(size_t count) {
  Call()->expected_unanswered = count;
}

std::optional<Bytes> FakeEngine::Deliver(const std::string& channel, const Bytes& message) {
  FlutterDesktopMessenger* messenger = nullptr;
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(GetState().mutex);
    World& world = *GetState().world;
    for (auto it = world.engines.rbegin(); it != world.engines.rend() && !messenger; ++it) {
      if ((*it)->messenger.callbacks.Has(channel)) messenger = &(*it)->messenger;
    }
    if (messenger == nullptr) return std::nullopt;
    world.deliveries.push_back({channel, std::nullopt});
    id = world.ledger.Issue(static_cast<int64_t>(world.deliveries.size()), channel);
  }
  messenger->callbacks.Deliver(messenger, channel, message, standin::ResponseLedger::Handle(id));
  return ResponseTo(id - 1);
}

std::optional<Bytes> FakeEngine::DeliverMethodCall(
    const std::string& channel, const std::string& method,
    std::unique_ptr<flutter::EncodableValue> arguments) {
  flutter::MethodCall<flutter::EncodableValue> call(method, std::move(arguments));
  return Deliver(channel, *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call));
}

std::optional<Bytes> FakeEngine::ResponseTo(size_t delivery_index) const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  const std::vector<Delivery>& deliveries = GetState().world->deliveries;
  return delivery_index < deliveries.size() ? deliveries[delivery_index].response : std::nullopt;
}

bool FakeEngine::RenderFrame() {
  FlutterDesktopOnNextFrameCallback callback = nullptr;
  void* user_data = nullptr;
  {
    std::lock_guard<std::mutex> lock(GetState().mutex);
    World& world = *GetState().world;
    for (auto it = world.engines.rbegin(); it != world.engines.rend() && !callback; ++it) {
      callback = std::exchange((*it)->next_frame, nullptr);
      user_data = (*it)->next_frame_user_data;
    }
  }
  if (callback == nullptr) return false;
  callback(user_data);
  return true;
}

bool FakeEngine::AnswerSendWithReply(const std::string& channel, const Bytes& response) {
  std::optional<standin::PendingReplies::Reply> reply;
  {
    std::lock_guard<std::mutex> lock(GetState().mutex);
    for (const auto& engine : GetState().world->engines) {
      if (!reply) reply = engine->replies.TakeOldest(channel);
    }
  }
  if (reply) reply->Run(response.empty() ? nullptr : response.data(), response.size());
  return reply.has_value();
}

std::vector<std::string> FakeEngine::Calls() const { return Read(&World::calls); }

size_t FakeEngine::CallCount(const std::string& function) const {
  const std::vector<std::string> calls = Calls();
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), function));
}

std::vector<standin::EngineProperties> FakeEngine::EngineCreations() const {
  return Read(&World::engine_creations);
}

std::vector<std::pair<int32_t, int32_t>> FakeEngine::ViewControllerSizes() const {
  return Read(&World::controller_sizes);
}

std::vector<SentMessage> FakeEngine::Sent() const { return Read(&World::sent); }

std::vector<Bytes> FakeEngine::SentOn(const std::string& channel) const {
  std::vector<Bytes> messages;
  for (const SentMessage& sent : Sent()) {
    if (sent.channel == channel) messages.push_back(sent.bytes);
  }
  return messages;
}

bool FakeEngine::WaitForSentOn(const std::string& channel, size_t count,
                               std::chrono::milliseconds timeout) const {
  State& state = GetState();
  std::unique_lock<std::mutex> lock(state.mutex);
  return state.sent_changed.wait_for(lock, timeout, [&state, &channel, count] {
    const std::vector<SentMessage>& sent = state.world->sent;
    return static_cast<size_t>(std::count_if(sent.begin(), sent.end(), [&channel](
                                   const SentMessage& m) { return m.channel == channel; })) >=
           count;
  });
}

int64_t FakeEngine::OutstandingMessengerReferences() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  int64_t total = 0;
  for (const auto& engine : GetState().world->engines) {
    total += engine->messenger.books.outstanding_references();
  }
  return total;
}

std::vector<std::string> FakeEngine::Problems() const {
  const int64_t references = OutstandingMessengerReferences();
  std::lock_guard<std::mutex> lock(GetState().mutex);
  const World& world = *GetState().world;
  std::vector<std::string> problems = world.problems;
  if (references != 0) {
    problems.push_back("messenger references still held: " + std::to_string(references));
  }
  for (const auto& engine : world.engines) {
    if (engine->messenger.books.held()) problems.push_back("messenger lock still held");
    if (!engine->destroyed) problems.push_back("engine never destroyed");
  }
  for (const auto& controller : world.controllers) {
    if (!controller->destroyed) problems.push_back("view controller never destroyed");
  }
  const size_t unanswered = world.ledger.Unanswered().size();
  if (unanswered != world.expected_unanswered) {
    problems.push_back("unanswered messages: " + std::to_string(unanswered) + ", expected " +
                       std::to_string(world.expected_unanswered));
  }
  for (const auto& engine : world.engines) {
    if (engine->replies.size() != 0) problems.push_back("send with reply never answered");
  }
  return problems;
}

FlutterDesktopEngineRef CreateEngine() {
  FlutterDesktopEngineProperties properties{};
  properties.dart_entrypoint = "";
  return FlutterDesktopEngineCreate(&properties);
}

FakeEngineTest::FakeEngineTest() { FakeEngine::Get().Reset(); }

// Runs after the derived fixture's members are gone, so objects held there
// have released what they took.
FakeEngineTest::~FakeEngineTest() {
  for (const std::string& problem : FakeEngine::Get().Problems()) {
    ADD_FAILURE() << "fake engine library: " << problem;
  }
}

}  // namespace fake_engine

using fake_engine::Call;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  Call call(__func__);
  call->engine_creations.push_back(standin::EngineProperties::CopyFrom(*properties));
  if (call->fail_engine_creation) return nullptr;
  call->engines.push_back(std::make_unique<FlutterDesktopEngine>());
  call->engines.back()->messenger.engine = call->engines.back().get();
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
    call.Problem("on an engine a view controller took over");
    return false;
  }
  fake_engine::End(call, engine);
  return true;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  Call call(__func__);
  if (!call.Usable(engine)) return nullptr;
  return &engine->registrars[plugin_name];
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Call(__func__).Usable(engine);
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  Call call(__func__);
  if (call.Usable(engine)) {
    engine->next_frame = callback;
    engine->next_frame_user_data = user_data;
  }
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int32_t width, int32_t height, FlutterDesktopEngineRef engine) {
  Call call(__func__);
  call->controller_sizes.emplace_back(width, height);
  if (!call.Usable(engine)) return nullptr;
  if (engine->taken_over) {
    call.Problem("with an engine already taken over");
    return nullptr;
  }
  engine->taken_over = true;
  if (call->fail_view_controller_creation) {
    // The controller took the engine over, so its failure destroys it.
    fake_engine::End(call, engine);
    return nullptr;
  }
  call->controllers.push_back(std::make_unique<FlutterDesktopViewController>());
  FlutterDesktopViewController* controller = call->controllers.back().get();
  controller->engine = engine;
  // A distinct value per view that is not a real window.
  controller->view.window = reinterpret_cast<HWND>(&controller->view);
  return controller;
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
  fake_engine::End(call, controller->engine);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  Call(__func__).Usable(controller);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND, UINT, WPARAM, LPARAM, LRESULT* result) {
  Call call(__func__);
  if (!call.Usable(controller) || !call->window_message_result) return false;
  *result = *call->window_message_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Call call(__func__);
  return view != nullptr ? view->window : nullptr;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  return fake_engine::Send(__func__, messenger, channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel, const uint8_t* message,
                                          size_t message_size, FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return fake_engine::Send(__func__, messenger, channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  Call call(__func__);
  if (call.Attached(messenger)) {
    messenger->callbacks.Set(channel, callback, user_data);
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  Call call(__func__);
  call.CheckBytes(data, data_length);
  if (!call.Attached(messenger)) return;
  if (!call->messengers_available) call.Problem("while the messenger is unavailable");
  if (!call->null_lock_tokens && !messenger->books.HeldByThisThread()) {
    call.Problem("from a thread that does not hold the messenger lock");
  }
  const uint64_t id = standin::ResponseLedger::Id(handle);
  const standin::ResponseLedger::Answer answer = call->ledger.Consume(id);
  if (answer == standin::ResponseLedger::Answer::kAccepted) {
    call->deliveries[id - 1].response = fake_engine::CopyMessage(data, data_length);
  } else if (answer == standin::ResponseLedger::Answer::kConsumed) {
    call.Problem("on a consumed handle (channel " + call->deliveries[id - 1].channel + ")");
  } else {
    call.Problem("with an unknown response handle");
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Problem("on an unknown messenger");
    return nullptr;
  }
  messenger->books.AddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger) ||
      messenger->books.ReleaseReference() == standin::MessengerBooks::Release::kRefused) {
    call.Problem("without a reference");
  }
}

// The lock is a real one, taken outside the fake's own lock: another thread
// that holds it may be waiting for the fake.
FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (Call(__func__)->null_lock_tokens) return nullptr;
  messenger->books.Lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  if (!call->Known(messenger)) {
    call.Problem("with an unknown token");
  } else if (!messenger->books.Unlock()) {
    call.Problem("from a thread that does not hold the lock");
  }
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  Call call(__func__);
  return messenger != nullptr && messenger->books.attached() && call->messengers_available;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR) {
  Call call(__func__);
  return 96;
}

void FlutterDesktopResyncOutputStreams(void) { Call call(__func__); }

}  // extern "C"

#if defined(_WIN32)
// Product code declares these functions dllimport and so calls them through
// import-table slots named __imp_<function>. A real import library provides
// those slots; this static fake provides them itself.
#define RIVELO_FAKE_IMPORT_SLOT(function)                   \
  extern "C" {                                              \
  extern decltype(&function) const __imp_##function;        \
  decltype(&function) const __imp_##function = &function;   \
  }
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineCreate)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineGetMessenger)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineDestroy)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineGetPluginRegistrar)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineReloadSystemFonts)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopEngineSetNextFrameCallback)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewControllerCreate)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewControllerGetView)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewControllerDestroy)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewControllerForceRedraw)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewControllerHandleTopLevelWindowProc)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopViewGetHWND)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerSend)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerSendWithReply)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerSetCallback)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerSendResponse)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerAddRef)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerRelease)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerLock)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerUnlock)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopMessengerIsAvailable)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopGetDpiForMonitor)
RIVELO_FAKE_IMPORT_SLOT(FlutterDesktopResyncOutputStreams)
#undef RIVELO_FAKE_IMPORT_SLOT
#endif
