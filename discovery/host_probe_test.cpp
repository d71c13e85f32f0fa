#include "discovery/host_probe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "discovery/discovery_test_support.h"
#include "testing/fake_network_platform.h"

namespace {

using discovery_test::CaptureConsole;
using discovery_test::RecordingSink;
using fake_network::Call;

// How the one address of a case answers.
enum class Echo { kReply, kUnreachable, kSilent, kNoHandle };

// One bare echo per probe, its handle closed on every path, and one event.
TEST(HostProbe, EveryOutcomeGivesOneEventAndReleasesTheHandle) {
  const struct {
    std::string prefix;
    int32_t host;
    Echo echo;
    bool success;
    std::string out;
    std::string err;
  } cases[] = {
      {"192.168.1.", 5, Echo::kReply, true, "IP as unsigned long: 83994816\n", ""},
      {"10.0.0.", 1, Echo::kUnreachable, false, "IP as unsigned long: 16777226\n", ""},
      {"255.255.255.", 254, Echo::kSilent, false, "IP as unsigned long: 4278190079\n", ""},
      {"1.2.3.", 4, Echo::kNoHandle, false, "", ""},
      {"192.168.300.", 5, Echo::kReply, false, "", "Invalid IP address format: 192.168.300.5\n"},
  };
  for (const auto& c : cases) {
    const std::string address = c.prefix + std::to_string(c.host);
    SCOPED_TRACE(address);
    fake_network::Script script;
    if (c.echo == Echo::kReply) script.answers[address] = 0;
    // The status Windows reports for an unreachable destination.
    if (c.echo == Echo::kUnreachable) script.answers[address] = 11003;
    if (c.echo == Echo::kNoHandle) script.failing = {Call::kOpenIcmp};
    fake_network::Reset(script);
    std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>();
    const RecordingSink& recorder = static_cast<RecordingSink&>(*sink);
    const auto console = CaptureConsole([&] { PingHost(c.host, c.prefix, sink); });

    const auto events = recorder.record().events;
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].ip, address);
    EXPECT_EQ(events[0].success, c.success);
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
    EXPECT_EQ(fake_network::GetCounts().icmp_open, 0);
    EXPECT_EQ(fake_network::GetCounts().icmp_misuses, 0);
    if (c.success) {
      EXPECT_THAT(fake_network::Log(),
                  ::testing::ElementsAre("OpenIcmp", "ParseIpv4(" + address + ")",
                                         "SendEcho(" + address + ", 48, 1000)", "CloseIcmp"));
    }
  }
}

}  // namespace
