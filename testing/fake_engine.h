// A recording fake of the engine library (the 23 functions of
// engine/flutter_windows.h) for unit tests, built for the host and for
// Windows. Link `rivelo_fake_engine` instead of an engine library; never link
// it into the product.
//
// What it does:
// - Records every call (function names in order, in Calls()) with copies of
//   its arguments: the engine-properties record's contents, channel names and
//   message bytes of every send, callback registrations, registrar requests,
//   window messages forwarded to the view controller.
// - Lets a test script the library's outcomes: engine or view-controller
//   creation failing (a failing view controller still takes the engine over
//   and destroys it), sends with reply refused, window messages claimed with
//   a result, the messenger turning unavailable, null lock tokens, the DPI.
// - Plays the Dart side on demand: Deliver() hands a message to the callback
//   registered for a channel, on the calling thread, and returns the response
//   if one was sent before the callback returned. RenderFrame() runs a
//   pending next-frame callback once. AnswerSendWithReply() answers a send.
// - Keeps objects alive until Reset(), so a use after destruction is
//   recorded as a problem instead of crashing.
// - Is thread-safe: sends may come from any number of threads at once;
//   WaitForSentOn() waits (bounded) for messages that other threads send.
//
// What it checks automatically (FakeEngineTest fails the test, after every
// object of the test and its fixture has been destroyed, listing each
// problem):
// - every FlutterDesktopMessengerAddRef was matched by one Release, and no
//   Release came without an AddRef;
// - every non-null lock token was unlocked once, and no null or unknown token
//   was unlocked;
// - every delivered message got exactly one response, unless the test
//   declared how many stay unanswered (ExpectUnansweredResponses); a second
//   response on a consumed handle is a problem;
// - no response was sent while the messenger was unavailable, or without
//   holding the messenger lock when the lock hands out tokens;
// - no messenger call (send, response, callback registration) reached a
//   messenger whose engine was already destroyed;
// - every engine was destroyed (by FlutterDesktopEngineDestroy or by the view
//   controller that took it over), never twice, never after a view
//   controller took it over, and no destroyed engine or controller was used;
// - every view controller was destroyed, once;
// - every accepted send with reply was answered (pending ones are answered
//   with the empty response when their engine is destroyed).
//
// Threads: every function and every control method may be called from any
// thread. Callbacks (deliveries, replies, next frame) run on the thread of
// the control call that triggers them, never under the fake's own lock.
#ifndef RIVELO_TESTING_FAKE_ENGINE_H_
#define RIVELO_TESTING_FAKE_ENGINE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "encoding/encodable_value.h"
#include "engine/flutter_windows.h"

namespace fake_engine {

// The contents of one FlutterDesktopEngineCreate record, copied during the
// call. Null pointers are kept apart from empty strings.
struct EngineProperties {
  std::optional<std::wstring> assets_path;
  std::optional<std::wstring> icu_data_path;
  std::optional<std::wstring> aot_library_path;
  std::optional<std::string> dart_entrypoint;
  int32_t dart_entrypoint_argc = 0;
  int32_t reserved = 0;
  bool argv_is_null = true;
  std::vector<std::string> dart_entrypoint_argv;
  int32_t engine_option_1 = 0;
  int32_t engine_option_2 = 0;
};

// One message sent by the host through FlutterDesktopMessengerSend or
// FlutterDesktopMessengerSendWithReply.
struct SentMessage {
  std::string channel;
  std::vector<uint8_t> bytes;
  bool message_is_null = false;
  bool with_reply = false;
  std::thread::id thread;
};

// One FlutterDesktopMessengerSetCallback call.
struct CallbackRegistration {
  std::string channel;
  bool registered = false;  // false: the call unregistered the channel
  void* user_data = nullptr;
};

struct ViewControllerCreation {
  int32_t width = 0;
  int32_t height = 0;
  FlutterDesktopEngineRef engine = nullptr;
};

struct WindowMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};

class FakeEngine {
 public:
  // The one fake; its state is process-wide because the C functions are.
  static FakeEngine& Get();

  // Forgets every object, record and script. FakeEngineTest does this before
  // each test.
  void Reset();

  // --- Scripting the library ---------------------------------------------------
  void FailEngineCreation();
  void FailViewControllerCreation();
  void RefuseSendsWithReply();
  void ReturnNullLockTokens();
  // HandleTopLevelWindowProc claims every message from now on, with `result`.
  void ClaimWindowMessages(LRESULT result);
  // Availability as scripted by the test; a messenger is also unavailable
  // once its engine is destroyed.
  void SetMessengersAvailable(bool available);
  void SetMonitorDpi(UINT dpi);
  // The window FlutterDesktopViewGetHWND reports for views created from now
  // on (by default a distinct fake value, not a real window).
  void SetViewWindow(HWND window);
  // Declares how many delivered messages are meant to stay unanswered.
  void ExpectUnansweredResponses(size_t count);

  // --- Playing the Dart side ------------------------------------------------------
  // Delivers `message` to the callback registered for `channel` (the newest
  // messenger that has one). Returns the response if it was sent before the
  // callback returned; nullopt when no callback is registered or no response
  // came. An empty message is delivered as a null pointer with count 0.
  std::optional<std::vector<uint8_t>> Deliver(const std::string& channel,
                                              const std::vector<uint8_t>& message);
  // Deliver() of a method call encoded with the standard method codec.
  std::optional<std::vector<uint8_t>> DeliverMethodCall(
      const std::string& channel, const std::string& method,
      std::unique_ptr<flutter::EncodableValue> arguments = nullptr);
  // The response sent for the index-th delivery (in delivery order), also
  // when it came after Deliver() returned.
  std::optional<std::vector<uint8_t>> ResponseTo(size_t delivery_index) const;
  // Runs the pending next-frame callback of the newest engine that has one;
  // false when none is pending.
  bool RenderFrame();
  // Answers the oldest pending send with reply on `channel`; false if none.
  bool AnswerSendWithReply(const std::string& channel, const std::vector<uint8_t>& response);

  // --- Reading the record ---------------------------------------------------------
  std::vector<std::string> Calls() const;
  size_t CallCount(const std::string& function) const;
  std::vector<EngineProperties> EngineCreations() const;
  std::vector<ViewControllerCreation> ViewControllerCreations() const;
  std::vector<SentMessage> Sent() const;
  // The bytes of every message sent on `channel`, in the order the fake saw
  // them.
  std::vector<std::vector<uint8_t>> SentOn(const std::string& channel) const;
  // Waits until at least `count` messages were sent on `channel`; false on
  // time-out.
  bool WaitForSentOn(const std::string& channel, size_t count,
                     std::chrono::milliseconds timeout) const;
  std::vector<CallbackRegistration> CallbackRegistrations() const;
  bool HasMessageCallback(const std::string& channel) const;
  std::vector<std::string> RegistrarRequests() const;
  // The plug-in name a registrar handed out by the fake was requested for.
  std::optional<std::string> RegistrarName(FlutterDesktopPluginRegistrarRef registrar) const;
  std::vector<WindowMessage> WindowMessages() const;
  // AddRef calls minus Release calls, over all messengers.
  int64_t OutstandingMessengerReferences() const;
  // The child window reported for the newest view.
  HWND ViewWindow() const;

  // Everything that went wrong so far, plus what is still open now (see the
  // list at the top of this file). Empty when all is well.
  std::vector<std::string> Problems() const;

 private:
  FakeEngine() = default;
};

// Fixture for tests against the fake: resets it before the test and fails
// the test with every problem left at the end (see above).
class FakeEngineTest : public ::testing::Test {
 protected:
  FakeEngineTest();
  ~FakeEngineTest() override;

  FakeEngine& fake() { return FakeEngine::Get(); }
};

}  // namespace fake_engine

#endif  // RIVELO_TESTING_FAKE_ENGINE_H_
