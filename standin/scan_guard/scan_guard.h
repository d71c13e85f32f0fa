// The check that keeps a scan inside a simulated LAN. rivelo sweeps the /24 of
// whatever network it finds itself in; the stand-in engine's scripted Dart
// side (before its first "listen") and bench/echo_batch (before its first
// echo) ask here first and refuse to go on unless everything they can see
// says they run inside a namespace made by scripts/simlan.sh:
//   - exactly one network adapter other than loopback carries IPv4, with
//     exactly one address;
//   - no adapter has a gateway: a simulated LAN has no way out, while a real
//     network numbered like one (10.77.N.0/24 is ordinary private space)
//     usually has;
//   - that address is PREFIX.H/24 inside the range simlan.sh hands out
//     (10.77.1.0/24 to 10.77.254.0/24, hosts 1 to 254);
//   - RIVELO_SIMULATED_LAN equals the LAN's token, "PREFIX/RANDOM", and PREFIX
//     is the adapter's. simlan.sh up writes the token into the hosts file of
//     the LAN's own namespace, which that namespace alone sees as /etc/hosts
//     (Z:\etc\hosts under Wine); only `simlan.sh exec` sets the variable,
//     after its isolation check passed. A marker typed by hand elsewhere
//     matches nothing.
//
// Decide and TokenInHosts are pure functions of what was seen; CheckHere
// gathers it from the running system (Windows only). Safe from any thread.
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
// The line of the namespace's hosts file that holds the token is this, then
// '=', then the token.
constexpr const char* kTokenLine = "# RIVELO_SIMULATED_LAN";

struct Ipv4Interface {
  std::array<uint8_t, 4> address;
  uint32_t prefix_length;
};

struct Adapter {
  std::string name;
  bool loopback;
  std::vector<Ipv4Interface> ipv4;
  std::vector<std::string> gateways;  // as text, any address family
};

struct Decision {
  bool allowed;
  std::string reason;
  std::string lan_prefix;  // "10.77.N" when allowed
};

// `lan_token` is the token in this namespace's hosts file, if it holds one.
Decision Decide(const std::vector<Adapter>& adapters, const std::optional<std::string>& marker,
                const std::optional<std::string>& lan_token);

// The token that a hosts file's text holds, if any.
std::optional<std::string> TokenInHosts(const std::string& hosts);

// The adapters, the marker and the token that this process sees. Refused
// when the adapters cannot be listed.
Decision CheckHere();

// Writes the one line that says why `program` refuses to scan and how to run
// it safely, to standard error.
void ReportRefusal(const char* program, const Decision& decision);

}  // namespace scan_guard

#endif  // RIVELO_STANDIN_SCAN_GUARD_SCAN_GUARD_H_
