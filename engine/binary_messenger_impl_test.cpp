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
      : engine_(fake_engine::CreateEngine()),
        messenger_(FlutterDesktopEngineGetMessenger(engine_)) {}

  ~MessengerTest() override { DestroyEngine(); }

  void DestroyEngine() {
    if (engine_ != nullptr) FlutterDesktopEngineDestroy(std::exchange(engine_, nullptr));
  }

  // Installs a handler that keeps every reply it gets in replies_.
  void KeepReplies() {
    messenger_.SetMessageHandler(kChannel, [this](const uint8_t*, size_t, BinaryReply reply) {
      replies_.push_back(std::move(reply));
    });
  }

  static BinaryMessageHandler AnswerWith(uint8_t byte) {
    return [byte](const uint8_t*, size_t, BinaryReply reply) { reply(&byte, 1); };
  }

  FlutterDesktopEngineRef engine_;
  BinaryMessengerImpl messenger_;
  std::vector<BinaryReply> replies_;
};

// An empty message arrives as a null pointer with count 0.
TEST_F(MessengerTest, HandlerGetsTheMessageAndItsAnswerGoesBack) {
  std::vector<std::pair<bool, Bytes>> received;
  messenger_.SetMessageHandler(kChannel, [&received](const uint8_t* message, size_t size,
                                                     BinaryReply reply) {
    received.emplace_back(message == nullptr, Bytes(message, message + size));
    reply(message, size);
  });

  EXPECT_EQ(fake().Deliver(kChannel, {1, 2, 3}), std::optional<Bytes>(Bytes{1, 2, 3}));
  EXPECT_EQ(fake().Deliver(kChannel, {}), std::optional<Bytes>(Bytes{}));
  EXPECT_EQ(received, (std::vector<std::pair<bool, Bytes>>{{false, {1, 2, 3}}, {true, {}}}));
}

// The library consumes a response handle: neither a second call nor a copy
// of the reply may answer again. The messenger reference the reply holds goes
// with its last copy.
TEST_F(MessengerTest, OnlyTheFirstAnswerIsSentAndTheLastCopyReleasesTheMessenger) {
  KeepReplies();
  for (const bool through_copy : {false, true}) {
    SCOPED_TRACE(through_copy ? "copy" : "same reply");
    replies_.clear();
    fake().Deliver(kChannel, {1});
    BinaryReply second = through_copy ? replies_.at(0) : nullptr;
    const size_t sent_before = fake().CallCount("FlutterDesktopMessengerSendResponse");
    const uint8_t first_answer = 1;
    const uint8_t second_answer = 2;

    testing::internal::CaptureStderr();
    replies_[0](&first_answer, 1);
    (through_copy ? second : replies_[0])(&second_answer, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateLine);
    EXPECT_EQ(fake().ResponseTo(through_copy ? 1 : 0), std::optional<Bytes>(Bytes{1}));
    EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), sent_before + 1);
    replies_.clear();
    EXPECT_EQ(fake().OutstandingMessengerReferences(), through_copy ? 1 : 0);
    second = nullptr;
    EXPECT_EQ(fake().OutstandingMessengerReferences(), 0);
  }
  // Without a response handle there is nothing to answer: none beyond the two above.
  messenger_.SetMessageHandler(kChannel, AnswerWith(1));
  testing::internal::CaptureStderr();
  fake().DeliverWithoutResponseHandle(kChannel, {1});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateLine);
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSendResponse"), 2u);
}

// Availability is checked, and the response sent, inside the library's lock;
// a null token means there is nothing to unlock. A messenger whose engine is
// gone is unavailable too. Nothing is written either way.
TEST_F(MessengerTest, AnswerFollowsTheLockAndAvailabilityProtocol) {
  enum Messenger { kAvailable, kUnavailable, kEngineGone };
  struct Case {
    bool null_tokens;
    Messenger messenger;
    std::string calls;  // after "FlutterDesktopMessenger"
  };
  // The null-token cases come last, the engine's end last of all: the fake
  // cannot take either back.
  const Case cases[] = {
      {false, kAvailable, "Lock IsAvailable SendResponse Unlock "},
      {false, kUnavailable, "Lock IsAvailable Unlock "},
      {true, kAvailable, "Lock IsAvailable SendResponse "},
      {true, kUnavailable, "Lock IsAvailable "},
      {true, kEngineGone, "Lock IsAvailable "},
  };
  KeepReplies();
  size_t unanswered = 0;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.calls);
    replies_.clear();
    fake().Deliver(kChannel, {1});
    if (test_case.null_tokens) fake().ReturnNullLockTokens();
    fake().SetMessengersAvailable(test_case.messenger != kUnavailable);
    if (test_case.messenger == kEngineGone) DestroyEngine();
    const size_t first_call = fake().Calls().size();

    testing::internal::CaptureStderr();
    replies_[0](nullptr, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    const std::vector<std::string> calls = fake().Calls();
    std::string made;
    for (auto call = calls.begin() + first_call; call != calls.end(); ++call) {
      made += call->substr(std::string("FlutterDesktopMessenger").size()) + " ";
    }
    EXPECT_EQ(made, test_case.calls);
    unanswered += test_case.messenger == kAvailable ? 0 : 1;
    fake().SetMessengersAvailable(true);
  }
  replies_.clear();
  fake().ExpectUnansweredResponses(unanswered);
}

// A send without reply asks for none; a reply comes back once; a refused
// send destroys its reply uncalled.
TEST_F(MessengerTest, SendsCarryTheirBytesAndRepliesComeBackOnce) {
  const uint8_t message[] = {4, 5, 6};
  messenger_.Send(kChannel, message, sizeof(message));
  std::vector<Bytes> responses;
  messenger_.Send("other", nullptr, 0, [&responses](const uint8_t* reply, size_t size) {
    responses.emplace_back(reply, reply + size);
  });
  ASSERT_TRUE(fake().AnswerSendWithReply("other", {7, 7}));
  EXPECT_FALSE(fake().AnswerSendWithReply("other", {8}));
  EXPECT_EQ(responses, std::vector<Bytes>{(Bytes{7, 7})});

  fake().RefuseSendsWithReply();
  auto witness = std::make_shared<int>(0);
  messenger_.Send("refused", nullptr, 0, [witness](const uint8_t*, size_t) { FAIL(); });
  EXPECT_EQ(witness.use_count(), 1);

  const std::vector<fake_engine::SentMessage> sent = fake().Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].channel, kChannel);
  EXPECT_EQ(sent[0].bytes, (Bytes{4, 5, 6}));
  EXPECT_FALSE(sent[0].with_reply);
  EXPECT_TRUE(sent[1].message_is_null);
  EXPECT_TRUE(sent[1].with_reply);
}

// The library keeps the address of each handler, also while the table grows.
TEST_F(MessengerTest, HandlersAreReplacedRemovedAndKeptInPlace) {
  messenger_.SetMessageHandler(kChannel, AnswerWith(1));
  void* const first_user_data = fake().RegisteredUserData(kChannel);
  auto witness = std::make_shared<int>(0);
  messenger_.SetMessageHandler(kChannel, [witness](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t answer = 2;
    reply(&answer, 1);
  });
  EXPECT_EQ(fake().Deliver(kChannel, {0}), std::optional<Bytes>(Bytes{2}));
  EXPECT_EQ(fake().RegisteredUserData(kChannel), first_user_data);

  messenger_.SetMessageHandler(kChannel, nullptr);
  messenger_.SetMessageHandler("never/set", nullptr);
  EXPECT_EQ(witness.use_count(), 1);
  EXPECT_EQ(fake().Deliver(kChannel, {0}), std::nullopt);
  EXPECT_EQ(fake().CallCount("FlutterDesktopMessengerSetCallback"), 4u);

  messenger_.SetMessageHandler("a", AnswerWith('a'));
  for (int i = 0; i < 64; ++i) {
    messenger_.SetMessageHandler("filler/" + std::to_string(i), AnswerWith(0));
  }
  EXPECT_EQ(fake().Deliver("a", {0}), std::optional<Bytes>(Bytes{'a'}));
}

}  // namespace
}  // namespace flutter
