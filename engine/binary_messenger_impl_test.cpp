#include "engine/binary_messenger_impl.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testing/fake_engine.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kChannel[] = "test/channel";
constexpr char kDuplicateLine[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

// A messenger on a live engine of the fake library. The engine is destroyed
// before the messenger, as the engine wrapper does.
class MessengerTest : public fake_engine::FakeEngineTest {
 protected:
  MessengerTest()
      : engine_(CreateEngine()), messenger_(FlutterDesktopEngineGetMessenger(engine_)) {}

  ~MessengerTest() override { DestroyEngine(); }

  void DestroyEngine() {
    if (engine_ != nullptr) {
      FlutterDesktopEngineDestroy(std::exchange(engine_, nullptr));
    }
  }

  // Installs a handler that keeps every reply it gets in replies_.
  void KeepReplies() {
    messenger_.SetMessageHandler(kChannel, [this](const uint8_t*, size_t, BinaryReply reply) {
      replies_.push_back(std::move(reply));
    });
  }

  FlutterDesktopEngineRef engine_;
  BinaryMessengerImpl messenger_;
  std::vector<BinaryReply> replies_;

 private:
  static FlutterDesktopEngineRef CreateEngine() {
    FlutterDesktopEngineProperties properties{};
    properties.dart_entrypoint = "";
    return FlutterDesktopEngineCreate(&properties);
  }
};

TEST_F(MessengerTest, HandlerReceivesTheMessageAndItsAnswerGoesBack) {
  Bytes received;
  messenger_.SetMessageHandler(
      kChannel, [&received](const uint8_t* message, size_t size, BinaryReply reply) {
        received.assign(message, message + size);
        const uint8_t answer[] = {9, 8};
        reply(answer, sizeof(answer));
      });

  EXPECT_EQ(fake().Deliver(kChannel, {1, 2, 3}), std::optional<Bytes>(Bytes{9, 8}));
  EXPECT_EQ(received, (Bytes{1, 2, 3}));
}

TEST_F(MessengerTest, EmptyMessageArrivesAsNullWithCountZeroAndEmptyAnswerIsSent) {
  const uint8_t marker = 0;
  const uint8_t* seen = &marker;
  size_t seen_size = 1;
  messenger_.SetMessageHandler(kChannel, [&](const uint8_t* message, size_t size,
                                             BinaryReply reply) {
    seen = message;
    seen_size = size;
    reply(nullptr, 0);
  });

  EXPECT_EQ(fake().Deliver(kChannel, {}), std::optional<Bytes>(Bytes{}));
  EXPECT_EQ(seen, nullptr);
  EXPECT_EQ(seen_size, 0u);
}

TEST_F(MessengerTest, SecondAnswerThroughOneReplySendsNothingAndWritesTheLineOnce) {
  KeepReplies();
  fake().Deliver(kChannel, {1});
  ASSERT_EQ(replies_.size(), 1u);

  const uint8_t first[] = {1};
  const uint8_t second[] = {2};
  testing::internal::CaptureStderr();
  replies_[0](first, 1);
  replies_[0](second, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateLine);

  EXPECT_EQ(fake().ResponseTo(0), std::optional<Bytes>(Bytes{1}));
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), 1u);
}

// The library consumes a response handle: a copy of a reply must not be a
// second way to answer.
TEST_F(MessengerTest, CopiesOfOneReplyShareItsSingleAnswer) {
  KeepReplies();
  fake().Deliver(kChannel, {1});
  ASSERT_EQ(replies_.size(), 1u);
  BinaryReply copy = replies_[0];

  const uint8_t first[] = {1};
  const uint8_t second[] = {2};
  testing::internal::CaptureStderr();
  copy(first, 1);
  replies_[0](second, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateLine);
  EXPECT_EQ(fake().ResponseTo(0), std::optional<Bytes>(Bytes{1}));
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), 1u);
}

TEST_F(MessengerTest, ReplyKeepsOneMessengerReferenceUntilItsLastCopyIsGone) {
  KeepReplies();
  fake().Deliver(kChannel, {1});
  EXPECT_EQ(fake().OutstandingMessengerReferences(), 1);
  BinaryReply copy = replies_[0];
  replies_[0](nullptr, 0);
  replies_.clear();
  EXPECT_EQ(fake().OutstandingMessengerReferences(), 1);
  copy = nullptr;
  EXPECT_EQ(fake().OutstandingMessengerReferences(), 0);
}

TEST_F(MessengerTest, HandlerThatNeverAnswersSendsNothingAndReleasesTheReference) {
  fake().ExpectUnansweredResponses(1);
  messenger_.SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply) {});

  EXPECT_EQ(fake().Deliver(kChannel, {1}), std::nullopt);
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), 0u);
  EXPECT_EQ(fake().OutstandingMessengerReferences(), 0);
}

TEST_F(MessengerTest, ReplyAfterTheEngineIsGoneSendsAndWritesNothing) {
  fake().ExpectUnansweredResponses(1);
  KeepReplies();
  fake().Deliver(kChannel, {1});
  DestroyEngine();

  testing::internal::CaptureStderr();
  replies_[0](nullptr, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), 0u);
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerLock"),
            fake().CallCount("FlutterDesktopMessengerUnlock"));
  replies_.clear();
  EXPECT_EQ(fake().OutstandingMessengerReferences(), 0);
}

// Availability is checked, and the response sent, inside the library's lock;
// a null token means there is nothing to unlock.
TEST_F(MessengerTest, AnswerFollowsTheLockAndAvailabilityProtocol) {
  struct Case {
    const char* name;
    bool null_tokens;
    bool available;
    std::vector<std::string> calls;
  };
  // The null-token cases come last: the fake cannot take that script back.
  const std::vector<Case> cases = {
      {"locked, available", false, true,
       {"FlutterDesktopMessengerLock", "FlutterDesktopMessengerIsAvailable",
        "FlutterDesktopMessengerSendResponse", "FlutterDesktopMessengerUnlock"}},
      {"locked, unavailable", false, false,
       {"FlutterDesktopMessengerLock", "FlutterDesktopMessengerIsAvailable",
        "FlutterDesktopMessengerUnlock"}},
      {"null token, available", true, true,
       {"FlutterDesktopMessengerLock", "FlutterDesktopMessengerIsAvailable",
        "FlutterDesktopMessengerSendResponse"}},
      {"null token, unavailable", true, false,
       {"FlutterDesktopMessengerLock", "FlutterDesktopMessengerIsAvailable"}},
  };
  KeepReplies();
  size_t unanswered = 0;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    replies_.clear();
    fake().Deliver(kChannel, {1});
    if (test_case.null_tokens) {
      fake().ReturnNullLockTokens();
    }
    fake().SetMessengersAvailable(test_case.available);
    const size_t first_call = fake().Calls().size();

    replies_[0](nullptr, 0);

    const std::vector<std::string> calls = fake().Calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + first_call, calls.end()),
              test_case.calls);
    unanswered += test_case.available ? 0 : 1;
    fake().SetMessengersAvailable(true);
  }
  replies_.clear();
  fake().ExpectUnansweredResponses(unanswered);
}

TEST_F(MessengerTest, SendWithoutReplyPassesBytesAndChannelOnly) {
  const uint8_t message[] = {4, 5, 6};
  messenger_.Send(kChannel, message, sizeof(message));
  messenger_.Send("other", nullptr, 0);

  const std::vector<fake_engine::SentMessage> sent = fake().Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].channel, kChannel);
  EXPECT_EQ(sent[0].bytes, (Bytes{4, 5, 6}));
  EXPECT_FALSE(sent[0].with_reply);
  EXPECT_EQ(sent[1].channel, "other");
  EXPECT_TRUE(sent[1].message_is_null);
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendWithReply"), 0u);
}

TEST_F(MessengerTest, SendWithReplyDeliversTheResponseOnce) {
  std::vector<Bytes> responses;
  const uint8_t message[] = {1};
  messenger_.Send(kChannel, message, 1, [&responses](const uint8_t* reply, size_t size) {
    responses.emplace_back(reply, reply + size);
  });
  EXPECT_TRUE(responses.empty());

  ASSERT_TRUE(fake().AnswerSendWithReply(kChannel, {7, 7}));
  EXPECT_EQ(responses, std::vector<Bytes>{(Bytes{7, 7})});
  EXPECT_FALSE(fake().AnswerSendWithReply(kChannel, {8}));
}

TEST_F(MessengerTest, RefusedSendDestroysTheReplyWithoutCallingIt) {
  fake().RefuseSendsWithReply();
  auto witness = std::make_shared<int>(0);
  bool called = false;
  messenger_.Send(kChannel, nullptr, 0,
                  [witness, &called](const uint8_t*, size_t) { called = true; });

  EXPECT_EQ(witness.use_count(), 1);
  EXPECT_FALSE(called);
  EXPECT_EQ(fake().Sent().size(), 1u);
}

TEST_F(MessengerTest, RemovingAHandlerThatIsNotThereStillUnregistersTheChannel) {
  messenger_.SetMessageHandler("never/set", nullptr);

  const std::vector<fake_engine::CallbackRegistration> registrations =
      fake().CallbackRegistrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].channel, "never/set");
  EXPECT_FALSE(registrations[0].registered);
  EXPECT_EQ(registrations[0].user_data, nullptr);
}

TEST_F(MessengerTest, RemovingAHandlerDestroysItAndUnregistersTheChannel) {
  auto witness = std::make_shared<int>(0);
  messenger_.SetMessageHandler(kChannel, [witness](const uint8_t*, size_t, BinaryReply) {});
  messenger_.SetMessageHandler(kChannel, nullptr);

  EXPECT_EQ(witness.use_count(), 1);
  EXPECT_FALSE(fake().HasMessageCallback(kChannel));
}

TEST_F(MessengerTest, ReplacingAHandlerDestroysTheOldOneAndRegistersTheSameUserData) {
  auto old_witness = std::make_shared<int>(0);
  messenger_.SetMessageHandler(kChannel,
                               [old_witness](const uint8_t*, size_t, BinaryReply reply) {
                                 const uint8_t answer[] = {1};
                                 reply(answer, 1);
                               });
  messenger_.SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {2};
    reply(answer, 1);
  });

  EXPECT_EQ(old_witness.use_count(), 1);
  const std::vector<fake_engine::CallbackRegistration> registrations =
      fake().CallbackRegistrations();
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_TRUE(registrations[1].registered);
  EXPECT_EQ(registrations[0].user_data, registrations[1].user_data);
  EXPECT_EQ(fake().Deliver(kChannel, {0}), std::optional<Bytes>(Bytes{2}));
}

TEST_F(MessengerTest, HandlersOfOtherChannelsStayInPlaceWhenTheTableGrows) {
  messenger_.SetMessageHandler("a", [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer[] = {'a'};
    reply(answer, 1);
  });
  for (int i = 0; i < 64; ++i) {
    messenger_.SetMessageHandler("filler/" + std::to_string(i),
                                 [](const uint8_t*, size_t, BinaryReply) {});
  }
  EXPECT_EQ(fake().Deliver("a", {0}), std::optional<Bytes>(Bytes{'a'}));
}

}  // namespace
}  // namespace flutter
