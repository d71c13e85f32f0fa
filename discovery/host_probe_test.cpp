#include "discovery/host_probe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "testing/fake_network_platform.h"

namespace {

using discovery_test::ConsoleCapture;
using discovery_test::EventRecord;
using discovery_test::RecordingSink;
using fake_network::Call;
using fake_network::Echo;
using fake_network::FakeNetwork;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Probe {
  std::shared_ptr<EventRecord> record = std::make_shared<EventRecord>();
  std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>(record);
};

struct OutcomeCase {
  const char* name;
  std::string prefix;
  Echo echo;
  std::vector<Call> failing;
  bool success;
  std::string out;
  std::string err;
};

TEST(HostProbe, EveryOutcomeGivesOneEventAndItsConsoleLine) {
  const std::string kLine = "IP as unsigned long: 83994816\n";
  const OutcomeCase cases[] = {
      {"reply with status 0", "192.168.1.", fake_network::Reply(0), {}, true, kLine, ""},
      {"reply reporting an unreachable destination", "192.168.1.",
       fake_network::Reply(fake_network::kDestinationHostUnreachable), {}, false, kLine, ""},
      {"no reply", "192.168.1.", fake_network::Silent(), {}, false, kLine, ""},
      {"the send fails", "192.168.1.", fake_network::Reply(0), {Call::kSendEcho}, false, kLine,
       ""},
      {"no ICMP handle", "192.168.1.", fake_network::Reply(0), {Call::kOpenIcmp}, false, "", ""},
      {"the address does not parse", "192.168.1.", fake_network::Reply(0), {Call::kParseIpv4},
       false, "", "Invalid IP address format: 192.168.1.5\n"},
      {"a prefix that makes no address", "192.168.300.", fake_network::Reply(0), {}, false, "",
       "Invalid IP address format: 192.168.300.5\n"},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeNetwork& net = FakeNetwork::Instance();
    net.Reset();
    net.SetEcho(c.prefix + "5", c.echo);
    for (const Call call : c.failing) net.Fail(call);
    Probe probe;
    std::string out;
    std::string err;
    std::string unflushed;
    {
      ConsoleCapture console;
      PingHost(5, c.prefix, probe.sink);
      out = console.out();
      err = console.err();
      unflushed = console.unflushed();
    }

    const auto events = probe.record->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].ip, c.prefix + "5");
    EXPECT_EQ(events[0].success, c.success);
    EXPECT_THAT(probe.record->problems(), IsEmpty());
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(unflushed, "");
    EXPECT_EQ(net.open_icmp_handles(), 0);
    EXPECT_EQ(net.icmp_misuses(), 0);
  }
}

TEST(HostProbe, SendsOneBareEchoAndClosesTheHandleRightAfterIt) {
  FakeNetwork& net = FakeNetwork::Instance();
  net.Reset();
  net.SetEcho("192.168.1.5", fake_network::Reply(0));
  Probe probe;
  ConsoleCapture console;

  PingHost(5, "192.168.1.", probe.sink);

  EXPECT_THAT(net.log(), ElementsAre("OpenIcmp", "ParseIpv4(192.168.1.5)",
                                     "SendEcho(192.168.1.5, 48 zeroed, 1000)", "CloseIcmp"));
}

TEST(HostProbe, PrintsTheAddressBytesReadAsALittleEndianNumber) {
  struct Case {
    const char* prefix;
    int32_t host;
    const char* line;
  };
  const Case cases[] = {
      {"192.168.1.", 5, "IP as unsigned long: 83994816\n"},
      {"10.0.0.", 1, "IP as unsigned long: 16777226\n"},
      {"1.2.3.", 4, "IP as unsigned long: 67305985\n"},
      {"255.255.255.", 254, "IP as unsigned long: 4278190079\n"},
  };
  for (const Case& c : cases) {
    FakeNetwork::Instance().Reset();
    Probe probe;
    ConsoleCapture console;
    PingHost(c.host, c.prefix, probe.sink);
    EXPECT_EQ(console.out(), c.line) << c.prefix << c.host;
  }
}

TEST(HostProbe, AppendsTheHostNumberInPlainDecimal) {
  EXPECT_EQ(HostAddress("192.168.1.", 1), "192.168.1.1");
  EXPECT_EQ(HostAddress("192.168.1.", 7), "192.168.1.7");
  EXPECT_EQ(HostAddress("192.168.1.", 254), "192.168.1.254");
}

TEST(HostProbe, APlatformFailureEscapesWithoutAnEventOrAnOpenHandle) {
  FakeNetwork& net = FakeNetwork::Instance();
  net.Reset();
  Echo raising;
  raising.raises = true;
  net.SetEcho("192.168.1.5", raising);
  Probe probe;
  ConsoleCapture console;

  EXPECT_THROW(PingHost(5, "192.168.1.", probe.sink), std::runtime_error);

  EXPECT_EQ(probe.record->event_count(), 0u);
  EXPECT_EQ(net.open_icmp_handles(), 0);
}

}  // namespace
