#include "testing/fake_engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fake_engine {
namespace {

using Messenger = FlutterDesktopMessengerRef;

void Answer(Messenger messenger, const FlutterDesktopMessage* message, void*) {
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
}

void AnswerLocked(Messenger messenger, const FlutterDesktopMessage* message, void*) {
  Messenger token = FlutterDesktopMessengerLock(messenger);
  Answer(messenger, message, nullptr);
  FlutterDesktopMessengerUnlock(token);
}

void AnswerLockedTwice(Messenger messenger, const FlutterDesktopMessage* message, void*) {
  AnswerLocked(messenger, message, nullptr);
  AnswerLocked(messenger, message, nullptr);
}

void Ignore(Messenger, const FlutterDesktopMessage*, void*) {}

// Delivers one message on a channel served by `callback`.
void Serve(Messenger messenger, FlutterDesktopMessageCallback callback) {
  FlutterDesktopMessengerSetCallback(messenger, "c", callback, nullptr);
  FakeEngine::Get().Deliver("c", {1});
}

// Each misuse, committed beside a live engine that is destroyed afterwards,
// must leave exactly the problem named, so that a test committing it fails
// saying what went wrong.
TEST(FakeEngineChecks, EveryMisuseIsReported) {
  const std::string response = "FlutterDesktopMessengerSendResponse ";
  const std::vector<std::pair<std::string, std::function<void(Messenger)>>> cases = {
      {"messenger references still held: 1", [](Messenger m) { FlutterDesktopMessengerAddRef(m); }},
      {"FlutterDesktopMessengerRelease without a reference",
       [](Messenger m) { FlutterDesktopMessengerRelease(m); }},
      {"messenger lock still held", [](Messenger m) { FlutterDesktopMessengerLock(m); }},
      {"FlutterDesktopMessengerUnlock with an unknown token",
       [](Messenger m) {
         FlutterDesktopMessengerLock(m);
         FlutterDesktopMessengerUnlock(reinterpret_cast<Messenger>(&m));
         FlutterDesktopMessengerUnlock(m);
       }},
      {"FlutterDesktopMessengerUnlock from a thread that does not hold the lock",
       [](Messenger m) {
         FlutterDesktopMessengerLock(m);
         std::thread([m] { FlutterDesktopMessengerUnlock(m); }).join();
         FlutterDesktopMessengerUnlock(m);
       }},
      {response + "from a thread that does not hold the messenger lock",
       [](Messenger m) {
         FlutterDesktopMessengerLock(m);
         std::thread([m] { Serve(m, &Answer); }).join();
         FlutterDesktopMessengerUnlock(m);
       }},
      {"unanswered messages: 1, expected 0", [](Messenger m) { Serve(m, &Ignore); }},
      {response + "on a consumed handle (channel c)",
       [](Messenger m) { Serve(m, &AnswerLockedTwice); }},
      {response + "while the messenger is unavailable",
       [](Messenger m) {
         FakeEngine::Get().SetMessengersAvailable(false);
         Serve(m, &AnswerLocked);
       }},
      {"FlutterDesktopMessengerSend with null bytes of size 1",
       [](Messenger m) { FlutterDesktopMessengerSend(m, "c", nullptr, 1); }},
      {"engine never destroyed", [](Messenger) { CreateEngine(); }},
      {"FlutterDesktopEngineDestroy on an engine a view controller took over",
       [](Messenger) {
         FlutterDesktopEngineRef engine = CreateEngine();
         FlutterDesktopViewControllerRef controller =
             FlutterDesktopViewControllerCreate(1, 1, engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopViewControllerDestroy(controller);
       }},
      {"FlutterDesktopMessengerSend on a messenger whose engine was destroyed",
       [](Messenger) {
         FlutterDesktopEngineRef engine = CreateEngine();
         Messenger messenger = FlutterDesktopEngineGetMessenger(engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopMessengerSend(messenger, "c", nullptr, 0);
       }},
  };
  for (const auto& [expected, misuse] : cases) {
    SCOPED_TRACE(expected);
    FakeEngine::Get().Reset();
    FlutterDesktopEngineRef engine = CreateEngine();
    misuse(FlutterDesktopEngineGetMessenger(engine));
    FlutterDesktopEngineDestroy(engine);
    EXPECT_EQ(FakeEngine::Get().Problems(), std::vector<std::string>{expected});
  }
  FakeEngine::Get().Reset();
}

}  // namespace
}  // namespace fake_engine
