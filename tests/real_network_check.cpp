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
//   probe IP 0|1 MS         single probes given with --probe, MS after it started
//   end MS                  the end of the stream
//   sweep_ms MS             the whole sweep
// Exit codes: 0 done, 2 usage, 3 refused (lookup did not find the address).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "discovery/local_network.h"
#include "discovery/subnet_sweep.h"

namespace {

using discovery_test::Clock;
using discovery_test::RecordingSink;

long long Milliseconds(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// The sink's events are collected, not printed, so that the probes' own
// console lines do not interleave with the report.
void Report(const char* kind, const RecordingSink& sink, Clock::time_point start) {
  for (const discovery_test::HostEvent& event : sink.record().events) {
    std::printf("%s %s %d %lld\n", kind, event.ip.c_str(), event.success ? 1 : 0,
                Milliseconds(event.at - start));
  }
}

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
  if (expected_self.rfind("10.77.", 0) != 0) {
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

  const Clock::time_point start = Clock::now();
  std::unique_ptr<HostEventSink> sweep = std::make_unique<RecordingSink>();
  ScanForPingableDevices(sweep);
  const long long sweep_ms = Milliseconds(Clock::now() - start);

  const auto& swept = static_cast<const RecordingSink&>(*sweep);
  Report("event", swept, start);
  for (const int host : single_probes) {
    std::unique_ptr<HostEventSink> probe = std::make_unique<RecordingSink>();
    const Clock::time_point probe_start = Clock::now();
    PingHost(host, prefix, probe);
    Report("probe", static_cast<const RecordingSink&>(*probe), probe_start);
  }
  const RecordingSink::Record record = swept.record();
  std::printf("end %lld\nsweep_ms %lld\n",
              record.ends == 0 ? -1 : Milliseconds(record.end_time - start), sweep_ms);
  return 0;
}
