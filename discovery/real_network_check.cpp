// A Windows console program that runs discovery against the real network
// platform and reports what it saw, for tests/test_real_network.py. That test
// runs it under Wine inside a simulated LAN only; never start it anywhere
// else. As a second line of defence it refuses to probe anything unless the
// local lookup finds exactly the address the harness gave it, in the
// harness's 10.77.0.0/16.
//
// Output, after the discovery lines of the code under test:
//   lookup IP MASK PREFIX
//   event IP 0|1 MS         one per host event, MS after the sweep started
//   end MS                  the end of the stream
//   sweep_ms MS             the whole sweep
//   probe IP 0|1 MS         single probes given with --probe
// Exit codes: 0 done, 2 usage, 3 refused (lookup did not find the address).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "discovery/host_probe.h"
#include "discovery/local_network.h"
#include "discovery/subnet_sweep.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Observed {
  std::string ip;
  bool success;
  long long ms;
};

// Collects in memory: the probes' own console lines must not interleave with
// the report.
class CollectingSink : public HostEventSink {
 public:
  CollectingSink(Clock::time_point start, std::vector<Observed>* events, long long* end_ms)
      : start_(start), events_(events), end_ms_(end_ms) {}

  void Success(const flutter::EncodableValue* event) override {
    const auto& map = std::get<flutter::EncodableMap>(*event);
    Observed observed{std::get<std::string>(map.at(flutter::EncodableValue("ip"))),
                      std::get<bool>(map.at(flutter::EncodableValue("success"))),
                      MillisecondsSince(start_)};
    std::lock_guard<std::mutex> lock(mutex_);
    events_->push_back(observed);
  }
  void Error(const std::string&, const std::string&, const flutter::EncodableValue*) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_->push_back({"error", false, MillisecondsSince(start_)});
  }
  void EndOfStream() override { *end_ms_ = MillisecondsSince(start_); }

 private:
  const Clock::time_point start_;
  std::mutex mutex_;
  std::vector<Observed>* events_;
  long long* end_ms_;
};

bool InHarnessRange(const std::string& ip) { return ip.rfind("10.77.", 0) == 0; }

}  // namespace

int main(int argc, char** argv) {
  std::string expected_self;
  std::vector<int> single_probes;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--expect-self") {
      expected_self = argv[i + 1];
    } else if (flag == "--probe") {
      single_probes.push_back(std::atoi(argv[i + 1]));
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (expected_self.empty() || !InHarnessRange(expected_self)) {
    std::fprintf(stderr, "usage: real_network_check --expect-self 10.77.N.H [--probe H]...\n");
    return 2;
  }

  const LocalIpAndMask local = GetLocalIpAndSubnetMask();
  if (local.ip != expected_self || local.subnet_mask.empty()) {
    std::fprintf(stderr, "refused: the lookup found '%s', not %s\n", local.ip.c_str(),
                 expected_self.c_str());
    return 3;
  }
  const std::string prefix = GetSubnetPrefix(local.ip, local.subnet_mask);
  std::printf("lookup %s %s %s\n", local.ip.c_str(), local.subnet_mask.c_str(), prefix.c_str());
  std::fflush(stdout);

  std::vector<Observed> events;
  long long end_ms = -1;
  const Clock::time_point start = Clock::now();
  std::unique_ptr<HostEventSink> sink = std::make_unique<CollectingSink>(start, &events, &end_ms);
  ScanForPingableDevices(sink);
  const long long sweep_ms = MillisecondsSince(start);

  std::vector<Observed> probes;
  for (const int host : single_probes) {
    long long unused_end = -1;
    std::unique_ptr<HostEventSink> probe_sink =
        std::make_unique<CollectingSink>(Clock::now(), &probes, &unused_end);
    PingHost(host, prefix, probe_sink);
  }

  for (const Observed& event : events) {
    std::printf("event %s %d %lld\n", event.ip.c_str(), event.success ? 1 : 0, event.ms);
  }
  for (const Observed& probe : probes) {
    std::printf("probe %s %d %lld\n", probe.ip.c_str(), probe.success ? 1 : 0, probe.ms);
  }
  std::printf("end %lld\nsweep_ms %lld\n", end_ms, sweep_ms);
  return 0;
}
