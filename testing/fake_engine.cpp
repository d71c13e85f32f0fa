#include "testing/fake_engine.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "encoding/method_call.h"
#include "encoding/standard_method_codec.h"
#include "standin/double/engine_double.h"

namespace fake_engine {
namespace {

using Bytes = std::vector<uint8_t>;

// Scripts and records; Reset() forgets them.
struct World {
  bool fail_engine_creation = false;
  bool fail_view_controller_creation = false;
  bool refuse_sends_with_reply = false;
  bool null_lock_tokens = false;
  bool messengers_available = true;
  std::optional<LRESULT> window_message_result;
  size_t expected_unanswered = 0;

  std::vector<std::string> calls;
  std::vector<standin::EngineProperties> engine_creations;
  std::vector<std::pair<int32_t, int32_t>> controller_sizes;
  std::vector<SentMessage> sent;
  std::map<uint64_t, Bytes> responses;  // by response handle id
  std::vector<std::string> problems;
  std::vector<standin::Engine*> engines;  // in creation order
  std::vector<standin::ViewController*> controllers;
  size_t unanswered = 0;  // by engines already destroyed
};

// The double calls in under its own lock; tests read from any thread.
class Recorder : public standin::Platform {
 public:
  std::mutex mutex;
  std::condition_variable sent_changed;
  World state;

  void OnCall(const char* function) override { Locked()->calls.emplace_back(function); }
  bool OnEngineCreate(standin::Engine& engine) override {
    Locked world;
    world->engine_creations.push_back(engine.properties);
    if (world->fail_engine_creation) return false;
    world->engines.push_back(&engine);
    return true;
  }
  bool OnViewControllerCreate(standin::ViewController& controller, int32_t width,
                              int32_t height) override {
    Locked world;
    world->controller_sizes.emplace_back(width, height);
    // A distinct value per view that is not a real window.
    controller.view.window = reinterpret_cast<HWND>(&controller.view);
    if (world->fail_view_controller_creation) return false;
    world->controllers.push_back(&controller);
    return true;
  }
  bool OnWindowMessage(standin::ViewController&, UINT, LRESULT* result) override {
    Locked world;
    if (!world->window_message_result) return false;
    *result = *world->window_message_result;
    return true;
  }
  bool OnSend(standin::Engine&, int64_t, const std::string& channel, const uint8_t* bytes,
              size_t size, bool with_reply) override {
    bool accepted = false;
    {
      Locked world;
      world->sent.push_back({channel, bytes == nullptr ? Bytes() : Bytes(bytes, bytes + size),
                             bytes == nullptr, with_reply, std::this_thread::get_id()});
      accepted = !with_reply || !world->refuse_sends_with_reply;
    }
    sent_changed.notify_all();
    return accepted;
  }
  void OnResponse(standin::Engine&, uint64_t id, const uint8_t* bytes, size_t size) override {
    Locked()->responses[id] = bytes == nullptr ? Bytes() : Bytes(bytes, bytes + size);
  }
  void OnProblem(standin::Engine*, standin::Problem, const char* function,
                 const std::string& what) override {
    Locked()->problems.push_back(std::string(function) + " " + what);
  }
  void OnEngineDestroyed(standin::Engine&, const standin::Shutdown& shutdown) override {
    Locked()->unanswered += shutdown.unanswered.size();
  }
  bool NullLockTokens() override { return Locked()->null_lock_tokens; }
  bool MessengersAvailable() override { return Locked()->messengers_available; }

  // The records, held under the recorder's lock for one statement or scope.
  class Locked {
   public:
    Locked() : lock_(Get().mutex) {}
    World* operator->() { return &Get().state; }
    World& operator*() { return Get().state; }

   private:
    std::unique_lock<std::mutex> lock_;
  };
  static Recorder& Get() {
    static Recorder* recorder = new Recorder();
    return *recorder;
  }
};

using Locked = Recorder::Locked;

// A copy of one record, taken under the recorder's lock.
template <typename Record>
Record Read(Record World::*record) {
  return (*Locked()).*record;
}

}  // namespace

FakeEngine& FakeEngine::Get() {
  static FakeEngine* fake = new FakeEngine();
  return *fake;
}

void FakeEngine::Reset() {
  standin::Reset();
  *Locked() = World();
}

void FakeEngine::FailEngineCreation() { Locked()->fail_engine_creation = true; }
void FakeEngine::FailViewControllerCreation() { Locked()->fail_view_controller_creation = true; }
void FakeEngine::RefuseSendsWithReply() { Locked()->refuse_sends_with_reply = true; }
void FakeEngine::ReturnNullLockTokens() { Locked()->null_lock_tokens = true; }
void FakeEngine::ClaimWindowMessages(LRESULT result) { Locked()->window_message_result = result; }
void FakeEngine::SetMessengersAvailable(bool available) {
  Locked()->messengers_available = available;
}
void FakeEngine::ExpectUnansweredResponses(size_t count) { Locked()->expected_unanswered = count; }

// The engines, newest first when `newest_first`; the books' lock is held
// while `visit` runs, and a true result stops the walk.
template <typename Visit>
void VisitEngines(bool newest_first, Visit visit) {
  std::vector<standin::Engine*> engines = Read(&World::engines);
  if (newest_first) std::reverse(engines.begin(), engines.end());
  const std::unique_lock<std::mutex> books = standin::LockBooks();
  for (standin::Engine* engine : engines) {
    if (visit(*engine)) return;
  }
}

namespace {

// The newest live engine with a callback for channel, or null.
standin::Engine* Listening(const std::string& channel) {
  standin::Engine* listening = nullptr;
  VisitEngines(true, [&](standin::Engine& engine) {
    if (!engine.destroyed && engine.messenger.callbacks.count(channel) != 0) listening = &engine;
    return listening != nullptr;
  });
  return listening;
}

}  // namespace

std::optional<Bytes> FakeEngine::Deliver(const std::string& channel, const Bytes& message) {
  standin::Engine* listening = Listening(channel);
  if (listening == nullptr) return std::nullopt;
  int64_t seq = 0;
  const uint64_t id = standin::IssueResponse(listening, channel, &seq);
  if (!standin::DeliverToNative(listening, channel, message, id)) return std::nullopt;
  return ResponseTo(id - 1);
}

void FakeEngine::DeliverWithoutResponseHandle(const std::string& channel, const Bytes& message) {
  standin::Engine* listening = Listening(channel);
  if (listening != nullptr) standin::DeliverToNative(listening, channel, message, 0);
}

std::optional<Bytes> FakeEngine::DeliverMethodCall(
    const std::string& channel, const std::string& method,
    std::unique_ptr<flutter::EncodableValue> arguments) {
  flutter::MethodCall<flutter::EncodableValue> call(method, std::move(arguments));
  return Deliver(channel, *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call));
}

// Only Deliver issues response handles here, numbered from 1.
std::optional<Bytes> FakeEngine::ResponseTo(size_t delivery_index) const {
  Locked world;
  const auto found = world->responses.find(delivery_index + 1);
  return found != world->responses.end() ? std::optional<Bytes>(found->second) : std::nullopt;
}

bool FakeEngine::RenderFrame() {
  standin::Engine* drawn = nullptr;
  VisitEngines(true, [&drawn](standin::Engine& engine) {
    if (engine.next_frame != nullptr) drawn = &engine;
    return drawn != nullptr;
  });
  return drawn != nullptr && standin::RunNextFrame(drawn);
}

bool FakeEngine::AnswerSendWithReply(const std::string& channel, const Bytes& response) {
  standin::Engine* sender = nullptr;
  int64_t seq = 0;
  VisitEngines(false, [&](standin::Engine& engine) {
    for (const auto& entry : engine.replies) {
      if (entry.second.channel != channel) continue;
      sender = &engine;
      seq = entry.first;
      return true;
    }
    return false;
  });
  return sender != nullptr && standin::AnswerReply(sender, seq, response);
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
  Recorder& recorder = Recorder::Get();
  std::unique_lock<std::mutex> lock(recorder.mutex);
  return recorder.sent_changed.wait_for(lock, timeout, [&recorder, &channel, count] {
    const std::vector<SentMessage>& sent = recorder.state.sent;
    return static_cast<size_t>(std::count_if(sent.begin(), sent.end(), [&channel](
                                   const SentMessage& m) { return m.channel == channel; })) >=
           count;
  });
}

void* FakeEngine::RegisteredUserData(const std::string& channel) const {
  void* user_data = nullptr;
  VisitEngines(true, [&](standin::Engine& engine) {
    const auto& callbacks = engine.messenger.callbacks;
    if (!engine.destroyed && callbacks.count(channel) != 0) user_data = callbacks.at(channel).second;
    return user_data != nullptr;
  });
  return user_data;
}

int64_t FakeEngine::OutstandingMessengerReferences() const {
  int64_t references = 0;
  VisitEngines(false, [&references](standin::Engine& engine) {
    references += engine.messenger.books.outstanding_references();
    return false;
  });
  return references;
}

std::vector<std::string> FakeEngine::Problems() const {
  size_t locks_held = 0;
  size_t engines_alive = 0;
  size_t replies_pending = 0;
  VisitEngines(false, [&](standin::Engine& engine) {
    locks_held += engine.messenger.books.held() ? 1 : 0;
    engines_alive += engine.destroyed ? 0 : 1;
    replies_pending += engine.replies.size();
    return false;
  });
  size_t controllers_alive = 0;
  const std::vector<standin::ViewController*> controllers = Read(&World::controllers);
  {
    const std::unique_lock<std::mutex> books = standin::LockBooks();
    for (const standin::ViewController* controller : controllers) {
      controllers_alive += controller->destroyed ? 0 : 1;
    }
  }
  const int64_t references = OutstandingMessengerReferences();
  Locked world;
  std::vector<std::string> problems = world->problems;
  const auto open = [&problems](size_t count, const std::string& what) {
    if (count != 0) problems.push_back(what + ": " + std::to_string(count));
  };
  open(static_cast<size_t>(references), "messenger references still held");
  open(locks_held, "messenger locks still held");
  open(engines_alive, "engines never destroyed");
  open(controllers_alive, "view controllers never destroyed");
  if (world->unanswered != world->expected_unanswered) {
    problems.push_back("unanswered messages: " + std::to_string(world->unanswered) +
                       ", expected " + std::to_string(world->expected_unanswered));
  }
  open(replies_pending, "sends with reply never answered");
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
    ADD_FAILURE() << "engine double: " << problem;
  }
}

}  // namespace fake_engine

standin::Platform& standin::ThePlatform() { return fake_engine::Recorder::Get(); }

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
