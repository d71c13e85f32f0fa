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

// Error envelope of two short strings and the given details, built by hand.
Bytes ErrorEnvelope(const std::string& code, const std::string& message,
                    const Bytes& details = {0x00}) {
  Bytes bytes = {0x01};
  for (const std::string& text : {code, message}) {
    bytes.push_back(0x07);
    bytes.push_back(static_cast<uint8_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
  }
  bytes.insert(bytes.end(), details.begin(), details.end());
  return bytes;
}

const Bytes kNotActive = ErrorEnvelope("error", "No active stream to cancel");

// What the stream handler saw, and whether it refuses.
struct HandlerLog {
  std::vector<std::string> calls;
  // For each call: the arguments, nullopt for a null pointer.
  std::vector<std::optional<EncodableValue>> arguments;
  std::vector<std::unique_ptr<EventSink<EncodableValue>>> sinks;
  bool refuse_listen = false;
  bool refuse_cancel = false;
  const EncodableValue* last_details = nullptr;

  Error Note(const char* call, const EncodableValue* args, bool refuse) {
    calls.emplace_back(call);
    arguments.push_back(args == nullptr ? std::nullopt
                                        : std::optional<EncodableValue>(*args));
    if (!refuse) return nullptr;
    auto error = std::make_unique<StreamHandlerError<EncodableValue>>(
        std::string(call) + "-no", "m", std::make_unique<EncodableValue>(int32_t{7}));
    last_details = error->error_details.get();
    return error;
  }
};

std::unique_ptr<StreamHandler<EncodableValue>> LoggingHandler(HandlerLog* log) {
  return std::make_unique<StreamHandlerFunctions<EncodableValue>>(
      [log](const EncodableValue* args, std::unique_ptr<EventSink<EncodableValue>>&& sink) {
        log->sinks.push_back(std::move(sink));
        return log->Note("listen", args, log->refuse_listen);
      },
      [log](const EncodableValue* args) { return log->Note("cancel", args, log->refuse_cancel); });
}

class EventChannelTest : public fake_engine::FakeEngineTest {
 protected:
  EventChannelTest()
      : engine_(fake_engine::CreateEngine()),
        messenger_(FlutterDesktopEngineGetMessenger(engine_)) {}
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
};

// Each row is a conversation with a fresh registration; the answers, the
// handler's calls and what was written on standard error must match.
TEST_F(EventChannelTest, ListenCancelConversations) {
  const Bytes details = {0x03, 0x07, 0x00, 0x00, 0x00};
  struct Case {
    const char* name;
    bool refuse_listen;
    bool refuse_cancel;
    std::vector<std::string> methods;
    std::vector<Bytes> answers;
    std::vector<std::string> handler_calls;
    std::string written;
  };
  const std::vector<Case> cases = {
      {"listen", false, false, {"listen"}, {kSuccess}, {"listen"}, ""},
      {"cancel without listen", false, false, {"cancel"}, {kNotActive}, {}, ""},
      {"listen, cancel, cancel", false, false, {"listen", "cancel", "cancel"},
       {kSuccess, kSuccess, kNotActive}, {"listen", "cancel"}, ""},
      {"second listen cancels the first", false, false, {"listen", "listen", "cancel"},
       {kSuccess, kSuccess, kSuccess}, {"listen", "cancel", "listen", "cancel"}, ""},
      {"refused listen still listens", true, false, {"listen", "cancel"},
       {ErrorEnvelope("listen-no", "m", details), kSuccess}, {"listen", "cancel"}, ""},
      {"refused cancel still stops", false, true, {"listen", "cancel", "cancel"},
       {kSuccess, ErrorEnvelope("cancel-no", "m", details), kNotActive}, {"listen", "cancel"},
       ""},
      {"refused implicit cancel is written out", false, true, {"listen", "listen"},
       {kSuccess, kSuccess}, {"listen", "cancel", "listen"}, "Failed to cancel existing stream: "
       "cancel-no, m, "},
      {"other methods", false, false, {"Listen", "LISTEN", "listen ", " listen", "Cancel", "", "x"},
       std::vector<Bytes>(7, kEmpty), {}, ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    HandlerLog log;
    log.refuse_listen = test_case.refuse_listen;
    log.refuse_cancel = test_case.refuse_cancel;
    Register(LoggingHandler(&log));
    std::vector<Bytes> answers;
    testing::internal::CaptureStderr();
    for (const std::string& method : test_case.methods) {
      answers.push_back(Call(method).value_or(Bytes{0xEE}));
    }
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answers, test_case.answers);
    EXPECT_EQ(log.calls, test_case.handler_calls);
    // The implicit cancel's error details are shown by address.
    std::ostringstream expected;
    expected << test_case.written;
    if (!test_case.written.empty()) expected << static_cast<const void*>(log.last_details);
    EXPECT_EQ(written, expected.str());
  }
}

// Decoded calls always carry arguments (the null value when the Dart side
// sent none); only the cancel implied by a second "listen" passes none.
TEST_F(EventChannelTest, ArgumentsReachTheHandlerAsDecoded) {
  Register(LoggingHandler(&log_));

  Call("listen");
  Call("listen", std::make_unique<EncodableValue>(int32_t{5}));
  Call("cancel", std::make_unique<EncodableValue>("bye"));

  EXPECT_EQ(log_.arguments, (std::vector<std::optional<EncodableValue>>{
                                EncodableValue(), std::nullopt, EncodableValue(int32_t{5}),
                                EncodableValue("bye")}));
}

TEST_F(EventChannelTest, UndecodableMessagesGetTheLineAndTheEmptyAnswer) {
  Register(LoggingHandler(&log_));
  const std::string line =
      std::string("Unable to construct method call from message on channel: ") + kChannel +
      "\n";
  // Nothing at all, an integer where the name belongs, a null name.
  for (const Bytes& message : {Bytes{}, Bytes{0x03, 0x01, 0x00, 0x00, 0x00}, Bytes{0x00}}) {
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

// A sink keeps sending after "cancel": stopping is the producer's business.
TEST_F(EventChannelTest, SinkOperationsSendTheirEnvelopesOnTheChannel) {
  Register(LoggingHandler(&log_));
  Call("listen");
  Call("cancel");
  EventSink<EncodableValue>& sink = *log_.sinks.at(0);

  sink.Success();
  sink.Success(EncodableValue(int32_t{1}));
  const EncodableValue details(true);
  sink.Error("e", "m", &details);
  sink.EndOfStream();

  EXPECT_EQ(fake().SentOn(kChannel),
            (std::vector<Bytes>{kSuccess, {0x00, 0x03, 0x01, 0x00, 0x00, 0x00},
                                ErrorEnvelope("e", "m", {0x01}), kEmpty}));
  const std::vector<fake_engine::SentMessage> sent = fake().Sent();
  EXPECT_TRUE(sent.at(3).message_is_null);
  EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), [](const auto& m) { return m.with_reply; }));
}

// The listening flag belongs to one registration; null unregisters.
TEST_F(EventChannelTest, NewRegistrationStartsNotListeningAndNullUnregisters) {
  Register(LoggingHandler(&log_));
  Call("listen");
  HandlerLog second;
  Register(LoggingHandler(&second));
  EXPECT_EQ(Call("cancel"), kNotActive);

  Register(nullptr);
  EXPECT_EQ(Call("listen"), std::nullopt);
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
  for (std::thread& worker : workers) worker.join();

  EXPECT_EQ(answers, std::vector<Bytes>(2 * kListens - 1, kSuccess));
  std::vector<int32_t> events;
  for (const Bytes& message : fake().SentOn(kChannel)) {
    ASSERT_EQ(message.size(), 6u);
    ASSERT_EQ(message[0], 0x00);
    ASSERT_EQ(message[1], 0x03);
    events.push_back(static_cast<int32_t>(message[2] | message[3] << 8 | message[4] << 16 |
                                          static_cast<uint32_t>(message[5]) << 24));
  }
  std::sort(events.begin(), events.end());
  std::vector<int32_t> expected(kListens * kThreadsPerSink * kEventsPerThread);
  for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int32_t>(i);
  EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace flutter
