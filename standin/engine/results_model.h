// What the Dart side has learnt from the discovery channel: the state of
// each of the 254 hosts, progress, streams started and ended, and timing.
// Fed with the raw bytes the Dart side receives; owned by the script and
// used on the platform thread only.
#ifndef RIVELO_STANDIN_ENGINE_RESULTS_MODEL_H_
#define RIVELO_STANDIN_ENGINE_RESULTS_MODEL_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

enum class HostState : uint8_t { kUnknown, kAnswered, kSilent };

class ResultsModel {
 public:
  static constexpr int kHosts = 254;

  void OnListenSent(double now_ms);
  // The response to a "listen": a success envelope starts a stream.
  void OnListenResponse(const std::vector<uint8_t>& bytes);
  // A message on the discovery channel: an event, an error, or (empty) the
  // end of a stream. Malformed bytes and errors change nothing.
  void OnStreamMessage(const std::vector<uint8_t>& bytes, double now_ms);

  HostState state(int host) const { return states_[static_cast<size_t>(host - 1)]; }
  int probed() const { return probed_; }
  int answered() const { return answered_; }
  // Answering addresses in host-number order.
  std::vector<std::string> AnsweringAddresses() const;
  const std::string& prefix() const { return prefix_; }
  int listens_sent() const { return listens_sent_; }
  int streams_started() const { return streams_started_; }
  int streams_ended() const { return streams_ended_; }
  bool sweeping() const { return streams_started_ > streams_ended_; }
  // From the first listen to the last end of stream, or to now while sweeping.
  double ElapsedMs(double now_ms) const;

 private:
  void OnHostEvent(const std::string& ip, bool success);

  std::array<HostState, kHosts> states_{};
  std::string prefix_;
  int probed_ = 0;
  int answered_ = 0;
  int listens_sent_ = 0;
  int streams_started_ = 0;
  int streams_ended_ = 0;
  double first_listen_ms_ = -1;
  double last_end_ms_ = -1;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_RESULTS_MODEL_H_
