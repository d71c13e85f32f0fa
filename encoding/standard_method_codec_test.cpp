#include "encoding/standard_method_codec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::AsPoint;
using testing::CerrCapture;
using testing::Hex;
using testing::kInvalidRead;
using testing::PointSerializer;
using testing::PointValue;
using testing::ToHex;

const char kInvalidMethodCall[] =
    "Invalid method call; method name is not a string.\n";

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

// What DecodeResponseEnvelope handed over, copied out of the call.
struct Received {
  bool success = false;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;

  bool operator==(const Received& other) const {
    return success == other.success && code == other.code &&
           message == other.message && value == other.value;
  }
};

void PrintTo(const Received& received, std::ostream* out) {
  *out << (received.success ? "Success" : "Error") << " code=" << received.code
       << " message=" << received.message
       << (received.value ? " with value" : " without value");
}

class RecordingResult : public MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    calls_.push_back({true, "", "", Copy(result)});
  }
  void Error(const std::string& code, const std::string& message,
             const EncodableValue* details) override {
    calls_.push_back({false, code, message, Copy(details)});
  }
  const std::vector<Received>& calls() const { return calls_; }

 private:
  static std::optional<EncodableValue> Copy(const EncodableValue* value) {
    return value == nullptr ? std::nullopt
                            : std::optional<EncodableValue>(*value);
  }
  std::vector<Received> calls_;
};

TEST(StandardMethodCodec, EncodesEnvelopes) {
  const EncodableValue yes(true);
  const EncodableValue one(1.0);
  const EncodableValue event(
      EncodableMap{{"ip", "192.168.1.5"}, {"success", true}});
  const struct {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    const char* expected;
  } cases[] = {
      {"success without result", Codec().EncodeSuccessEnvelope(), "00 00"},
      {"success true", Codec().EncodeSuccessEnvelope(&yes), "00 01"},
      {"success pads from the envelope byte",
       Codec().EncodeSuccessEnvelope(&one),
       "00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"host event", Codec().EncodeSuccessEnvelope(&event),
       "00 0D 02 07 02 69 70 07 0B 31 39 32 2E 31 36 38 2E 31 2E 35 "
       "07 07 73 75 63 63 65 73 73 01"},
      {"error with code only", Codec().EncodeErrorEnvelope("e"),
       "01 07 01 65 00 00"},
      {"error with empty code, message and details",
       Codec().EncodeErrorEnvelope("", "m", &yes), "01 07 00 07 01 6D 01"},
      {"error details pad from the envelope byte",
       Codec().EncodeErrorEnvelope("e", "", &one),
       "01 07 01 65 00 06 00 00 00 00 00 00 00 00 F0 3F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToHex(*c.bytes), c.expected) << c.name;
  }
  EXPECT_EQ(cases[3].bytes->size(), 30u);
}

TEST(StandardMethodCodec, EncodesMethodCalls) {
  const MethodCall<EncodableValue> bare("listen", nullptr);
  EXPECT_EQ(ToHex(*Codec().EncodeMethodCall(bare)),
            "07 06 6C 69 73 74 65 6E 00");
  const MethodCall<EncodableValue> with_arguments(
      "cancel", std::make_unique<EncodableValue>(std::vector<int32_t>{1}));
  EXPECT_EQ(ToHex(*Codec().EncodeMethodCall(with_arguments)),
            "07 06 63 61 6E 63 65 6C 09 01 00 00 01 00 00 00");
}

TEST(StandardMethodCodec, DecodesMethodCalls) {
  const struct {
    const char* name;
    const char* bytes;
    std::string diagnostics;
    const char* method;
    EncodableValue arguments;
  } cases[] = {
      {"listen without arguments", "07 06 6C 69 73 74 65 6E 00", "", "listen",
       EncodableValue()},
      {"arguments missing", "07 06 6C 69 73 74 65 6E", kInvalidRead, "listen",
       EncodableValue()},
      {"map arguments", "07 01 6D 0D 01 07 01 61 01", "", "m",
       EncodableValue(EncodableMap{{"a", true}})},
      {"alternative string name", "05 01 6D 01", "", "m", EncodableValue(true)},
      {"trailing bytes ignored", "07 01 6D 02 FF FF", "", "m",
       EncodableValue(false)},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    const auto bytes = Hex(c.bytes);
    const auto call = Codec().DecodeMethodCall(bytes.data(), bytes.size());
    ASSERT_NE(call, nullptr) << c.name;
    EXPECT_EQ(call->method_name(), c.method) << c.name;
    ASSERT_NE(call->arguments(), nullptr) << c.name;
    EXPECT_EQ(*call->arguments(), c.arguments) << c.name;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.name;
  }
}

TEST(StandardMethodCodec, RejectsCallsWhoseNameIsNotAString) {
  const struct {
    const char* bytes;
    std::string diagnostics;
  } cases[] = {
      {"03 01 00 00 00 00", kInvalidMethodCall},
      {"", std::string(kInvalidRead) + kInvalidMethodCall},
      {"00 00", kInvalidMethodCall},
      {"0F 00",
       "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n" +
           std::string(kInvalidMethodCall)},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    const auto bytes = Hex(c.bytes);
    EXPECT_EQ(Codec().DecodeMethodCall(bytes.data(), bytes.size()), nullptr)
        << c.bytes;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.bytes;
  }
}

TEST(StandardMethodCodec, DecodesResponseEnvelopes) {
  const struct {
    const char* bytes;
    bool recognised;
    std::vector<Received> calls;
    std::string diagnostics;
  } cases[] = {
      {"00 07 01 61", true, {{true, "", "", EncodableValue("a")}}, ""},
      {"00 00", true, {{true, "", "", std::nullopt}}, ""},
      {"00 00 FF", true, {{true, "", "", std::nullopt}}, ""},
      {"01 07 01 63 00 00", true, {{false, "c", "", std::nullopt}}, ""},
      {"01 07 01 63 07 01 6D 0C 01 01",
       true,
       {{false, "c", "m", EncodableValue(EncodableList{true})}},
       ""},
      {"01 07 00 00", true, {{false, "", "", std::nullopt}}, kInvalidRead},
      {"02", false, {}, ""},
      {"FF 00", false, {}, ""},
      {"",
       true,
       {{true, "", "", std::nullopt}},
       std::string(kInvalidRead) + kInvalidRead},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    RecordingResult result;
    const auto bytes = Hex(c.bytes);
    EXPECT_EQ(
        Codec().DecodeResponseEnvelope(bytes.data(), bytes.size(), &result),
        c.recognised)
        << c.bytes;
    EXPECT_EQ(result.calls(), c.calls) << c.bytes;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.bytes;
  }
}

TEST(StandardMethodCodec, ErrorEnvelopeOfWrongTypesThrowsBeforeTheReceiver) {
  for (const char* text :
       {"01 03 01 00 00 00 00 00", "01 00 00 00",
        "01 07 01 63 03 01 00 00 00 00", "01 07 01 63 01 00"}) {
    RecordingResult result;
    const auto bytes = Hex(text);
    EXPECT_THROW(
        Codec().DecodeResponseEnvelope(bytes.data(), bytes.size(), &result),
        std::bad_variant_access)
        << text;
    EXPECT_TRUE(result.calls().empty()) << text;
  }
}

TEST(StandardMethodCodec, OneCodecPerSerializer) {
  const PointSerializer serializer;
  const StandardMethodCodec& standard = StandardMethodCodec::GetInstance();
  EXPECT_EQ(&standard, &StandardMethodCodec::GetInstance(nullptr));
  EXPECT_EQ(&standard, &StandardMethodCodec::GetInstance(
                           &StandardCodecSerializer::GetInstance()));
  const StandardMethodCodec& extended =
      StandardMethodCodec::GetInstance(&serializer);
  EXPECT_NE(&extended, &standard);
  EXPECT_EQ(&extended, &StandardMethodCodec::GetInstance(&serializer));
}

TEST(StandardMethodCodec, DerivedSerializerWorksInsideCallsAndEnvelopes) {
  const PointSerializer serializer;
  const StandardMethodCodec& codec =
      StandardMethodCodec::GetInstance(&serializer);
  const EncodableValue shape(
      EncodableMap{{"corners", EncodableList{PointValue(1, 2)}}});
  auto corner = [](const EncodableValue& value) {
    return AsPoint(std::get<EncodableList>(
        std::get<EncodableMap>(value).at(EncodableValue("corners")))[0]);
  };
  CerrCapture cerr;

  const auto call_bytes = codec.EncodeMethodCall(MethodCall<EncodableValue>(
      "draw", std::make_unique<EncodableValue>(shape)));
  const auto call =
      codec.DecodeMethodCall(call_bytes->data(), call_bytes->size());
  ASSERT_NE(call, nullptr);
  ASSERT_NE(corner(*call->arguments()), nullptr);
  EXPECT_EQ(corner(*call->arguments())->y, 2);

  RecordingResult result;
  const auto success = codec.EncodeSuccessEnvelope(&shape);
  const auto error = codec.EncodeErrorEnvelope("e", "m", &shape);
  ASSERT_TRUE(
      codec.DecodeResponseEnvelope(success->data(), success->size(), &result));
  ASSERT_TRUE(
      codec.DecodeResponseEnvelope(error->data(), error->size(), &result));
  ASSERT_EQ(result.calls().size(), 2u);
  for (const Received& received : result.calls()) {
    ASSERT_TRUE(received.value.has_value());
    ASSERT_NE(corner(*received.value), nullptr);
    EXPECT_EQ(corner(*received.value)->x, 1);
  }
  EXPECT_EQ(cerr.text(), "");
}

// Host probes encode their events through the shared codec from many threads
// while the platform thread decodes; run under TSan this checks that nothing
// is shared between calls.
TEST(StandardMethodCodec, SharedCodecServesManyThreadsAtOnce) {
  const auto expected =
      Hex("00 0D 02 07 02 69 70 07 08 31 30 2E 30 2E 30 2E 31 "
          "07 07 73 75 63 63 65 73 73 02");
  constexpr int kThreads = 8;
  std::atomic<int> waiting{kThreads};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      const EncodableValue event(
          EncodableMap{{"ip", "10.0.0.1"}, {"success", false}});
      // Start together so that the calls overlap.
      waiting.fetch_sub(1);
      while (waiting.load() != 0) {
        std::this_thread::yield();
      }
      for (int i = 0; i < 200; ++i) {
        const auto bytes = Codec().EncodeSuccessEnvelope(&event);
        RecordingResult result;
        Codec().DecodeResponseEnvelope(bytes->data(), bytes->size(), &result);
        if (*bytes != expected || result.calls().size() != 1 ||
            *result.calls()[0].value != event) {
          mismatches.fetch_add(1);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace flutter
