#include "encoding/standard_method_codec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "encoding/codec_test_support.h"

namespace flutter {
namespace {

using testing::CerrCapture;
using testing::Hex;
using testing::kInvalidRead;
using testing::Streams;
using testing::TaggedSerializer;
using testing::ToHex;

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

// A value as its wire bytes (a custom value as tagged), or "none".
std::string Text(const EncodableValue* value) {
  const TaggedSerializer serializer;
  return value == nullptr
             ? "none"
             : ToHex(testing::Encode(*value, Streams::kBuiltIn, serializer));
}

// Each call a decoder made: "success VALUE" or "error CODE|MESSAGE|DETAILS".
struct RecordingResult : MethodResult<EncodableValue> {
  void Success(const EncodableValue* result) override {
    calls.push_back("success " + Text(result));
  }
  void Error(const std::string& code, const std::string& message,
             const EncodableValue* details) override {
    calls.push_back("error " + code + "|" + message + "|" + Text(details));
  }
  std::vector<std::string> calls;
};

TEST(StandardMethodCodec, EncodesCallsAndEnvelopes) {
  const EncodableValue yes(true);
  const EncodableValue one(1.0);
  const EncodableValue event(
      EncodableMap{{"ip", "192.168.1.5"}, {"success", true}});
  const struct {
    std::unique_ptr<std::vector<uint8_t>> bytes;
    const char* expected;
  } cases[] = {
      {Codec().EncodeMethodCall({"listen", nullptr}),
       "07 06 6C 69 73 74 65 6E 00"},
      {Codec().EncodeSuccessEnvelope(), "00 00"},
      {Codec().EncodeSuccessEnvelope(&yes), "00 01"},
      // Padding counts the envelope byte.
      {Codec().EncodeSuccessEnvelope(&one),
       "00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {Codec().EncodeSuccessEnvelope(&event),
       "00 0D 02 07 02 69 70 07 0B 31 39 32 2E 31 36 38 2E 31 2E 35 "
       "07 07 73 75 63 63 65 73 73 01"},
      {Codec().EncodeErrorEnvelope("e"), "01 07 01 65 00 00"},
      {Codec().EncodeErrorEnvelope("", "m", &yes), "01 07 00 07 01 6D 01"},
      {Codec().EncodeErrorEnvelope("e", "", &one),
       "01 07 01 65 00 06 00 00 00 00 00 00 00 00 F0 3F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToHex(*c.bytes), c.expected);
  }
}

// A decoded call is shown as "NAME ARGUMENTS", a refused one as "none".
TEST(StandardMethodCodec, DecodesMethodCalls) {
  const std::string not_a_call =
      "Invalid method call; method name is not a string.\n";
  const struct {
    const char* bytes;
    const char* call;
    std::string diagnostics;
  } cases[] = {
      {"07 06 6C 69 73 74 65 6E 00", "listen 00", ""},
      {"07 06 6C 69 73 74 65 6E", "listen 00", kInvalidRead},
      {"05 01 6D 0D 01 07 01 61 01", "m 0D 01 07 01 61 01", ""},
      {"07 01 6D 02 FF FF", "m 02", ""},
      {"03 01 00 00 00 00", "none", not_a_call},
      {"", "none", kInvalidRead + not_a_call},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    const auto bytes = Hex(c.bytes);
    const auto call = Codec().DecodeMethodCall(bytes.data(), bytes.size());
    EXPECT_EQ(
        call ? call->method_name() + " " + Text(call->arguments()) : "none",
        c.call);
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.bytes;
  }
}

// An error envelope whose code is not a string, or whose message is neither
// null nor a string, throws before the receiver hears anything.
TEST(StandardMethodCodec, DecodesResponseEnvelopes) {
  enum Outcome { kUnrecognised, kRecognised, kThrows };
  const struct {
    const char* bytes;
    Outcome outcome;
    std::vector<std::string> calls;
    std::string diagnostics;
  } cases[] = {
      {"00 07 01 61", kRecognised, {"success 07 01 61"}, ""},
      {"00 00", kRecognised, {"success none"}, ""},
      {"", kRecognised, {"success none"}, kInvalidRead + kInvalidRead},
      {"01 07 01 63 00 00", kRecognised, {"error c||none"}, ""},
      {"01 07 01 63 07 01 6D 01", kRecognised, {"error c|m|01"}, ""},
      {"02", kUnrecognised, {}, ""},
      {"01 03 01 00 00 00 00 00", kThrows, {}, ""},
      {"01 07 01 63 01 00", kThrows, {}, ""},
  };
  for (const auto& c : cases) {
    CerrCapture cerr;
    RecordingResult result;
    const auto bytes = Hex(c.bytes);
    Outcome outcome = kThrows;
    try {
      outcome =
          Codec().DecodeResponseEnvelope(bytes.data(), bytes.size(), &result)
              ? kRecognised
              : kUnrecognised;
    } catch (const std::bad_variant_access& error) {
      EXPECT_STREQ(error.what(), "bad variant access") << c.bytes;
    }
    EXPECT_EQ(outcome, c.outcome) << c.bytes;
    EXPECT_EQ(result.calls, c.calls) << c.bytes;
    EXPECT_EQ(cerr.text(), c.diagnostics) << c.bytes;
  }
}

// One codec per serializer. A derived serializer gets names, codes and
// messages as values, although the codec writes them for the standard one
// without building values, and its tags work inside calls and envelopes.
TEST(StandardMethodCodec, DerivedSerializerGetsItsOwnCodec) {
  const TaggedSerializer serializer;
  const StandardMethodCodec& codec =
      StandardMethodCodec::GetInstance(&serializer);
  EXPECT_EQ(&Codec(), &StandardMethodCodec::GetInstance(
                          &StandardCodecSerializer::GetInstance()));
  EXPECT_NE(&codec, &Codec());
  EXPECT_EQ(&codec, &StandardMethodCodec::GetInstance(&serializer));

  const MethodCall<EncodableValue> named("a method name longer than 15",
                                         nullptr);
  EXPECT_EQ(*codec.EncodeMethodCall(named), *Codec().EncodeMethodCall(named));
  EXPECT_EQ(*codec.EncodeErrorEnvelope("code", "message"),
            *Codec().EncodeErrorEnvelope("code", "message"));
  EXPECT_EQ(serializer.written,
            (std::vector<EncodableValue>{"a method name longer than 15",
                                         EncodableValue(), "code", "message",
                                         EncodableValue()}));

  const EncodableValue tagged(
      EncodableList{CustomEncodableValue(EncodableValue(7))});
  const std::string tagged_bytes = "0C 01 80 03 07 00 00 00";
  CerrCapture cerr;
  const auto call_bytes = Hex("07 04 64 72 61 77 " + tagged_bytes);
  const auto call =
      codec.DecodeMethodCall(call_bytes.data(), call_bytes.size());
  EXPECT_EQ(call ? Text(call->arguments()) : "none", tagged_bytes);
  RecordingResult result;
  for (const auto& envelope : {codec.EncodeSuccessEnvelope(&tagged),
                               codec.EncodeErrorEnvelope("e", "m", &tagged)}) {
    codec.DecodeResponseEnvelope(envelope->data(), envelope->size(), &result);
  }
  EXPECT_EQ(result.calls,
            (std::vector<std::string>{"success " + tagged_bytes,
                                      "error e|m|" + tagged_bytes}));
  EXPECT_EQ(cerr.text(), "");
}

// Both threads ask for both codecs at once, after a start line that neither
// passes before the other has reached it.
TEST(StandardMethodCodec, ThreadsAskingAtOnceGetOneCodecPerSerializer) {
  const TaggedSerializer serializers[2];
  const StandardMethodCodec* codecs[2][2] = {};
  std::atomic<int> not_started{2};
  const auto ask = [&](int thread) {
    for (--not_started; not_started.load() != 0;) {
    }
    for (int i = 0; i < 2; ++i) {
      codecs[thread][i] = &StandardMethodCodec::GetInstance(&serializers[i]);
    }
  };
  std::thread first(ask, 0), second(ask, 1);
  first.join();
  second.join();
  EXPECT_EQ(codecs[0][0], codecs[1][0]);
  EXPECT_EQ(codecs[0][1], codecs[1][1]);
  EXPECT_NE(codecs[0][0], codecs[0][1]);
}

}  // namespace
}  // namespace flutter
