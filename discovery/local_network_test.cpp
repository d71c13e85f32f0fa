#include "discovery/local_network.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "testing/fake_network_platform.h"

namespace {

using fake_network::Call;
using fake_network::FakeNetwork;
using network_platform::Adapter;
using ::testing::ElementsAre;

const Adapter kLan{{{"10.77.0.23", "255.255.255.0"}}};
const Adapter kOffice{{{"192.168.1.5", "255.255.0.0"}}};

struct LookupCase {
  const char* name;
  std::vector<std::string> resolution;
  std::vector<Adapter> adapters;
  std::optional<std::vector<Adapter>> adapters_after_size_query;
  std::vector<Call> failing;
  std::string ip;
  std::string mask;
};

const LookupCase kLookupCases[] = {
    {"one adapter carries the address", {"10.77.0.23"}, {kLan}, {}, {}, "10.77.0.23",
     "255.255.255.0"},
    {"only the first resolved address counts", {"10.77.0.23", "192.168.1.5"}, {kOffice, kLan},
     {}, {}, "10.77.0.23", "255.255.255.0"},
    {"a later resolved address is never tried", {"172.16.0.9", "10.77.0.23"}, {kLan}, {}, {},
     "172.16.0.9", ""},
    {"a secondary adapter address is never matched",
     {"10.77.0.23"},
     {Adapter{{{"192.168.1.5", "255.255.255.0"}, {"10.77.0.23", "255.0.0.0"}}}},
     {},
     {},
     "10.77.0.23",
     ""},
    {"the mask of the matching first entry, past secondaries of others",
     {"10.77.0.23"},
     {Adapter{{{"192.168.1.5", "255.255.255.0"}, {"10.77.0.23", "255.0.0.0"}}},
      Adapter{{{"10.77.0.23", "255.255.255.128"}, {"10.77.1.1", "255.0.0.0"}}}},
     {},
     {},
     "10.77.0.23",
     "255.255.255.128"},
    {"the first matching adapter wins",
     {"10.77.0.23"},
     {kLan, Adapter{{{"10.77.0.23", "255.255.0.0"}}}},
     {},
     {},
     "10.77.0.23",
     "255.255.255.0"},
    {"exact text equality, not a prefix match", {"10.77.0.2"}, {kLan}, {}, {}, "10.77.0.2", ""},
    {"an adapter without addresses is passed over", {"10.77.0.23"}, {Adapter{}, kLan}, {}, {},
     "10.77.0.23", "255.255.255.0"},
    {"no adapters", {"10.77.0.23"}, {}, {}, {}, "10.77.0.23", ""},
    {"resolution to no address", {}, {kLan}, {}, {}, "", ""},
    {"resolution fails", {"10.77.0.23"}, {kLan}, {}, {Call::kResolveIpv4}, "", ""},
    {"the list grows between size query and read", {"10.77.0.23"}, {kLan},
     std::vector<Adapter>{kOffice, kLan}, {}, "10.77.0.23", ""},
    {"the list shrinks between size query and read", {"10.77.0.23"}, {kOffice, kLan},
     std::vector<Adapter>{kLan}, {}, "10.77.0.23", "255.255.255.0"},
    {"reading the adapter list fails", {"10.77.0.23"}, {kLan}, {}, {Call::kReadAdapterList},
     "10.77.0.23", ""},
    {"the size query reports nothing", {"10.77.0.23"}, {kLan}, {},
     {Call::kQueryAdapterListSize}, "10.77.0.23", ""},
    {"a failed socket start is not examined", {"10.77.0.23"}, {kLan}, {}, {Call::kStartSockets},
     "10.77.0.23", "255.255.255.0"},
    {"an unreadable host name still resolves", {"10.77.0.23"}, {kLan}, {},
     {Call::kReadHostName}, "10.77.0.23", "255.255.255.0"},
    {"the address cannot be formatted", {"10.77.0.23"}, {kLan}, {}, {Call::kFormatIpv4}, "",
     ""},
};

class LocalLookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LocalLookupTest, FindsAddressAndMaskAndStopsTheSocketLibraryOnce) {
  const LookupCase& c = GetParam();
  FakeNetwork& net = FakeNetwork::Instance();
  net.Reset();
  net.SetResolution(c.resolution);
  net.SetAdapters(c.adapters);
  if (c.adapters_after_size_query) net.ChangeAdaptersAfterSizeQuery(*c.adapters_after_size_query);
  for (const Call call : c.failing) net.Fail(call);

  const LocalIpAndMask local = GetLocalIpAndSubnetMask();

  EXPECT_EQ(local.ip, c.ip);
  EXPECT_EQ(local.subnet_mask, c.mask);
  EXPECT_EQ(net.startups(), 1);
  EXPECT_EQ(net.cleanups(), 1);
  EXPECT_EQ(net.unmatched_cleanups(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, LocalLookupTest, ::testing::ValuesIn(kLookupCases),
                         [](const ::testing::TestParamInfo<LookupCase>& param_info) {
                           std::string name;
                           for (const char c : std::string(param_info.param.name)) {
                             if (std::isalnum(static_cast<unsigned char>(c))) {
                               name += c;
                             } else if (!name.empty() && name.back() != '_') {
                               name += '_';
                             }
                           }
                           return name;
                         });

TEST(LocalLookup, ReadsAdaptersOnceIntoAZeroedBufferOfTheQueriedSize) {
  discovery_test::ResetToLan();
  FakeNetwork::Instance().SetAdapters({kOffice, kLan});

  GetLocalIpAndSubnetMask();

  EXPECT_THAT(FakeNetwork::Instance().log(),
              ElementsAre("StartSockets", "ReadHostName(256, zeroed)",
                          "ResolveIpv4(rivelo-host)", "FormatIpv4(10.77.0.23, 22)",
                          "QueryAdapterListSize", "ReadAdapterList(1408, zeroed)",
                          "StopSockets"));
}

TEST(LocalLookup, FailedResolutionDoesNotReadAdapters) {
  FakeNetwork& net = discovery_test::ResetToLan();
  net.Fail(Call::kResolveIpv4);

  GetLocalIpAndSubnetMask();

  EXPECT_THAT(net.log(), ElementsAre("StartSockets", "ReadHostName(256, zeroed)",
                                     "ResolveIpv4(rivelo-host)", "StopSockets"));
}

TEST(LocalLookup, WithoutAdaptersTheReadGetsNoBuffer) {
  FakeNetwork& net = discovery_test::ResetToLan();
  net.SetAdapters({});

  GetLocalIpAndSubnetMask();

  EXPECT_THAT(net.log(), ::testing::Contains("ReadAdapterList(0, none)"));
}

TEST(LocalLookup, UnreadableHostNameResolvesTheEmptyName) {
  FakeNetwork& net = discovery_test::ResetToLan();
  net.Fail(Call::kReadHostName);

  GetLocalIpAndSubnetMask();

  EXPECT_THAT(net.log(), ::testing::Contains("ResolveIpv4()"));
}

TEST(LocalLookup, StopsTheSocketLibraryWhenThePlatformThrows) {
  FakeNetwork& net = discovery_test::ResetToLan();
  net.Raise(Call::kReadAdapterList);

  EXPECT_THROW(GetLocalIpAndSubnetMask(), std::runtime_error);

  EXPECT_EQ(net.startups(), 1);
  EXPECT_EQ(net.cleanups(), 1);
}

TEST(LocalLookup, ConcurrentLookupsEachPairTheirOwnStartAndStop) {
  FakeNetwork& net = discovery_test::ResetToLan();
  discovery_test::Latch both_resolving(2);
  std::atomic<int> overlapped{0};
  net.SetCallHook([&](Call call, const std::string&) {
    if (call != Call::kResolveIpv4) return;
    both_resolving.CountDown();
    if (both_resolving.WaitFor(std::chrono::seconds(10))) ++overlapped;
  });

  LocalIpAndMask first;
  LocalIpAndMask second;
  std::thread other([&] { second = GetLocalIpAndSubnetMask(); });
  first = GetLocalIpAndSubnetMask();
  other.join();

  EXPECT_EQ(overlapped, 2);
  EXPECT_EQ(first.ip, "10.77.0.23");
  EXPECT_EQ(first.subnet_mask, "255.255.255.0");
  EXPECT_EQ(second.ip, "10.77.0.23");
  EXPECT_EQ(second.subnet_mask, "255.255.255.0");
  EXPECT_EQ(net.startups(), 2);
  EXPECT_EQ(net.cleanups(), 2);
  EXPECT_EQ(net.unmatched_cleanups(), 0);
}

struct PrefixCase {
  const char* ip;
  const char* mask;
  const char* prefix;
};

TEST(SubnetPrefix, KeepsThreeOctetsOfTheNetworkAddress) {
  const PrefixCase cases[] = {
      {"192.168.1.23", "255.255.255.0", "192.168.1."},
      {"192.168.1.200", "255.255.255.128", "192.168.1."},
      {"192.168.1.254", "255.255.255.252", "192.168.1."},
      {"10.20.30.40", "255.255.0.0", "10.20.0."},
      {"172.16.5.9", "255.240.0.0", "172.16.0."},
      {"192.168.3.9", "255.255.254.0", "192.168.2."},
      {"10.77.0.23", "255.255.255.255", "10.77.0."},
      {"10.77.0.23", "0.0.0.0", "0.0.0."},
  };
  FakeNetwork::Instance().Reset();
  for (const PrefixCase& c : cases) {
    EXPECT_EQ(GetSubnetPrefix(c.ip, c.mask), c.prefix) << c.ip << " / " << c.mask;
  }
}

TEST(SubnetPrefix, FormatsTheNetworkAddressIntoTheSameBuffer) {
  FakeNetwork& net = FakeNetwork::Instance();
  net.Reset();

  GetSubnetPrefix("192.168.1.200", "255.255.255.128");

  EXPECT_THAT(net.log(), ElementsAre("ParseIpv4(192.168.1.200)", "ParseIpv4(255.255.255.128)",
                                     "FormatIpv4(192.168.1.128, 22)"));
}

TEST(SubnetPrefix, FailedFormattingGivesAnEmptyPrefix) {
  FakeNetwork& net = FakeNetwork::Instance();
  net.Reset();
  net.Fail(Call::kFormatIpv4);

  EXPECT_EQ(GetSubnetPrefix("192.168.1.23", "255.255.255.0"), "");
}

}  // namespace
