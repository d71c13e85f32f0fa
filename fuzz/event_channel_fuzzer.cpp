// Feeds arbitrary messages to an event channel's handler through the
// engine double, as the Dart side would deliver them.
//
// Input: one byte of stream-handler behaviour, then messages, each a length
// byte and that many bytes (the last one takes whatever is left). The
// behaviour byte decides whether on-listen and on-cancel refuse, and whether
// on-listen sends its arguments as an event and an end of stream through the
// new sink at once.
//
// Beyond the sanitizers it checks, per message, that the answer came before
// the handler returned and is the one the listen/cancel protocol prescribes
// for it, that the handler was asked exactly what the protocol asks, and per
// input that the fake saw no problem (every message answered exactly once,
// references and handles balanced, nothing sent after the engine was gone).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "encoding/encodable_value.h"
#include "encoding/method_call.h"
#include "encoding/standard_method_codec.h"
#include "engine/binary_messenger_impl.h"
#include "engine/event_channel.h"
#include "engine/flutter_windows.h"
#include "engine/stream_handler_functions.h"
#include "fuzz/quiet_diagnostics.h"
#include "testing/fake_engine.h"

namespace {

using flutter::EncodableValue;
using flutter::EventSink;
using flutter::StandardMethodCodec;
using Bytes = std::vector<uint8_t>;
using Error = std::unique_ptr<flutter::StreamHandlerError<EncodableValue>>;

constexpr char kChannel[] = "fuzz/events";

constexpr uint8_t kRefuseListen = 1u << 0;
constexpr uint8_t kRefuseCancel = 1u << 1;
constexpr uint8_t kSendOnListen = 1u << 2;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "event_channel_fuzzer: %s\n", what);
  std::abort();
}

Error Refusal(const char* code) {
  return std::make_unique<flutter::StreamHandlerError<EncodableValue>>(
      code, "refused", std::make_unique<EncodableValue>(int32_t{7}));
}

// What the stream handler was asked, and the sinks it was handed.
struct HandlerState {
  uint8_t behaviour = 0;
  size_t listens = 0;
  size_t cancels = 0;
  size_t events_sent = 0;
  std::vector<std::unique_ptr<EventSink<EncodableValue>>> sinks;
};

std::unique_ptr<flutter::StreamHandler<EncodableValue>> Handler(HandlerState* state) {
  return std::make_unique<flutter::StreamHandlerFunctions<EncodableValue>>(
      [state](const EncodableValue* arguments,
              std::unique_ptr<EventSink<EncodableValue>>&& sink) -> Error {
        ++state->listens;
        Require(sink != nullptr, "on-listen was handed no sink");
        if (state->behaviour & kSendOnListen) {
          sink->Success(arguments);
          sink->EndOfStream();
          state->events_sent += 2;
        }
        state->sinks.push_back(std::move(sink));
        return (state->behaviour & kRefuseListen) ? Refusal("listen-refused") : nullptr;
      },
      [state](const EncodableValue*) -> Error {
        ++state->cancels;
        return (state->behaviour & kRefuseCancel) ? Refusal("cancel-refused") : nullptr;
      });
}

// The protocol, independent of the channel's code: what the answer to one
// message must be, given the listening flag before it.
struct Expectation {
  Bytes answer;
  size_t listens = 0;
  size_t cancels = 0;
  bool listening_after = false;
};

Expectation Expect(const Bytes& message, bool listening, uint8_t behaviour) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  std::unique_ptr<flutter::MethodCall<EncodableValue>> call =
      codec.DecodeMethodCall(message.data(), message.size());
  Expectation expected;
  expected.listening_after = listening;
  if (!call) {
    return expected;
  }
  const EncodableValue details(int32_t{7});
  auto answer = [&codec, &details](bool refused, const char* code) {
    return refused ? *codec.EncodeErrorEnvelope(code, "refused", &details) : Bytes{0x00, 0x00};
  };
  if (call->method_name() == "listen") {
    expected.cancels = listening ? 1 : 0;
    expected.listens = 1;
    expected.listening_after = true;
    expected.answer = answer(behaviour & kRefuseListen, "listen-refused");
  } else if (call->method_name() == "cancel" && !listening) {
    expected.answer = *codec.EncodeErrorEnvelope("error", "No active stream to cancel");
  } else if (call->method_name() == "cancel") {
    expected.cancels = 1;
    expected.listening_after = false;
    expected.answer = answer(behaviour & kRefuseCancel, "cancel-refused");
  }
  return expected;
}

std::vector<Bytes> SplitMessages(const uint8_t* data, size_t size) {
  std::vector<Bytes> messages;
  size_t position = 0;
  while (position < size) {
    const size_t length = data[position++];
    const size_t taken = length < size - position ? length : size - position;
    messages.emplace_back(data + position, data + position + taken);
    position += taken;
  }
  return messages;
}

void Converse(flutter::BinaryMessengerImpl& messenger, uint8_t behaviour,
              const std::vector<Bytes>& messages) {
  fake_engine::FakeEngine& fake = fake_engine::FakeEngine::Get();
  HandlerState state;
  state.behaviour = behaviour;
  {
    flutter::EventChannel<EncodableValue> channel(&messenger, kChannel,
                                                  &StandardMethodCodec::GetInstance());
    channel.SetStreamHandler(Handler(&state));
  }
  bool listening = false;
  for (const Bytes& message : messages) {
    const Expectation expected = Expect(message, listening, behaviour);
    const size_t listens_before = state.listens;
    const size_t cancels_before = state.cancels;
    const std::optional<Bytes> answer = fake.Deliver(kChannel, message);
    Require(answer.has_value(), "a message was not answered before the handler returned");
    Require(*answer == expected.answer, "the answer differs from the protocol's");
    Require(state.listens - listens_before == expected.listens, "on-listen calls differ");
    Require(state.cancels - cancels_before == expected.cancels, "on-cancel calls differ");
    listening = expected.listening_after;
  }
  Require(fake.SentOn(kChannel).size() == state.events_sent,
          "the sinks sent a different number of messages than asked");
  // Sinks borrow the messenger: they go first, as a host must arrange.
  state.sinks.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDiagnostics();
  if (size == 0) {
    return 0;
  }

  fake_engine::FakeEngine& fake = fake_engine::FakeEngine::Get();
  fake.Reset();
  FlutterDesktopEngineRef engine = fake_engine::CreateEngine();
  {
    // The wrapper outlives its engine, as in the host.
    flutter::BinaryMessengerImpl messenger(FlutterDesktopEngineGetMessenger(engine));
    Converse(messenger, data[0], SplitMessages(data + 1, size - 1));
    FlutterDesktopEngineDestroy(engine);
  }

  for (const std::string& problem : fake.Problems()) Require(false, problem.c_str());
  return 0;
}
