#include "standin/engine/results_model.h"

#include <exception>

#include "encoding/standard_method_codec.h"

namespace standin {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Collects one decoded envelope.
class Envelope : public flutter::MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    success = true;
    if (result != nullptr) value = *result;
  }
  void Error(const std::string&, const std::string&, const EncodableValue*) override {}

  bool success = false;
  EncodableValue value;
};

// Decoding may throw on a malformed error envelope; such bytes are ignored,
// never fatal to the view.
bool Decode(const std::vector<uint8_t>& bytes, Envelope* envelope) {
  try {
    return flutter::StandardMethodCodec::GetInstance().DecodeResponseEnvelope(
        bytes.data(), bytes.size(), envelope);
  } catch (const std::exception&) {
    return false;
  }
}

// 1..254 from "a.b.c.N", with the prefix "a.b.c."; 0 when not such an address.
int HostNumber(const std::string& ip, std::string* prefix) {
  const size_t dot = ip.rfind('.');
  if (dot == std::string::npos || dot + 1 >= ip.size() || ip.size() - dot > 4) return 0;
  int number = 0;
  for (size_t i = dot + 1; i < ip.size(); ++i) {
    if (ip[i] < '0' || ip[i] > '9') return 0;
    number = number * 10 + (ip[i] - '0');
  }
  if (number < 1 || number > ResultsModel::kHosts) return 0;
  *prefix = ip.substr(0, dot + 1);
  return number;
}

}  // namespace

void ResultsModel::OnListenSent(double now_ms) {
  ++listens_sent_;
  if (first_listen_ms_ < 0) first_listen_ms_ = now_ms;
}

void ResultsModel::OnListenResponse(const std::vector<uint8_t>& bytes) {
  Envelope envelope;
  if (Decode(bytes, &envelope) && envelope.success) ++streams_started_;
}

void ResultsModel::OnStreamMessage(const std::vector<uint8_t>& bytes, double now_ms) {
  if (bytes.empty()) {
    ++streams_ended_;
    last_end_ms_ = now_ms;
    return;
  }
  Envelope envelope;
  if (!Decode(bytes, &envelope) || !envelope.success) return;
  const auto* map = std::get_if<EncodableMap>(&envelope.value);
  if (map == nullptr) return;
  const auto ip = map->find(EncodableValue("ip"));
  const auto success = map->find(EncodableValue("success"));
  if (ip == map->end() || success == map->end() ||
      !std::holds_alternative<std::string>(ip->second) ||
      !std::holds_alternative<bool>(success->second)) {
    return;
  }
  OnHostEvent(std::get<std::string>(ip->second), std::get<bool>(success->second));
}

void ResultsModel::OnHostEvent(const std::string& ip, bool success) {
  std::string prefix;
  const int host = HostNumber(ip, &prefix);
  if (host == 0) return;
  prefix_ = prefix;
  HostState& entry = states_[static_cast<size_t>(host - 1)];
  if (entry == HostState::kUnknown) ++probed_;
  if (entry == HostState::kAnswered) --answered_;
  entry = success ? HostState::kAnswered : HostState::kSilent;
  if (success) ++answered_;
}

std::vector<std::string> ResultsModel::AnsweringAddresses() const {
  std::vector<std::string> addresses;
  for (int host = 1; host <= kHosts; ++host) {
    if (state(host) == HostState::kAnswered) addresses.push_back(prefix_ + std::to_string(host));
  }
  return addresses;
}

double ResultsModel::ElapsedMs(double now_ms) const {
  if (first_listen_ms_ < 0) return 0;
  const double end = sweeping() || last_end_ms_ < 0 ? now_ms : last_end_ms_;
  return end - first_listen_ms_;
}

}  // namespace standin
