// The unit tests' control layer over the engine double
// (standin/double/engine_double.h, which implements the 23 functions and
// checks their contract). Link `rivelo_fake_engine` instead of an engine
// library; never link it into the product.
//
// It records every call by name (Calls()) and what tests read back below;
// lets a test script the library's outcomes; and plays the Dart side on
// demand: Deliver() runs the channel's callback on the calling thread.
// FakeEngineTest fails the test with every problem the double saw, and with
// what is still open at the end (references, a held lock, live engines and
// view controllers, unanswered messages, unanswered sends with reply), after
// every object of the test and its fixture is gone.
//
// Threads: every function and control method may be called from any thread.
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
#include "standin/double/properties_copy.h"

namespace fake_engine {

// One message sent by the host through FlutterDesktopMessengerSend or
// FlutterDesktopMessengerSendWithReply.
struct SentMessage {
  std::string channel;
  std::vector<uint8_t> bytes;
  bool message_is_null = false;
  bool with_reply = false;
  std::thread::id thread;
};

class FakeEngine {
 public:
  // The one fake; its state is process-wide because the C functions are.
  static FakeEngine& Get();

  // Forgets every object, record and script. FakeEngineTest does this before
  // each test.
  void Reset();

  // --- Scripting the library -------------------------------------------------
  void FailEngineCreation();
  // The failing view controller still takes the engine over and destroys it.
  void FailViewControllerCreation();
  void RefuseSendsWithReply();
  void ReturnNullLockTokens();
  // HandleTopLevelWindowProc claims every message from now on, with `result`.
  void ClaimWindowMessages(LRESULT result);
  // A messenger is also unavailable once its engine is gone.
  void SetMessengersAvailable(bool available);
  void ExpectUnansweredResponses(size_t count);

  // --- Playing the Dart side -------------------------------------------------
  // Delivers `message` to the callback registered for `channel` (newest
  // messenger first). Returns the response if it came before the callback
  // returned; nullopt when no callback is registered or no response came. An
  // empty message arrives as a null pointer with count 0.
  std::optional<std::vector<uint8_t>> Deliver(const std::string& channel,
                                              const std::vector<uint8_t>& message);
  std::optional<std::vector<uint8_t>> DeliverMethodCall(
      const std::string& channel, const std::string& method,
      std::unique_ptr<flutter::EncodableValue> arguments = nullptr);
  // As Deliver, with a null response handle, which the library may pass.
  void DeliverWithoutResponseHandle(const std::string& channel,
                                    const std::vector<uint8_t>& message);
  // The response to the index-th delivery, also one that came late.
  std::optional<std::vector<uint8_t>> ResponseTo(size_t delivery_index) const;
  // Runs the pending next-frame callback of the newest engine that has one.
  bool RenderFrame();
  // Answers the oldest pending send with reply on `channel`; false if none.
  bool AnswerSendWithReply(const std::string& channel, const std::vector<uint8_t>& response);

  // --- Reading the record ----------------------------------------------------
  std::vector<std::string> Calls() const;
  size_t CallCount(const std::string& function) const;
  std::vector<standin::EngineProperties> EngineCreations() const;
  // Width and height of every FlutterDesktopViewControllerCreate.
  std::vector<std::pair<int32_t, int32_t>> ViewControllerSizes() const;
  std::vector<SentMessage> Sent() const;
  std::vector<std::vector<uint8_t>> SentOn(const std::string& channel) const;
  // Waits until at least `count` messages were sent on `channel`; false on
  // time-out.
  bool WaitForSentOn(const std::string& channel, size_t count,
                     std::chrono::milliseconds timeout) const;
  int64_t OutstandingMessengerReferences() const;
  // The user data of the callback registered for `channel` (newest engine
  // first); null when none is.
  void* RegisteredUserData(const std::string& channel) const;

  // Everything that went wrong so far, plus what is still open now.
  std::vector<std::string> Problems() const;

 private:
  FakeEngine() = default;
};

// FlutterDesktopEngineCreate with an otherwise empty record: the default entry
// point, no arguments.
FlutterDesktopEngineRef CreateEngine();

// Fixture for tests against the fake: resets it before the test and fails
// the test with every problem left at the end.
class FakeEngineTest : public ::testing::Test {
 protected:
  FakeEngineTest();
  ~FakeEngineTest() override;

  FakeEngine& fake() { return FakeEngine::Get(); }
};

}  // namespace fake_engine

#endif  // RIVELO_TESTING_FAKE_ENGINE_H_
