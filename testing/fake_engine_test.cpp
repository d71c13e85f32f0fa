#include "testing/fake_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fake_engine {
namespace {

FlutterDesktopEngineRef NewEngine() {
  FlutterDesktopEngineProperties properties{};
  properties.dart_entrypoint = "";
  return FlutterDesktopEngineCreate(&properties);
}

void Answer(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
            void*) {
  FlutterDesktopMessengerRef token = FlutterDesktopMessengerLock(messenger);
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
  FlutterDesktopMessengerUnlock(token);
}

void AnswerTwice(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void* user_data) {
  Answer(messenger, message, user_data);
  Answer(messenger, message, user_data);
}

void AnswerUnlocked(FlutterDesktopMessengerRef messenger,
                    const FlutterDesktopMessage* message, void*) {
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
}

void Ignore(FlutterDesktopMessengerRef, const FlutterDesktopMessage*, void*) {}

void IgnoreReply(const uint8_t*, size_t, void*) {}

// Each misuse must leave exactly the one problem named, so that a test that
// commits it fails with a message saying what went wrong.
TEST(FakeEngineChecks, EveryMisuseIsReported) {
  struct Case {
    std::vector<std::string> expected;
    std::function<void()> misuse;
  };
  const std::vector<Case> cases = {
      {{"messenger references still held: 1"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerAddRef(FlutterDesktopEngineGetMessenger(engine));
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerRelease without a reference"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerRelease(FlutterDesktopEngineGetMessenger(engine));
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"messenger locks still held: 1"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerLock(FlutterDesktopEngineGetMessenger(engine));
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerUnlock without a lock token"},
       [] { FlutterDesktopMessengerUnlock(nullptr); }},
      {{"unanswered messages: 1, expected 0"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "c",
                                            &Ignore, nullptr);
         FakeEngine::Get().Deliver("c", {1});
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerSendResponse on a consumed handle (channel c)"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "c",
                                            &AnswerTwice, nullptr);
         FakeEngine::Get().Deliver("c", {1});
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerSendResponse without the messenger lock"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "c",
                                            &AnswerUnlocked, nullptr);
         FakeEngine::Get().Deliver("c", {1});
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerSendResponse while the messenger is unavailable"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "c",
                                            &Answer, nullptr);
         FakeEngine::Get().SetMessengersAvailable(false);
         FakeEngine::Get().Deliver("c", {1});
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopMessengerSend on a messenger whose engine was destroyed"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopMessengerSend(messenger, "c", nullptr, 0);
       }},
      {{"engine never destroyed"}, [] { NewEngine(); }},
      {{"engine never destroyed", "view controller never destroyed"},
       [] { FlutterDesktopViewControllerCreate(1, 1, NewEngine()); }},
      {{"FlutterDesktopEngineDestroy on a destroyed engine"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopEngineDestroy(engine);
       }},
      {{"FlutterDesktopEngineDestroy on an engine a view controller took over"},
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopViewControllerRef controller =
             FlutterDesktopViewControllerCreate(1, 1, engine);
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopViewControllerDestroy(controller);
       }},
      {{"FlutterDesktopViewControllerForceRedraw on a destroyed view controller"},
       [] {
         FlutterDesktopViewControllerRef controller =
             FlutterDesktopViewControllerCreate(1, 1, NewEngine());
         FlutterDesktopViewControllerDestroy(controller);
         FlutterDesktopViewControllerForceRedraw(controller);
       }},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.expected.front());
    FakeEngine::Get().Reset();
    test_case.misuse();
    EXPECT_EQ(FakeEngine::Get().Problems(), test_case.expected);
  }
  FakeEngine::Get().Reset();
}

class FakeEngineBehaviour : public FakeEngineTest {};

TEST_F(FakeEngineBehaviour, PendingRepliesGetTheEmptyResponseWhenTheirEngineGoes) {
  FlutterDesktopEngineRef engine = NewEngine();
  int replies = 0;
  FlutterDesktopMessengerSendWithReply(
      FlutterDesktopEngineGetMessenger(engine), "c", nullptr, 0,
      [](const uint8_t* data, size_t size, void* user_data) {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(size, 0u);
        ++*static_cast<int*>(user_data);
      },
      &replies);
  EXPECT_EQ(replies, 0);
  FlutterDesktopEngineDestroy(engine);
  EXPECT_EQ(replies, 1);
  EXPECT_FALSE(fake().AnswerSendWithReply("c", {}));
}

TEST_F(FakeEngineBehaviour, RefusedSendWithReplyIsRecordedButNeverAnswered) {
  fake().RefuseSendsWithReply();
  FlutterDesktopEngineRef engine = NewEngine();
  EXPECT_FALSE(FlutterDesktopMessengerSendWithReply(FlutterDesktopEngineGetMessenger(engine),
                                                    "c", nullptr, 0, &IgnoreReply, nullptr));
  EXPECT_EQ(fake().Sent().size(), 1u);
  EXPECT_FALSE(fake().AnswerSendWithReply("c", {}));
  FlutterDesktopEngineDestroy(engine);
}

TEST_F(FakeEngineBehaviour, WaitForSentOnSeesSendsFromOtherThreads) {
  FlutterDesktopEngineRef engine = NewEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  std::thread sender([messenger] {
    for (uint8_t i = 0; i < 3; ++i) {
      FlutterDesktopMessengerSend(messenger, "c", &i, 1);
    }
  });
  // Generous: only a stalled machine comes near it.
  EXPECT_TRUE(fake().WaitForSentOn("c", 3, std::chrono::seconds(30)));
  sender.join();
  EXPECT_FALSE(fake().WaitForSentOn("c", 4, std::chrono::milliseconds(1)));
  EXPECT_EQ(fake().SentOn("c"), (std::vector<std::vector<uint8_t>>{{0}, {1}, {2}}));
  FlutterDesktopEngineDestroy(engine);
}

TEST_F(FakeEngineBehaviour, ScriptedDpiAndViewWindowAreWhatTheLibraryReports) {
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(nullptr), 96u);
  fake().SetMonitorDpi(144);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(nullptr), 144u);

  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4321));
  fake().SetViewWindow(window);
  FlutterDesktopViewControllerRef controller =
      FlutterDesktopViewControllerCreate(10, 10, NewEngine());
  EXPECT_EQ(FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller)), window);
  FlutterDesktopViewControllerDestroy(controller);
}

}  // namespace
}  // namespace fake_engine
