#include "standin/scan_guard/scan_guard.h"

#include <gtest/gtest.h>

namespace scan_guard {
namespace {

const Adapter kLoopback{"lo", true, {{{127, 0, 0, 1}, 8}}, {}};
const Adapter kLanEnd{"rv5-a", false, {{{10, 77, 5, 23}, 24}}, {}};
const std::string kToken = "10.77.5/9f3c";

Adapter With(std::vector<Ipv4Interface> ipv4, std::vector<std::string> gateways = {}) {
  return Adapter{"eth0", false, std::move(ipv4), std::move(gateways)};
}

struct Case {
  const char* name;
  std::vector<Adapter> adapters;
  std::optional<std::string> marker;
  std::optional<std::string> token;  // in the namespace's hosts file
  const char* reason;                // a part of the reason; null when allowed
};

TEST(ScanGuard, AllowsOnlyTheOneAdapterOfTheMarkedSimulatedLan) {
  const std::vector<Case> cases = {
      {"the simulated LAN", {kLoopback, kLanEnd}, kToken, kToken, nullptr},
      {"adapters without IPv4 do not count", {kLoopback, With({}), kLanEnd}, kToken, kToken,
       nullptr},
      {"lowest address", {With({{{10, 77, 1, 1}, 24}})}, "10.77.1/a", "10.77.1/a", nullptr},
      {"highest address", {With({{{10, 77, 254, 254}, 24}})}, "10.77.254/a", "10.77.254/a",
       nullptr},
      {"no adapter", {}, kToken, kToken, "found []"},
      {"loopback only", {kLoopback}, kToken, kToken, "exactly one"},
      {"a second adapter", {kLoopback, kLanEnd, With({{{10, 77, 6, 23}, 24}})}, kToken, kToken,
       "rv5-a 10.77.5.23/24, eth0 10.77.6.23/24"},
      {"a second address", {With({{{10, 77, 5, 23}, 24}, {{10, 77, 5, 24}, 24}})}, kToken, kToken,
       "exactly one"},
      {"a gateway", {kLoopback, With({{{10, 77, 5, 23}, 24}}, {"10.77.5.1"})}, kToken, kToken,
       "found gateways [eth0 10.77.5.1]"},
      {"a home network", {kLoopback, With({{{192, 168, 1, 10}, 24}})}, "192.168.1/a",
       "192.168.1/a", "192.168.1.10/24 of eth0 lies outside"},
      {"next to the range", {With({{{10, 78, 5, 23}, 24}})}, "10.78.5/a", "10.78.5/a", "outside"},
      {"below the range", {With({{{10, 77, 0, 23}, 24}})}, "10.77.0/a", "10.77.0/a", "outside"},
      {"above the range", {With({{{10, 77, 255, 23}, 24}})}, "10.77.255/a", "10.77.255/a",
       "outside"},
      {"network address", {With({{{10, 77, 5, 0}, 24}})}, kToken, kToken, "outside"},
      {"broadcast address", {With({{{10, 77, 5, 255}, 24}})}, kToken, kToken, "outside"},
      {"wider than a /24", {With({{{10, 77, 5, 23}, 16}})}, kToken, kToken, "outside"},
      {"no marker", {kLoopback, kLanEnd}, std::nullopt, kToken, "RIVELO_SIMULATED_LAN is not set"},
      {"marker typed by hand outside a LAN", {kLoopback, kLanEnd}, kToken, std::nullopt,
       "is '10.77.5/9f3c', but this network namespace holds no token"},
      {"marker of another token", {kLoopback, kLanEnd}, "10.77.5/0000", kToken,
       "namespace's token is '10.77.5/9f3c'"},
      {"token of another LAN", {kLoopback, kLanEnd}, "10.77.6/a", "10.77.6/a",
       "names '10.77.6', but rv5-a has 10.77.5.23/24"},
      {"marker with a host", {kLoopback, kLanEnd}, "10.77.5.23/a", "10.77.5.23/a", "names"},
  };
  for (const Case& c : cases) {
    const Decision decision = Decide(c.adapters, c.marker, c.token);
    EXPECT_EQ(decision.allowed, c.reason == nullptr) << c.name << ": " << decision.reason;
    if (c.reason == nullptr) {
      EXPECT_EQ(decision.lan_prefix, c.marker->substr(0, c.marker->find('/'))) << c.name;
    } else {
      EXPECT_NE(decision.reason.find(c.reason), std::string::npos) << c.name << ": "
                                                                   << decision.reason;
    }
  }
}

TEST(ScanGuard, FindsTheTokenLineOfAHostsFile) {
  EXPECT_EQ(TokenInHosts("127.0.0.1\tlocalhost\r\n# RIVELO_SIMULATED_LAN=10.77.5/9f3c\r\n"),
            kToken);
  EXPECT_EQ(TokenInHosts("127.0.0.1\tlocalhost\n# RIVELO_SIMULATED_LAN=\n"), std::nullopt);
}

}  // namespace
}  // namespace scan_guard
