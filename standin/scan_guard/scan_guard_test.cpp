#include "standin/scan_guard/scan_guard.h"

#include <gtest/gtest.h>

namespace scan_guard {
namespace {

const Adapter kLoopback{"lo", true, {{{127, 0, 0, 1}, 8}}};
const Adapter kLanEnd{"rv5-a", false, {{{10, 77, 5, 23}, 24}}};

Adapter With(std::vector<Ipv4Interface> ipv4) { return Adapter{"eth0", false, std::move(ipv4)}; }

struct Case {
  const char* name;
  std::vector<Adapter> adapters;
  std::optional<std::string> marker;
  const char* reason;  // a part of the reason; null when allowed
};

TEST(ScanGuard, AllowsOnlyTheOneAdapterOfTheMarkedSimulatedLan) {
  const std::vector<Case> cases = {
      {"the simulated LAN", {kLoopback, kLanEnd}, "10.77.5", nullptr},
      {"adapters without IPv4 do not count", {kLoopback, With({}), kLanEnd}, "10.77.5", nullptr},
      {"lowest address", {With({{{10, 77, 1, 1}, 24}})}, "10.77.1", nullptr},
      {"highest address", {With({{{10, 77, 254, 254}, 24}})}, "10.77.254", nullptr},
      {"no adapter", {}, "10.77.5", "found []"},
      {"loopback only", {kLoopback}, "10.77.5", "exactly one"},
      {"a second adapter", {kLoopback, kLanEnd, With({{{10, 77, 6, 23}, 24}})}, "10.77.5",
       "rv5-a 10.77.5.23/24, eth0 10.77.6.23/24"},
      {"a second address", {With({{{10, 77, 5, 23}, 24}, {{10, 77, 5, 24}, 24}})}, "10.77.5",
       "exactly one"},
      {"a home network", {kLoopback, With({{{192, 168, 1, 10}, 24}})}, "192.168.1",
       "192.168.1.10/24 of eth0 lies outside"},
      {"next to the range", {With({{{10, 78, 5, 23}, 24}})}, "10.78.5", "outside"},
      {"below the range", {With({{{10, 77, 0, 23}, 24}})}, "10.77.0", "outside"},
      {"above the range", {With({{{10, 77, 255, 23}, 24}})}, "10.77.255", "outside"},
      {"network address", {With({{{10, 77, 5, 0}, 24}})}, "10.77.5", "outside"},
      {"broadcast address", {With({{{10, 77, 5, 255}, 24}})}, "10.77.5", "outside"},
      {"wider than a /24", {With({{{10, 77, 5, 23}, 16}})}, "10.77.5", "outside"},
      {"no marker", {kLoopback, kLanEnd}, std::nullopt, "RIVELO_SIMULATED_LAN is not set"},
      {"marker of another LAN", {kLoopback, kLanEnd}, "10.77.6",
       "names '10.77.6', but rv5-a has 10.77.5.23/24"},
      {"marker with a host", {kLoopback, kLanEnd}, "10.77.5.23", "names"},
      {"empty marker", {kLoopback, kLanEnd}, "", "names"},
  };
  for (const Case& c : cases) {
    const Decision decision = Decide(c.adapters, c.marker);
    EXPECT_EQ(decision.allowed, c.reason == nullptr) << c.name << ": " << decision.reason;
    if (c.reason == nullptr) {
      EXPECT_EQ(decision.lan_prefix, *c.marker) << c.name;
    } else {
      EXPECT_NE(decision.reason.find(c.reason), std::string::npos) << c.name << ": "
                                                                   << decision.reason;
    }
  }
}

}  // namespace
}  // namespace scan_guard
