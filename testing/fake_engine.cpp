#include "testing/fake_engine.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

#include "encoding/method_call.h"
#include "encoding/standard_method_codec.h"

// The library's opaque types, as the fake models them. Nothing is freed
// before Reset(), so a stale handle is recorded as a problem, not a crash.
struct FlutterDesktopMessenger {
  FlutterDesktopEngine* engine = nullptr;
  int64_t references = 0;  // taken by AddRef, beyond the engine's own
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks;
};

struct FlutterDesktopEngine {
  bool destroyed = false;
  FlutterDesktopViewController* owner = nullptr;
  FlutterDesktopMessenger* messenger = nullptr;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_user_data = nullptr;
  std::map<std::string, FlutterDesktopPluginRegistrar*> registrars;
};

struct FlutterDesktopViewController {
  bool destroyed = false;
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView* view = nullptr;
};

struct FlutterDesktopView {
  HWND window = nullptr;
};

struct FlutterDesktopPluginRegistrar {
  std::string name;
};

struct FlutterDesktopMessageResponseHandleOpaque {
  size_t delivery = 0;
};

namespace fake_engine {
namespace {

struct Delivery {
  std::string channel;
  size_t responses = 0;
  std::vector<uint8_t> response;
};

struct PendingReply {
  FlutterDesktopMessenger* messenger = nullptr;
  std::string channel;
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
};

struct State {
  std::mutex mutex;
  mutable std::condition_variable sent_changed;

  // Scripts.
  bool fail_engine_creation = false;
  bool fail_view_controller_creation = false;
  bool refuse_sends_with_reply = false;
  bool null_lock_tokens = false;
  std::optional<LRESULT> window_message_result;
  bool messengers_available = true;
  UINT monitor_dpi = 96;
  std::optional<HWND> view_window;
  size_t expected_unanswered = 0;

  // Objects, owned here until Reset().
  std::deque<std::unique_ptr<FlutterDesktopEngine>> engines;
  std::deque<std::unique_ptr<FlutterDesktopMessenger>> messengers;
  std::deque<std::unique_ptr<FlutterDesktopViewController>> controllers;
  std::deque<std::unique_ptr<FlutterDesktopView>> views;
  std::deque<std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  std::deque<std::unique_ptr<FlutterDesktopMessageResponseHandleOpaque>> response_handles;

  // Records.
  std::vector<std::string> calls;
  std::vector<EngineProperties> engine_creations;
  std::vector<ViewControllerCreation> controller_creations;
  std::vector<SentMessage> sent;
  std::vector<CallbackRegistration> registrations;
  std::vector<std::string> registrar_requests;
  std::vector<WindowMessage> window_messages;
  std::vector<Delivery> deliveries;
  std::deque<PendingReply> pending_replies;
  int64_t held_locks = 0;
  std::vector<std::string> problems;

  void Record(const char* function) { calls.emplace_back(function); }
  void Problem(std::string text) { problems.push_back(std::move(text)); }

  bool Usable(const FlutterDesktopEngine* engine, const char* function) {
    if (engine != nullptr && engine->destroyed) {
      Problem(std::string(function) + " on a destroyed engine");
      return false;
    }
    return engine != nullptr;
  }

  bool Usable(const FlutterDesktopViewController* controller, const char* function) {
    if (controller != nullptr && controller->destroyed) {
      Problem(std::string(function) + " on a destroyed view controller");
      return false;
    }
    return controller != nullptr;
  }

  bool MessengerAlive(const FlutterDesktopMessenger* messenger, const char* function) {
    if (messenger == nullptr) {
      Problem(std::string(function) + " on a null messenger");
      return false;
    }
    if (messenger->engine->destroyed) {
      Problem(std::string(function) + " on a messenger whose engine was destroyed");
      return false;
    }
    return true;
  }

  // Removes the replies that die with `messenger`'s engine; the caller runs
  // them outside the lock.
  std::vector<PendingReply> TakePendingReplies(const FlutterDesktopMessenger* messenger) {
    std::vector<PendingReply> taken;
    auto dying = [messenger](const PendingReply& pending) {
      return pending.messenger == messenger;
    };
    std::copy_if(pending_replies.begin(), pending_replies.end(), std::back_inserter(taken),
                 dying);
    pending_replies.erase(
        std::remove_if(pending_replies.begin(), pending_replies.end(), dying),
        pending_replies.end());
    return taken;
  }
};

State& GetState() {
  static State* state = new State();
  return *state;
}

std::optional<std::wstring> CopyWide(const wchar_t* text) {
  if (text == nullptr) {
    return std::nullopt;
  }
  return std::wstring(text);
}

std::optional<std::string> CopyBytes(const char* text) {
  if (text == nullptr) {
    return std::nullopt;
  }
  return std::string(text);
}

std::vector<uint8_t> CopyMessage(const uint8_t* message, size_t size) {
  if (message == nullptr) {
    return {};
  }
  return std::vector<uint8_t>(message, message + size);
}

// The engine's pending replies get the empty response when it goes, as the
// library promises one call for every accepted send.
void RunDyingReplies(const std::vector<PendingReply>& replies) {
  for (const PendingReply& pending : replies) {
    pending.reply(nullptr, 0, pending.user_data);
  }
}

void MarkEngineDestroyed(FlutterDesktopEngine* engine) {
  engine->destroyed = true;
  engine->next_frame = nullptr;
  engine->messenger->callbacks.clear();
}

}  // namespace

FakeEngine& FakeEngine::Get() {
  static FakeEngine* fake = new FakeEngine();
  return *fake;
}

void FakeEngine::Reset() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.fail_engine_creation = false;
  state.fail_view_controller_creation = false;
  state.refuse_sends_with_reply = false;
  state.null_lock_tokens = false;
  state.window_message_result.reset();
  state.messengers_available = true;
  state.monitor_dpi = 96;
  state.view_window.reset();
  state.expected_unanswered = 0;
  state.engines.clear();
  state.messengers.clear();
  state.controllers.clear();
  state.views.clear();
  state.registrars.clear();
  state.response_handles.clear();
  state.calls.clear();
  state.engine_creations.clear();
  state.controller_creations.clear();
  state.sent.clear();
  state.registrations.clear();
  state.registrar_requests.clear();
  state.window_messages.clear();
  state.deliveries.clear();
  state.pending_replies.clear();
  state.held_locks = 0;
  state.problems.clear();
}

void FakeEngine::FailEngineCreation() {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().fail_engine_creation = true;
}

void FakeEngine::FailViewControllerCreation() {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().fail_view_controller_creation = true;
}

void FakeEngine::RefuseSendsWithReply() {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().refuse_sends_with_reply = true;
}

void FakeEngine::ReturnNullLockTokens() {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().null_lock_tokens = true;
}

void FakeEngine::ClaimWindowMessages(LRESULT result) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().window_message_result = result;
}

void FakeEngine::SetMessengersAvailable(bool available) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().messengers_available = available;
}

void FakeEngine::SetMonitorDpi(UINT dpi) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().monitor_dpi = dpi;
}

void FakeEngine::SetViewWindow(HWND window) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().view_window = window;
}

void FakeEngine::ExpectUnansweredResponses(size_t count) {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  GetState().expected_unanswered = count;
}

std::optional<std::vector<uint8_t>> FakeEngine::Deliver(const std::string& channel,
                                                        const std::vector<uint8_t>& message) {
  State& state = GetState();
  FlutterDesktopMessenger* messenger = nullptr;
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
  FlutterDesktopMessageResponseHandleOpaque* handle = nullptr;
  size_t delivery = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    for (auto it = state.messengers.rbegin(); it != state.messengers.rend(); ++it) {
      auto found = (*it)->callbacks.find(channel);
      if (found != (*it)->callbacks.end()) {
        messenger = it->get();
        callback = found->second.first;
        user_data = found->second.second;
        break;
      }
    }
    if (callback == nullptr) {
      return std::nullopt;
    }
    delivery = state.deliveries.size();
    state.deliveries.push_back(Delivery{channel, 0, {}});
    state.response_handles.push_back(
        std::make_unique<FlutterDesktopMessageResponseHandleOpaque>());
    handle = state.response_handles.back().get();
    handle->delivery = delivery;
  }
  FlutterDesktopMessage record{};
  record.struct_size = sizeof(record);
  record.channel = channel.c_str();
  record.message = message.empty() ? nullptr : message.data();
  record.message_size = message.size();
  record.response_handle = handle;
  callback(messenger, &record, user_data);
  return ResponseTo(delivery);
}

std::optional<std::vector<uint8_t>> FakeEngine::DeliverMethodCall(
    const std::string& channel, const std::string& method,
    std::unique_ptr<flutter::EncodableValue> arguments) {
  flutter::MethodCall<flutter::EncodableValue> call(method, std::move(arguments));
  return Deliver(channel, *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call));
}

std::optional<std::vector<uint8_t>> FakeEngine::ResponseTo(size_t delivery_index) const {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (delivery_index >= state.deliveries.size() ||
      state.deliveries[delivery_index].responses == 0) {
    return std::nullopt;
  }
  return state.deliveries[delivery_index].response;
}

bool FakeEngine::RenderFrame() {
  State& state = GetState();
  FlutterDesktopOnNextFrameCallback callback = nullptr;
  void* user_data = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    for (auto it = state.engines.rbegin(); it != state.engines.rend(); ++it) {
      if ((*it)->next_frame != nullptr) {
        callback = std::exchange((*it)->next_frame, nullptr);
        user_data = (*it)->next_frame_user_data;
        break;
      }
    }
  }
  if (callback == nullptr) {
    return false;
  }
  callback(user_data);
  return true;
}

bool FakeEngine::AnswerSendWithReply(const std::string& channel,
                                     const std::vector<uint8_t>& response) {
  State& state = GetState();
  PendingReply pending;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto found = std::find_if(
        state.pending_replies.begin(), state.pending_replies.end(),
        [&channel](const PendingReply& candidate) { return candidate.channel == channel; });
    if (found == state.pending_replies.end()) {
      return false;
    }
    pending = *found;
    state.pending_replies.erase(found);
  }
  pending.reply(response.empty() ? nullptr : response.data(), response.size(),
                pending.user_data);
  return true;
}

std::vector<std::string> FakeEngine::Calls() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().calls;
}

size_t FakeEngine::CallCount(const std::string& function) const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  const std::vector<std::string>& calls = GetState().calls;
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), function));
}

std::vector<EngineProperties> FakeEngine::EngineCreations() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().engine_creations;
}

std::vector<ViewControllerCreation> FakeEngine::ViewControllerCreations() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().controller_creations;
}

std::vector<SentMessage> FakeEngine::Sent() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().sent;
}

std::vector<std::vector<uint8_t>> FakeEngine::SentOn(const std::string& channel) const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  std::vector<std::vector<uint8_t>> messages;
  for (const SentMessage& sent : GetState().sent) {
    if (sent.channel == channel) {
      messages.push_back(sent.bytes);
    }
  }
  return messages;
}

bool FakeEngine::WaitForSentOn(const std::string& channel, size_t count,
                               std::chrono::milliseconds timeout) const {
  State& state = GetState();
  std::unique_lock<std::mutex> lock(state.mutex);
  return state.sent_changed.wait_for(lock, timeout, [&state, &channel, count] {
    return static_cast<size_t>(std::count_if(state.sent.begin(), state.sent.end(),
                                             [&channel](const SentMessage& sent) {
                                               return sent.channel == channel;
                                             })) >= count;
  });
}

std::vector<CallbackRegistration> FakeEngine::CallbackRegistrations() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().registrations;
}

bool FakeEngine::HasMessageCallback(const std::string& channel) const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  for (const auto& messenger : GetState().messengers) {
    if (messenger->callbacks.count(channel) != 0) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> FakeEngine::RegistrarRequests() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().registrar_requests;
}

std::optional<std::string> FakeEngine::RegistrarName(
    FlutterDesktopPluginRegistrarRef registrar) const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  for (const auto& known : GetState().registrars) {
    if (known.get() == registrar) {
      return known->name;
    }
  }
  return std::nullopt;
}

std::vector<WindowMessage> FakeEngine::WindowMessages() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  return GetState().window_messages;
}

int64_t FakeEngine::OutstandingMessengerReferences() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  int64_t total = 0;
  for (const auto& messenger : GetState().messengers) {
    total += messenger->references;
  }
  return total;
}

HWND FakeEngine::ViewWindow() const {
  std::lock_guard<std::mutex> lock(GetState().mutex);
  const auto& views = GetState().views;
  return views.empty() ? nullptr : views.back()->window;
}

std::vector<std::string> FakeEngine::Problems() const {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::vector<std::string> problems = state.problems;
  const int64_t references = [&state] {
    int64_t total = 0;
    for (const auto& messenger : state.messengers) {
      total += messenger->references;
    }
    return total;
  }();
  if (references != 0) {
    problems.push_back("messenger references still held: " + std::to_string(references));
  }
  if (state.held_locks != 0) {
    problems.push_back("messenger locks still held: " + std::to_string(state.held_locks));
  }
  const size_t unanswered = static_cast<size_t>(
      std::count_if(state.deliveries.begin(), state.deliveries.end(),
                    [](const Delivery& delivery) { return delivery.responses == 0; }));
  if (unanswered != state.expected_unanswered) {
    problems.push_back("unanswered messages: " + std::to_string(unanswered) + ", expected " +
                       std::to_string(state.expected_unanswered));
  }
  for (const auto& engine : state.engines) {
    if (!engine->destroyed) {
      problems.push_back("engine never destroyed");
    }
  }
  for (const auto& controller : state.controllers) {
    if (!controller->destroyed) {
      problems.push_back("view controller never destroyed");
    }
  }
  if (!state.pending_replies.empty()) {
    problems.push_back("sends with reply never answered: " +
                       std::to_string(state.pending_replies.size()));
  }
  return problems;
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

using fake_engine::EngineProperties;
using fake_engine::GetState;
using fake_engine::State;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopEngineCreate");
  EngineProperties copy;
  copy.assets_path = fake_engine::CopyWide(properties->assets_path);
  copy.icu_data_path = fake_engine::CopyWide(properties->icu_data_path);
  copy.aot_library_path = fake_engine::CopyWide(properties->aot_library_path);
  copy.dart_entrypoint = fake_engine::CopyBytes(properties->dart_entrypoint);
  copy.dart_entrypoint_argc = properties->dart_entrypoint_argc;
  copy.reserved = properties->reserved;
  copy.argv_is_null = properties->dart_entrypoint_argv == nullptr;
  for (int32_t i = 0; !copy.argv_is_null && i < properties->dart_entrypoint_argc; ++i) {
    copy.dart_entrypoint_argv.push_back(
        fake_engine::CopyBytes(properties->dart_entrypoint_argv[i]).value_or("<null>"));
  }
  copy.engine_option_1 = properties->engine_option_1;
  copy.engine_option_2 = properties->engine_option_2;
  state.engine_creations.push_back(std::move(copy));
  if (state.fail_engine_creation) {
    return nullptr;
  }
  state.engines.push_back(std::make_unique<FlutterDesktopEngine>());
  state.messengers.push_back(std::make_unique<FlutterDesktopMessenger>());
  FlutterDesktopEngine* engine = state.engines.back().get();
  engine->messenger = state.messengers.back().get();
  engine->messenger->engine = engine;
  return engine;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopEngineGetMessenger");
  return state.Usable(engine, "FlutterDesktopEngineGetMessenger") ? engine->messenger
                                                                   : nullptr;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  State& state = GetState();
  std::vector<fake_engine::PendingReply> dying;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.Record("FlutterDesktopEngineDestroy");
    if (!state.Usable(engine, "FlutterDesktopEngineDestroy")) {
      return false;
    }
    if (engine->owner != nullptr) {
      state.Problem("FlutterDesktopEngineDestroy on an engine a view controller took over");
      return false;
    }
    fake_engine::MarkEngineDestroyed(engine);
    dying = state.TakePendingReplies(engine->messenger);
  }
  fake_engine::RunDyingReplies(dying);
  return true;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopEngineGetPluginRegistrar");
  state.registrar_requests.push_back(plugin_name);
  if (!state.Usable(engine, "FlutterDesktopEngineGetPluginRegistrar")) {
    return nullptr;
  }
  FlutterDesktopPluginRegistrar*& registrar = engine->registrars[plugin_name];
  if (registrar == nullptr) {
    state.registrars.push_back(std::make_unique<FlutterDesktopPluginRegistrar>());
    registrar = state.registrars.back().get();
    registrar->name = plugin_name;
  }
  return registrar;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopEngineReloadSystemFonts");
  state.Usable(engine, "FlutterDesktopEngineReloadSystemFonts");
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopEngineSetNextFrameCallback");
  if (state.Usable(engine, "FlutterDesktopEngineSetNextFrameCallback")) {
    engine->next_frame = callback;
    engine->next_frame_user_data = user_data;
  }
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int32_t width, int32_t height, FlutterDesktopEngineRef engine) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopViewControllerCreate");
  state.controller_creations.push_back({width, height, engine});
  if (!state.Usable(engine, "FlutterDesktopViewControllerCreate")) {
    return nullptr;
  }
  if (engine->owner != nullptr) {
    state.Problem("FlutterDesktopViewControllerCreate with an engine already taken over");
    return nullptr;
  }
  if (state.fail_view_controller_creation) {
    // The controller takes the engine over even when it fails, and so
    // destroys it; the caller never gets it back.
    fake_engine::MarkEngineDestroyed(engine);
    return nullptr;
  }
  state.views.push_back(std::make_unique<FlutterDesktopView>());
  FlutterDesktopView* view = state.views.back().get();
  view->window = state.view_window.value_or(reinterpret_cast<HWND>(view));
  state.controllers.push_back(std::make_unique<FlutterDesktopViewController>());
  FlutterDesktopViewController* controller = state.controllers.back().get();
  controller->engine = engine;
  controller->view = view;
  engine->owner = controller;
  return controller;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopViewControllerGetView");
  return state.Usable(controller, "FlutterDesktopViewControllerGetView") ? controller->view
                                                                          : nullptr;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  State& state = GetState();
  std::vector<fake_engine::PendingReply> dying;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.Record("FlutterDesktopViewControllerDestroy");
    if (!state.Usable(controller, "FlutterDesktopViewControllerDestroy")) {
      return;
    }
    controller->destroyed = true;
    fake_engine::MarkEngineDestroyed(controller->engine);
    dying = state.TakePendingReplies(controller->engine->messenger);
  }
  fake_engine::RunDyingReplies(dying);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopViewControllerForceRedraw");
  state.Usable(controller, "FlutterDesktopViewControllerForceRedraw");
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopViewControllerHandleTopLevelWindowProc");
  state.window_messages.push_back({hwnd, message, wparam, lparam});
  if (!state.Usable(controller, "FlutterDesktopViewControllerHandleTopLevelWindowProc") ||
      !state.window_message_result) {
    return false;
  }
  *result = *state.window_message_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopViewGetHWND");
  return view == nullptr ? nullptr : view->window;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  State& state = GetState();
  bool accepted = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.Record("FlutterDesktopMessengerSend");
    state.sent.push_back({channel, fake_engine::CopyMessage(message, message_size),
                          message == nullptr, false, std::this_thread::get_id()});
    accepted = state.MessengerAlive(messenger, "FlutterDesktopMessengerSend");
  }
  state.sent_changed.notify_all();
  return accepted;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel, const uint8_t* message,
                                          size_t message_size, FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  State& state = GetState();
  bool accepted = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.Record("FlutterDesktopMessengerSendWithReply");
    state.sent.push_back({channel, fake_engine::CopyMessage(message, message_size),
                          message == nullptr, true, std::this_thread::get_id()});
    accepted = state.MessengerAlive(messenger, "FlutterDesktopMessengerSendWithReply") &&
               !state.refuse_sends_with_reply;
    if (accepted) {
      state.pending_replies.push_back({messenger, channel, reply, user_data});
    }
  }
  state.sent_changed.notify_all();
  return accepted;
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerSetCallback");
  state.registrations.push_back({channel, callback != nullptr, user_data});
  if (!state.MessengerAlive(messenger, "FlutterDesktopMessengerSetCallback")) {
    return;
  }
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerSendResponse");
  if (!state.MessengerAlive(messenger, "FlutterDesktopMessengerSendResponse")) {
    return;
  }
  if (!state.messengers_available) {
    state.Problem("FlutterDesktopMessengerSendResponse while the messenger is unavailable");
  }
  if (!state.null_lock_tokens && state.held_locks == 0) {
    state.Problem("FlutterDesktopMessengerSendResponse without the messenger lock");
  }
  if (handle == nullptr || handle->delivery >= state.deliveries.size()) {
    state.Problem("FlutterDesktopMessengerSendResponse with an unknown response handle");
    return;
  }
  fake_engine::Delivery& delivery = state.deliveries[handle->delivery];
  if (++delivery.responses > 1) {
    state.Problem("FlutterDesktopMessengerSendResponse on a consumed handle (channel " +
                  delivery.channel + ")");
    return;
  }
  delivery.response = fake_engine::CopyMessage(data, data_length);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerAddRef");
  if (messenger == nullptr) {
    state.Problem("FlutterDesktopMessengerAddRef on a null messenger");
    return nullptr;
  }
  ++messenger->references;
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerRelease");
  if (messenger == nullptr || messenger->references == 0) {
    state.Problem("FlutterDesktopMessengerRelease without a reference");
    return;
  }
  --messenger->references;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerLock");
  if (state.null_lock_tokens) {
    return nullptr;
  }
  ++state.held_locks;
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerUnlock");
  if (messenger == nullptr || state.held_locks == 0) {
    state.Problem("FlutterDesktopMessengerUnlock without a lock token");
    return;
  }
  --state.held_locks;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopMessengerIsAvailable");
  return messenger != nullptr && !messenger->engine->destroyed && state.messengers_available;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopGetDpiForMonitor");
  return state.monitor_dpi;
}

void FlutterDesktopResyncOutputStreams(void) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.Record("FlutterDesktopResyncOutputStreams");
}

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
