// A scriptable network platform for tests: links in place of the Windows one
// and defines every function of discovery/network_platform.h against one
// process-wide script. Tests script resolution, the adapter list, which
// addresses answer an echo and which calls fail, and may hook every call;
// then they read back a log of the calls with the buffer sizes they were
// given and the balance of socket-library sessions and ICMP handles.
//
// Nothing here touches a real network: address text is parsed and formatted
// by the fake itself.
//
// Threads: the seam functions may run on any number of threads at once;
// scripting and reading back belong to the test's thread while no discovery
// code runs, except the call hook, which runs on the calling thread.
#ifndef RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_
#define RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "discovery/network_platform.h"

namespace fake_network {

enum class Call {
  kStartSockets,
  kReadHostName,
  kResolveIpv4,
  kFormatIpv4,
  kParseIpv4,
  kQueryAdapterListSize,
  kReadAdapterList,
  kOpenIcmp,
  kSendEcho,
};

constexpr char kLocalIp[] = "10.77.0.23";
constexpr char kLanPrefix[] = "10.77.0.";

// Runs inside every seam call but the stops and closes, after the call is
// logged, on the calling thread: the call and its main argument (name,
// address text) or "". It may block, or throw as a failing platform would.
using CallHook = std::function<void(Call call, const std::string& subject)>;

// How the platform behaves. By default: a machine named "rivelo-host" that
// resolves to kLocalIp only, with one adapter whose one address is
// kLocalIp/255.255.255.0; no echo answered; nothing failing.
struct Script {
  std::vector<std::string> resolution = {kLocalIp};  // dotted decimal, in order
  std::vector<network_platform::Adapter> adapters = {{{{kLocalIp, "255.255.255.0"}}}};
  // Addresses that answer, each with one reply record of this status
  // (0 = success).
  std::map<std::string, uint32_t> answers;
  // Calls that report failure the way the platform does.
  std::set<Call> failing;
  CallHook hook;
};

// Puts the script in place and empties the log and the counts. Only while no
// discovery code runs.
void Reset(Script script = {});

// One entry per call in call order, with the sizes it was given, e.g.
// "ReadHostName(256)".
std::vector<std::string> Log();

struct Counts {
  int startups = 0;
  int cleanups = 0;
  int icmp_opened = 0;
  int icmp_open = 0;
  int icmp_peak = 0;  // most handles open at once
  // Closes of handles that were not open, and echoes sent on such handles.
  int icmp_misuses = 0;
};
Counts GetCounts();

}  // namespace fake_network

#endif  // RIVELO_TESTING_FAKE_NETWORK_PLATFORM_H_
