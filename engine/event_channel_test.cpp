#include "engine/event_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "encoding/encodable_value.h"
#include "encoding/standard_method_codec.h"
#include "engine/binary_messenger_impl.h"
#include "engine/stream_handler_functions.h"
#include "testing/fake_engine.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;
using Error = std::unique_ptr<StreamHandlerError<EncodableValue>>;

constexpr char kChannel[] = "test/events";

const Bytes kSuccess = {0x00, 0x00};
const Bytes kEmpty = {};

Bytes StringBytes(const std::string& text) {
  Bytes bytes = {0x07, static_cast<uint8_t>(text.size())};
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

// Error envelope of two short strings and no details, built by hand.
Bytes ErrorEnvelope(const std::string& code, const std::string& message) {
  Bytes bytes = {0x01};
  for (const std::string& text : {code, message}) {
    const Bytes part = StringBytes(text);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  bytes.push_back(0x00);
  return bytes;
}

// What the stream handler saw, and the errors it is told to return.
struct HandlerLog {
  std::vector<std::string> calls;
  // For each call: whether its arguments pointer was null, and the value.
  std::vector<std::optional<EncodableValue>> arguments;
  std::vector<std::unique_ptr<EventSink<EncodableValue>>> sinks;
  std::function<Error()> listen_error = [] { return nullptr; };
  std::function<Error()> cancel_error = [] { return nullptr; };

  void Note(const char* call, const EncodableValue* args) {
    calls.emplace_back(call);
    arguments.push_back(args == nullptr ? std::nullopt
                                        : std::optional<EncodableValue>(*args));
  }
};

std::unique_ptr<StreamHandler<EncodableValue>> LoggingHandler(HandlerLog* log) {
  return std::make_unique<StreamHandlerFunctions<EncodableValue>>(
      [log](const EncodableValue* args, std::unique_ptr<EventSink<EncodableValue>>&& sink) {
        log->Note("listen", args);
        log->sinks.push_back(std::move(sink));
        return log->listen_error();
      },
      [log](const EncodableValue* args) {
        log->Note("cancel", args);
        return log->cancel_error();
      });
}

class EventChannelTest : public fake_engine::FakeEngineTest {
 protected:
  EventChannelTest()
      : engine_(CreateEngine()), messenger_(FlutterDesktopEngineGetMessenger(engine_)) {}
  ~EventChannelTest() override {
    log_.sinks.clear();
    FlutterDesktopEngineDestroy(engine_);
  }

  void Register(std::unique_ptr<StreamHandler<EncodableValue>> handler) {
    EventChannel<EncodableValue> channel(&messenger_, kChannel,
                                         &StandardMethodCodec::GetInstance());
    channel.SetStreamHandler(std::move(handler));
  }

  std::optional<Bytes> Call(const std::string& method,
                            std::unique_ptr<EncodableValue> arguments = nullptr) {
    return fake().DeliverMethodCall(kChannel, method, std::move(arguments));
  }

  HandlerLog log_;
  FlutterDesktopEngineRef engine_;
  BinaryMessengerImpl messenger_;

 private:
  static FlutterDesktopEngineRef CreateEngine() {
    FlutterDesktopEngineProperties properties{};
    properties.dart_entrypoint = "";
    return FlutterDesktopEngineCreate(&properties);
  }
};

TEST_F(EventChannelTest, ListenIsAnsweredWithTheSuccessEnvelopeAndHandsOverASink) {
  Register(LoggingHandler(&log_));

  EXPECT_EQ(Call("listen"), kSuccess);
  EXPECT_EQ(log_.calls, std::vector<std::string>{"listen"});
  ASSERT_EQ(log_.sinks.size(), 1u);
  EXPECT_NE(log_.sinks[0], nullptr);
}

TEST_F(EventChannelTest, CancelWithoutListenIsRefusedWithoutAskingTheHandler) {
  Register(LoggingHandler(&log_));

  const Bytes expected = {0x01, 0x07, 0x05, 'e', 'r', 'r', 'o', 'r', 0x07, 0x1A, 'N', 'o',
                          ' ',  'a',  'c',  't', 'i', 'v', 'e', ' ', 's',  't',  'r', 'e',
                          'a',  'm',  ' ',  't', 'o', ' ', 'c', 'a', 'n',  'c',  'e', 'l',
                          0x00};
  EXPECT_EQ(Call("cancel"), expected);
  EXPECT_TRUE(log_.calls.empty());
}

// Each row is a conversation; the answers and the handler's calls must match.
TEST_F(EventChannelTest, ListenCancelSequences) {
  const Bytes not_active = ErrorEnvelope("error", "No active stream to cancel");
  struct Case {
    const char* name;
    std::vector<std::string> methods;
    std::vector<Bytes> answers;
    std::vector<std::string> handler_calls;
    size_t sinks;
  };
  const std::vector<Case> cases = {
      {"listen, cancel, cancel", {"listen", "cancel", "cancel"},
       {kSuccess, kSuccess, not_active}, {"listen", "cancel"}, 1},
      {"listen, listen cancels first", {"listen", "listen"},
       {kSuccess, kSuccess}, {"listen", "cancel", "listen"}, 2},
      {"listen, listen, cancel", {"listen", "listen", "cancel"},
       {kSuccess, kSuccess, kSuccess}, {"listen", "cancel", "listen", "cancel"}, 2},
      {"cancel, listen, cancel", {"cancel", "listen", "cancel"},
       {not_active, kSuccess, kSuccess}, {"listen", "cancel"}, 1},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    HandlerLog log;
    Register(LoggingHandler(&log));
    std::vector<Bytes> answers;
    for (const std::string& method : test_case.methods) {
      answers.push_back(Call(method).value_or(Bytes{0xEE}));
    }
    EXPECT_EQ(answers, test_case.answers);
    EXPECT_EQ(log.calls, test_case.handler_calls);
    EXPECT_EQ(log.sinks.size(), test_case.sinks);
  }
}

// Decoded calls always carry arguments (the null value when the Dart side
// sent none); only the cancel implied by a second "listen" passes none.
TEST_F(EventChannelTest, ArgumentsReachTheHandlerAsDecoded) {
  Register(LoggingHandler(&log_));

  Call("listen");
  Call("listen", std::make_unique<EncodableValue>(int32_t{5}));
  Call("cancel", std::make_unique<EncodableValue>("bye"));

  ASSERT_EQ(log_.calls,
            (std::vector<std::string>{"listen", "cancel", "listen", "cancel"}));
  ASSERT_TRUE(log_.arguments[0].has_value());
  EXPECT_TRUE(log_.arguments[0]->IsNull());
  EXPECT_FALSE(log_.arguments[1].has_value());
  EXPECT_EQ(log_.arguments[2], std::optional<EncodableValue>(int32_t{5}));
  EXPECT_EQ(log_.arguments[3], std::optional<EncodableValue>("bye"));
}

TEST_F(EventChannelTest, ErrorFromListenIsSentBackAndTheStreamCountsAsListening) {
  log_.listen_error = [] {
    return std::make_unique<StreamHandlerError<EncodableValue>>(
        "busy", "try later", std::make_unique<EncodableValue>(int32_t{7}));
  };
  Register(LoggingHandler(&log_));

  const Bytes expected = {0x01, 0x07, 0x04, 'b', 'u', 's', 'y', 0x07, 0x09, 't', 'r', 'y',
                          ' ',  'l',  'a',  't', 'e', 'r', 0x03, 0x07, 0x00, 0x00, 0x00};
  EXPECT_EQ(Call("listen"), expected);
  EXPECT_EQ(Call("cancel"), kSuccess);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"listen", "cancel"}));
}

TEST_F(EventChannelTest, ErrorFromCancelIsSentBackAndTheStreamStops) {
  log_.cancel_error = [] {
    return std::make_unique<StreamHandlerError<EncodableValue>>("stuck", "no", nullptr);
  };
  Register(LoggingHandler(&log_));

  Call("listen");
  EXPECT_EQ(Call("cancel"), ErrorEnvelope("stuck", "no"));
  EXPECT_EQ(Call("cancel"), ErrorEnvelope("error", "No active stream to cancel"));
}

TEST_F(EventChannelTest, FailedImplicitCancelIsWrittenOutAndTheListenGoesOn) {
  struct Case {
    const char* name;
    bool with_details;
  };
  for (const Case& test_case : {Case{"no details", false}, Case{"details", true}}) {
    SCOPED_TRACE(test_case.name);
    HandlerLog log;
    const EncodableValue* details = nullptr;
    log.cancel_error = [&details, &test_case] {
      auto error = std::make_unique<StreamHandlerError<EncodableValue>>(
          "c", "m",
          test_case.with_details ? std::make_unique<EncodableValue>(true) : nullptr);
      details = error->error_details.get();
      return error;
    };
    Register(LoggingHandler(&log));
    Call("listen");

    testing::internal::CaptureStderr();
    EXPECT_EQ(Call("listen"), kSuccess);
    const std::string written = testing::internal::GetCapturedStderr();

    std::ostringstream expected;
    expected << "Failed to cancel existing stream: c, m, " << static_cast<const void*>(details);
    EXPECT_EQ(written, expected.str());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"listen", "cancel", "listen"}));
  }
}

TEST_F(EventChannelTest, OtherMethodsGetTheEmptyAnswerAndReachNoHandler) {
  Register(LoggingHandler(&log_));
  for (const char* method : {"Listen", "LISTEN", "listen ", " listen", "cancel ", "Cancel",
                             "listenx", "", "pause"}) {
    SCOPED_TRACE(method);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Call(method), kEmpty);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(EventChannelTest, UndecodableMessagesGetTheLineAndTheEmptyAnswer) {
  Register(LoggingHandler(&log_));
  const std::string line =
      std::string("Unable to construct method call from message on channel: ") + kChannel +
      "\n";
  const std::vector<Bytes> messages = {
      {},                          // nothing at all
      {0x03, 0x01, 0x00, 0x00, 0x00},  // an integer where the name belongs
      {0x00},                      // a null name
  };
  for (const Bytes& message : messages) {
    SCOPED_TRACE(testing::PrintToString(message));
    testing::internal::CaptureStderr();
    EXPECT_EQ(fake().Deliver(kChannel, message), kEmpty);
    const std::string written = testing::internal::GetCapturedStderr();
    ASSERT_GE(written.size(), line.size());
    EXPECT_EQ(written.substr(written.size() - line.size()), line);
  }
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(EventChannelTest, HandlerFunctionsWithoutCallablesAnswerWithTheirErrors) {
  Register(std::make_unique<StreamHandlerFunctions<EncodableValue>>(nullptr, nullptr));

  EXPECT_EQ(Call("listen"), ErrorEnvelope("error", "No OnListen handler set"));
  EXPECT_EQ(Call("cancel"), ErrorEnvelope("error", "No OnCancel handler set"));
}

TEST_F(EventChannelTest, SinkOperationsSendTheirEnvelopesOnTheChannel) {
  Register(LoggingHandler(&log_));
  Call("listen");
  EventSink<EncodableValue>& sink = *log_.sinks.at(0);

  sink.Success();
  sink.Success(EncodableValue(int32_t{1}));
  sink.Error("e", "m");
  sink.EndOfStream();

  EXPECT_EQ(fake().SentOn(kChannel),
            (std::vector<Bytes>{kSuccess, {0x00, 0x03, 0x01, 0x00, 0x00, 0x00},
                                ErrorEnvelope("e", "m"), kEmpty}));
  const std::vector<fake_engine::SentMessage> sent = fake().Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_TRUE(sent[3].message_is_null);
  for (const fake_engine::SentMessage& message : sent) {
    EXPECT_FALSE(message.with_reply);
  }
}

TEST_F(EventChannelTest, SinksKeepSendingAfterCancelAndAlongsideNewerSinks) {
  Register(LoggingHandler(&log_));
  Call("listen");
  Call("cancel");
  log_.sinks.at(0)->Success(EncodableValue(true));
  Call("listen");
  log_.sinks.at(0)->Success(EncodableValue(false));
  log_.sinks.at(1)->Success(EncodableValue(true));

  EXPECT_EQ(fake().SentOn(kChannel),
            (std::vector<Bytes>{{0x00, 0x01}, {0x00, 0x02}, {0x00, 0x01}}));
}

TEST_F(EventChannelTest, NewRegistrationStartsNotListeningAndDropsTheOldHandler) {
  HandlerLog first;
  auto witness = std::make_shared<int>(0);
  Register(std::make_unique<StreamHandlerFunctions<EncodableValue>>(
      [&first, witness](const EncodableValue* args,
                        std::unique_ptr<EventSink<EncodableValue>>&&) -> Error {
        first.Note("listen", args);
        return nullptr;
      },
      [&first](const EncodableValue* args) -> Error {
        first.Note("cancel", args);
        return nullptr;
      }));
  Call("listen");
  EXPECT_EQ(witness.use_count(), 2);

  Register(LoggingHandler(&log_));
  EXPECT_EQ(witness.use_count(), 1);
  EXPECT_EQ(Call("cancel"), ErrorEnvelope("error", "No active stream to cancel"));
  EXPECT_EQ(first.calls, std::vector<std::string>{"listen"});
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(EventChannelTest, NullStreamHandlerUnregistersTheChannel) {
  Register(LoggingHandler(&log_));
  Register(nullptr);

  EXPECT_FALSE(fake().HasMessageCallback(kChannel));
  EXPECT_EQ(fake().CallbackRegistrations().back().registered, false);
}

// Sinks are used from worker threads without any lock while the platform
// thread goes on serving "listen" and "cancel"; run under ThreadSanitizer.
// Every event must arrive intact, exactly once.
TEST_F(EventChannelTest, SinksSendFromManyThreadsWhileListenAndCancelAreServed) {
  constexpr int32_t kListens = 3;
  constexpr int32_t kThreadsPerSink = 4;
  constexpr int32_t kEventsPerThread = 250;
  std::promise<void> start;
  std::shared_future<void> started = start.get_future().share();
  std::vector<std::thread> workers;
  int32_t listens = 0;
  Register(std::make_unique<StreamHandlerFunctions<EncodableValue>>(
      [&](const EncodableValue*, std::unique_ptr<EventSink<EncodableValue>>&& events) -> Error {
        std::shared_ptr<EventSink<EncodableValue>> sink = std::move(events);
        for (int32_t thread = 0; thread < kThreadsPerSink; ++thread) {
          const int32_t first = (listens * kThreadsPerSink + thread) * kEventsPerThread;
          const int32_t end = first + kEventsPerThread;
          workers.emplace_back([sink, first, end, started] {
            started.wait();
            for (int32_t event = first; event < end; ++event) {
              sink->Success(EncodableValue(event));
            }
          });
        }
        ++listens;
        return nullptr;
      },
      [](const EncodableValue*) -> Error { return nullptr; }));

  std::vector<Bytes> answers;
  answers.push_back(Call("listen").value_or(Bytes{}));
  start.set_value();
  for (int32_t i = 1; i < kListens; ++i) {
    answers.push_back(Call("cancel").value_or(Bytes{}));
    answers.push_back(Call("listen").value_or(Bytes{}));
  }
  for (std::thread& worker : workers) {
    worker.join();
  }

  EXPECT_EQ(answers, std::vector<Bytes>(2 * kListens - 1, kSuccess));
  std::vector<int32_t> events;
  for (const Bytes& message : fake().SentOn(kChannel)) {
    ASSERT_EQ(message.size(), 6u);
    ASSERT_EQ(message[0], 0x00);
    ASSERT_EQ(message[1], 0x03);
    events.push_back(static_cast<int32_t>(static_cast<uint32_t>(message[2]) |
                                          static_cast<uint32_t>(message[3]) << 8 |
                                          static_cast<uint32_t>(message[4]) << 16 |
                                          static_cast<uint32_t>(message[5]) << 24));
  }
  std::sort(events.begin(), events.end());
  std::vector<int32_t> expected(kListens * kThreadsPerSink * kEventsPerThread);
  for (size_t i = 0; i < expected.size(); ++i) {
    expected[i] = static_cast<int32_t>(i);
  }
  EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace flutter
