#include "standin/double/engine_double.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "testing/fake_engine.h"

namespace {

using fake_engine::FakeEngine;
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
TEST(EngineDouble, EveryMisuseIsReported) {
  const std::string response = "FlutterDesktopMessengerSendResponse ";
  const std::vector<std::pair<std::string, std::function<void(Messenger)>>> cases = {
      {"messenger references still held: 1", [](Messenger m) { FlutterDesktopMessengerAddRef(m); }},
      {"FlutterDesktopMessengerRelease without a reference",
       [](Messenger m) { FlutterDesktopMessengerRelease(m); }},
      {"messenger locks still held: 1", [](Messenger m) { FlutterDesktopMessengerLock(m); }},
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
      {response + "on a response handle that is consumed",
       [](Messenger m) { Serve(m, &AnswerLockedTwice); }},
      {response + "while the messenger is unavailable",
       [](Messenger m) {
         FakeEngine::Get().SetMessengersAvailable(false);
         Serve(m, &AnswerLocked);
       }},
      {"FlutterDesktopMessengerSend with null bytes of size 1",
       [](Messenger m) { FlutterDesktopMessengerSend(m, "c", nullptr, 1); }},
      {"engines never destroyed: 1", [](Messenger) { fake_engine::CreateEngine(); }},
      {"FlutterDesktopEngineDestroy on an engine a view controller took over",
       [](Messenger) {
         FlutterDesktopEngineRef engine = fake_engine::CreateEngine();
         FlutterDesktopViewControllerRef controller =
             FlutterDesktopViewControllerCreate(1, 1, engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopViewControllerDestroy(controller);
       }},
      {"FlutterDesktopViewControllerDestroy on a destroyed object",
       [](Messenger) {
         FlutterDesktopEngineRef engine = fake_engine::CreateEngine();
         FlutterDesktopViewControllerRef controller =
             FlutterDesktopViewControllerCreate(1, 1, engine);
         FlutterDesktopViewControllerDestroy(controller);
         FlutterDesktopViewControllerDestroy(controller);
       }},
      {"FlutterDesktopMessengerSend on a messenger whose engine was destroyed",
       [](Messenger) {
         FlutterDesktopEngineRef engine = fake_engine::CreateEngine();
         Messenger messenger = FlutterDesktopEngineGetMessenger(engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopMessengerSend(messenger, "c", nullptr, 0);
       }},
  };
  for (const auto& [expected, misuse] : cases) {
    SCOPED_TRACE(expected);
    FakeEngine::Get().Reset();
    FlutterDesktopEngineRef engine = fake_engine::CreateEngine();
    misuse(FlutterDesktopEngineGetMessenger(engine));
    FlutterDesktopEngineDestroy(engine);
    EXPECT_EQ(FakeEngine::Get().Problems(), std::vector<std::string>{expected});
  }
  FakeEngine::Get().Reset();
}

class EngineDoubleTest : public fake_engine::FakeEngineTest {
 protected:
  FlutterDesktopEngineRef engine_ = fake_engine::CreateEngine();
  Messenger messenger_ = FlutterDesktopEngineGetMessenger(engine_);
};

TEST_F(EngineDoubleTest, APendingReplyRunsExactlyOnceEvenWhenTheEngineGoesFirst) {
  std::atomic<int> calls{0};
  const uint8_t bytes[] = {0x01};
  ASSERT_TRUE(FlutterDesktopMessengerSendWithReply(
      messenger_, "c", bytes, 1,
      [](const uint8_t*, size_t size, void* user_data) {
        EXPECT_EQ(size, 0u);
        ++*static_cast<std::atomic<int>*>(user_data);
      },
      &calls));
  EXPECT_EQ(calls, 0);
  FlutterDesktopEngineDestroy(engine_);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(fake().AnswerSendWithReply("c", {}));
}

// The engine waits for the messenger's lock; a reference keeps the messenger
// usable, and unavailable, after the engine is gone.
TEST_F(EngineDoubleTest, TheEngineWaitsForTheLockAndAReferenceOutlivesIt) {
  Messenger held = FlutterDesktopMessengerAddRef(messenger_);
  Messenger token = FlutterDesktopMessengerLock(held);
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    FlutterDesktopEngineDestroy(engine_);
    destroyed = true;
  });
  // Gives the destroyer time to reach the lock; a shorter wait can only let
  // a broken lock go unnoticed, never fail a working one.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerUnlock(token);
  destroyer.join();
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerUnlock(FlutterDesktopMessengerLock(held));
  FlutterDesktopMessengerRelease(held);
}

}  // namespace
