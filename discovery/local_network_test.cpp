#include "discovery/local_network.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/fake_network_platform.h"

namespace {

using fake_network::Call;
using network_platform::Adapter;

const Adapter kLan{{{"10.77.0.23", "255.255.255.0"}}};
const Adapter kOffice{{{"192.168.1.5", "255.255.0.0"}}};

TEST(LocalLookup, FindsAddressAndMaskAndStopsTheSocketLibraryOnce) {
  const struct {
    const char* name;
    std::vector<std::string> resolution;
    std::vector<Adapter> adapters;
    std::set<Call> failing;
    std::string ip;
    std::string mask;
  } cases[] = {
      {"one adapter carries the address", {"10.77.0.23"}, {kLan}, {}, "10.77.0.23",
       "255.255.255.0"},
      {"the first resolved address counts", {"10.77.0.23", "192.168.1.5"}, {kOffice, kLan}, {},
       "10.77.0.23", "255.255.255.0"},
      {"a later resolved address is never tried", {"172.16.0.9", "10.77.0.23"}, {kLan}, {},
       "172.16.0.9", ""},
      {"only an adapter's first address is matched",
       {"10.77.0.23"},
       {Adapter{{{"192.168.1.5", "255.255.255.0"}, {"10.77.0.23", "255.0.0.0"}}}, Adapter{},
        Adapter{{{"10.77.0.23", "255.255.255.128"}, {"10.77.1.1", "255.0.0.0"}}}},
       {},
       "10.77.0.23",
       "255.255.255.128"},
      {"the first matching adapter wins", {"10.77.0.23"},
       {kLan, Adapter{{{"10.77.0.23", "255.255.0.0"}}}}, {}, "10.77.0.23", "255.255.255.0"},
      {"no adapters", {"10.77.0.23"}, {}, {}, "10.77.0.23", ""},
      {"resolution to no address", {}, {kLan}, {}, "", ""},
      {"resolution fails", {"10.77.0.23"}, {kLan}, {Call::kResolveIpv4}, "", ""},
      {"reading the adapter list fails", {"10.77.0.23"}, {kLan}, {Call::kReadAdapterList},
       "10.77.0.23", ""},
      {"a failed socket start is not examined", {"10.77.0.23"}, {kLan}, {Call::kStartSockets},
       "10.77.0.23", "255.255.255.0"},
      {"an unreadable host name still resolves", {"10.77.0.23"}, {kLan}, {Call::kReadHostName},
       "10.77.0.23", "255.255.255.0"},
      {"the address cannot be formatted", {"10.77.0.23"}, {kLan}, {Call::kFormatIpv4}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake_network::Script script;
    script.resolution = c.resolution;
    script.adapters = c.adapters;
    script.failing = c.failing;
    fake_network::Reset(script);

    const LocalIpAndMask local = GetLocalIpAndSubnetMask();

    EXPECT_EQ(local.ip, c.ip);
    EXPECT_EQ(local.subnet_mask, c.mask);
    EXPECT_EQ(fake_network::GetCounts().startups, 1);
    EXPECT_EQ(fake_network::GetCounts().cleanups, 1);
  }
}

// The adapter list is read once, into a buffer of the size just queried; the
// socket library is stopped also when the platform throws.
TEST(LocalLookup, ReadsAdaptersOnceAndStopsTheSocketLibraryOnEveryPath) {
  fake_network::Script script;
  script.adapters = {kOffice, kLan};
  fake_network::Reset(script);

  GetLocalIpAndSubnetMask();

  EXPECT_THAT(fake_network::Log(),
              ::testing::ElementsAre("StartSockets", "ReadHostName(256)",
                                     "ResolveIpv4(rivelo-host)", "FormatIpv4(10.77.0.23, 22)",
                                     "QueryAdapterListSize", "ReadAdapterList(1408)",
                                     "StopSockets"));

  script.hook = [](Call call, const std::string&) {
    if (call == Call::kReadAdapterList) throw std::runtime_error("platform failure");
  };
  fake_network::Reset(script);
  EXPECT_THROW(GetLocalIpAndSubnetMask(), std::runtime_error);
  EXPECT_EQ(fake_network::GetCounts().startups, 1);
  EXPECT_EQ(fake_network::GetCounts().cleanups, 1);
}

TEST(SubnetPrefix, KeepsThreeOctetsOfTheNetworkAddress) {
  const char* const cases[][3] = {
      {"192.168.1.23", "255.255.255.0", "192.168.1."},
      {"10.20.30.40", "255.255.0.0", "10.20.0."},
      {"192.168.3.9", "255.255.254.0", "192.168.2."},
      {"10.77.0.23", "255.255.255.255", "10.77.0."},
      {"10.77.0.23", "0.0.0.0", "0.0.0."},
  };
  fake_network::Reset();
  for (const auto& c : cases) {
    EXPECT_EQ(GetSubnetPrefix(c[0], c[1]), c[2]) << c[0] << " / " << c[1];
  }

  fake_network::Script failing;
  failing.failing = {Call::kFormatIpv4};
  fake_network::Reset(failing);
  EXPECT_EQ(GetSubnetPrefix("192.168.1.23", "255.255.255.0"), "");
}

}  // namespace
