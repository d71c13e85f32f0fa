// The check that keeps a scan inside a simulated LAN. rivelo sweeps the /24 of
// whatever network it finds itself in; the stand-in engine's scripted Dart
// side (before its first "listen") and bench/echo_batch (before its first
// echo) ask here first and refuse to go on unless everything they can see
// says they run inside a namespace made by scripts/simlan.sh:
//   - exactly one network adapter other than loopback carries IPv4, with
//     exactly one address;
//   - that address is PREFIX.H/24 inside the range simlan.sh hands out
//     (10.77.1.0/24 to 10.77.254.0/24, hosts 1 to 254);
//   - RIVELO_SIMULATED_LAN names that PREFIX. Only `simlan.sh exec` sets it,
//     after its isolation check passed; the variable alone proves nothing,
//     since anybody can type it.
//
// Decide is a pure function of what was seen; CheckHere gathers it from the
// running system (Windows only). Safe from any thread.
#ifndef RIVELO_STANDIN_SCAN_GUARD_SCAN_GUARD_H_
#define RIVELO_STANDIN_SCAN_GUARD_SCAN_GUARD_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scan_guard {

// Exit code of a program whose scan was refused (rivelo.exe, echo_batch.exe).
constexpr int kRefusedExitCode = 20;
constexpr const char* kMarkerVariable = "RIVELO_SIMULATED_LAN";

struct Ipv4Interface {
  std::array<uint8_t, 4> address;
  uint32_t prefix_length;
};

struct Adapter {
  std::string name;
  bool loopback;
  std::vector<Ipv4Interface> ipv4;
};

struct Decision {
  bool allowed;
  std::string reason;
  std::string lan_prefix;  // "10.77.N" when allowed
};

Decision Decide(const std::vector<Adapter>& adapters, const std::optional<std::string>& marker);

// The adapters and the marker of this process. Refused when the adapters
// cannot be listed.
Decision CheckHere();

// Writes the one line that says why `program` refuses to scan and how to run
// it safely, to standard error.
void ReportRefusal(const char* program, const Decision& decision);

}  // namespace scan_guard

#endif  // RIVELO_STANDIN_SCAN_GUARD_SCAN_GUARD_H_
