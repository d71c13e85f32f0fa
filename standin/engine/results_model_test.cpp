#include "standin/engine/results_model.h"

#include <gtest/gtest.h>

#include "encoding/standard_method_codec.h"

namespace standin {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

std::vector<uint8_t> HostEvent(const std::string& ip, bool success) {
  const EncodableValue event(EncodableMap{{EncodableValue("ip"), EncodableValue(ip)},
                                          {EncodableValue("success"), EncodableValue(success)}});
  return *flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&event);
}

TEST(ResultsModel, FollowsOneSweepFromListenToEndOfStream) {
  ResultsModel model;
  model.OnListenSent(100);
  EXPECT_FALSE(model.sweeping());
  model.OnListenResponse({0x00, 0x00});
  EXPECT_TRUE(model.sweeping());
  model.OnStreamMessage(HostEvent("10.77.0.7", true), 200);
  model.OnStreamMessage(HostEvent("10.77.0.1", true), 210);
  model.OnStreamMessage(HostEvent("10.77.0.2", false), 220);
  model.OnStreamMessage(HostEvent("10.77.0.254", false), 230);
  EXPECT_EQ(model.probed(), 4);
  EXPECT_EQ(model.answered(), 2);
  EXPECT_EQ(model.state(7), HostState::kAnswered);
  EXPECT_EQ(model.state(2), HostState::kSilent);
  EXPECT_EQ(model.state(3), HostState::kUnknown);
  EXPECT_EQ(model.AnsweringAddresses(), (std::vector<std::string>{"10.77.0.1", "10.77.0.7"}));
  EXPECT_DOUBLE_EQ(model.ElapsedMs(500), 400);
  model.OnStreamMessage({}, 1100);
  EXPECT_FALSE(model.sweeping());
  EXPECT_EQ(model.streams_ended(), 1);
  EXPECT_DOUBLE_EQ(model.ElapsedMs(5000), 1000) << "elapsed time stops at the end";
}

TEST(ResultsModel, ARepeatedSweepUpdatesHostsWithoutCountingThemTwice) {
  ResultsModel model;
  model.OnStreamMessage(HostEvent("10.0.0.5", true), 0);
  model.OnStreamMessage(HostEvent("10.0.0.5", false), 0);
  EXPECT_EQ(model.probed(), 1);
  EXPECT_EQ(model.answered(), 0);
  EXPECT_EQ(model.state(5), HostState::kSilent);
}

TEST(ResultsModel, AnErrorAnswerToListenStartsNoStream) {
  ResultsModel model;
  model.OnListenSent(0);
  model.OnListenResponse(
      *flutter::StandardMethodCodec::GetInstance().EncodeErrorEnvelope("error", "no thread"));
  EXPECT_EQ(model.streams_started(), 0);
  EXPECT_FALSE(model.sweeping());
}

TEST(ResultsModel, CountsWhatItCannotUnderstandAndChangesNoHost) {
  const EncodableValue not_a_map("text");
  const EncodableValue wrong_types(EncodableMap{{EncodableValue("ip"), EncodableValue(7)},
                                                {EncodableValue("success"), EncodableValue(true)}});
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const std::vector<std::vector<uint8_t>> malformed = {
      {0x05},
      *codec.EncodeSuccessEnvelope(&not_a_map),
      *codec.EncodeSuccessEnvelope(&wrong_types),
      HostEvent("10.0.0.0", true),
      HostEvent("10.0.0.255", true),
      HostEvent("10.0.0.x", true),
      HostEvent("nonsense", true),
  };
  ResultsModel model;
  for (const auto& bytes : malformed) model.OnStreamMessage(bytes, 0);
  EXPECT_EQ(model.malformed(), static_cast<int>(malformed.size()));
  EXPECT_EQ(model.probed(), 0);
  EXPECT_EQ(model.events(), 4) << "well-formed events with unusable addresses still count";
}

}  // namespace
}  // namespace standin
