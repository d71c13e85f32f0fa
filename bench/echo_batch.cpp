// echo_batch.exe PREFIX FIRST LAST: sends one ICMP echo (the sweep's echo
// time-out) to each of PREFIX.FIRST .. PREFIX.LAST, every echo from a thread
// of its own and all threads started together, the way one batch of a sweep
// probes. Prints "host <n> <start ms> <end ms> <answered>" per host, then
// "batch_ms <ms from the first start to the last return>". A host answered
// when a reply with the success status came back; an error record (such as
// "destination unreachable" once the kernel has given up resolving the
// address) is no answer.
//
// It measures what a batch costs under the platform alone, without rivelo,
// so the sweep's wall time can be set against it. It runs only inside a
// simulated LAN (bench/lan_evidence.py runs it there) and only towards that
// LAN's prefix: otherwise it sends nothing and exits with
// scan_guard::kRefusedExitCode.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "discovery/sweep_pacing.h"
#include "standin/scan_guard/scan_guard.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  double start_ms = 0;
  double end_ms = 0;
  bool answered = false;
};

double Since(Clock::time_point origin) {
  return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
}

void Echo(const std::string& address, Clock::time_point origin, Outcome* outcome) {
  outcome->start_ms = Since(origin);
  IN_ADDR destination{};
  if (inet_pton(AF_INET, address.c_str(), &destination) == 1) {
    HANDLE icmp = IcmpCreateFile();
    if (icmp != INVALID_HANDLE_VALUE) {
      char payload[32] = "echo_batch";
      std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + sizeof(payload) + 8);
      const DWORD replies =
          IcmpSendEcho(icmp, destination.S_un.S_addr, payload, sizeof(payload), nullptr,
                       reply.data(), static_cast<DWORD>(reply.size()), sweep_pacing::kEchoTimeoutMs);
      ICMP_ECHO_REPLY record{};
      std::memcpy(&record, reply.data(), sizeof(record));
      outcome->answered = replies != 0 && record.Status == IP_SUCCESS;
      IcmpCloseHandle(icmp);
    }
  }
  outcome->end_ms = Since(origin);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: echo_batch PREFIX FIRST LAST\n");
    return 2;
  }
  const std::string prefix = argv[1];
  const int first = std::atoi(argv[2]);
  const int last = std::atoi(argv[3]);
  if (first < 1 || last > 254 || first > last) {
    std::fprintf(stderr, "echo_batch: hosts must lie in 1..254\n");
    return 2;
  }
  scan_guard::Decision guard = scan_guard::CheckHere();
  if (guard.allowed && prefix != guard.lan_prefix) {
    guard = scan_guard::Decision{false, "the prefix " + prefix + " is not the simulated LAN's, " +
                                            guard.lan_prefix, ""};
  }
  if (!guard.allowed) {
    scan_guard::ReportRefusal("echo_batch", guard);
    return scan_guard::kRefusedExitCode;
  }
  std::vector<Outcome> outcomes(static_cast<size_t>(last - first + 1));
  std::vector<std::thread> threads;
  const Clock::time_point origin = Clock::now();
  for (int host = first; host <= last; ++host) {
    threads.emplace_back(Echo, prefix + "." + std::to_string(host), origin,
                         &outcomes[static_cast<size_t>(host - first)]);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  double batch_ms = 0;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    std::printf("host %d %.1f %.1f %d\n", first + static_cast<int>(i), outcomes[i].start_ms,
                outcomes[i].end_ms, outcomes[i].answered ? 1 : 0);
    if (outcomes[i].end_ms > batch_ms) batch_ms = outcomes[i].end_ms;
  }
  std::printf("batch_ms %.1f\n", batch_ms);
  return 0;
}
