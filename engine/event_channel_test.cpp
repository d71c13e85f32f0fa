#include "engine/event_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
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

// The error envelope the codec, tested on its own, gives for these fields.
Bytes ErrorEnvelope(const std::string& code, const std::string& message,
                    const EncodableValue& details = EncodableValue()) {
  return *StandardMethodCodec::GetInstance().EncodeErrorEnvelope(code, message, &details);
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
  const EncodableValue details(int32_t{7});
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

// Decoded calls always carry arguments (the null value when the Dart side
// sent none); only the cancel implied by a second "listen" passes none. A
// sink keeps sending after "cancel": stopping is the producer's business.
TEST_F(EventChannelTest, HandlerGetsDecodedArgumentsAndSinksSendTheirEnvelopes) {
  Register(LoggingHandler(&log_));
  Call("listen");
  Call("listen", std::make_unique<EncodableValue>(int32_t{5}));
  Call("cancel", std::make_unique<EncodableValue>("bye"));
  EXPECT_EQ(log_.arguments, (std::vector<std::optional<EncodableValue>>{
                                EncodableValue(), std::nullopt, EncodableValue(int32_t{5}),
                                EncodableValue("bye")}));
  EventSink<EncodableValue>& sink = *log_.sinks.at(0);

  sink.Success();
  sink.Success(EncodableValue(int32_t{1}));
  const EncodableValue details(true);
  sink.Error("e", "m", &details);
  sink.EndOfStream();

  EXPECT_EQ(fake().SentOn(kChannel),
            (std::vector<Bytes>{kSuccess, {0x00, 0x03, 0x01, 0x00, 0x00, 0x00},
                                ErrorEnvelope("e", "m", details), kEmpty}));
  const std::vector<fake_engine::SentMessage> sent = fake().Sent();
  EXPECT_TRUE(sent.at(3).message_is_null);
  EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), [](const auto& m) { return m.with_reply; }));
}

// The listening flag belongs to one registration; null unregisters. Handler
// functions without callables answer with their errors.
TEST_F(EventChannelTest, RegistrationsStartNotListeningAndNullUnregisters) {
  Register(LoggingHandler(&log_));
  Call("listen");
  Register(std::make_unique<StreamHandlerFunctions<EncodableValue>>(nullptr, nullptr));
  EXPECT_EQ(Call("cancel"), kNotActive);
  EXPECT_EQ(Call("listen"), ErrorEnvelope("error", "No OnListen handler set"));
  EXPECT_EQ(Call("cancel"), ErrorEnvelope("error", "No OnCancel handler set"));

  Register(nullptr);
  EXPECT_EQ(Call("listen"), std::nullopt);
}

}  // namespace
}  // namespace flutter
