#include "discovery/subnet_sweep.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "testing/fake_network_platform.h"

namespace {

using discovery_test::Clock;
using discovery_test::CaptureConsole;
using discovery_test::RecordingSink;
using fake_network::Call;
using std::chrono::milliseconds;

constexpr auto kPatience = std::chrono::seconds(10);

int HostOf(const std::string& ip) { return std::stoi(ip.substr(ip.rfind('.') + 1)); }
int BatchOf(const std::string& ip) { return (HostOf(ip) - 1) / 50; }

// Host number -> "success" of its one event; fails the test on a duplicate or
// an address outside the LAN's 1..254.
std::map<int, bool> EventsByHost(const std::vector<discovery_test::HostEvent>& events) {
  std::map<int, bool> by_host;
  for (const auto& event : events) {
    EXPECT_EQ(event.ip.rfind(fake_network::kLanPrefix, 0), 0u) << event.ip;
    EXPECT_TRUE(HostOf(event.ip) >= 1 && HostOf(event.ip) <= 254) << event.ip;
    EXPECT_TRUE(by_host.emplace(HostOf(event.ip), event.success).second) << "twice: " << event.ip;
  }
  return by_host;
}

// One sweep of the fake LAN, watched at every echo: which hosts, in which
// batches, how many at once, with which pauses, in which order, and its end.
TEST(SubnetSweep, ProbesEachHostOnceInConcurrentBatchesWithPausesThenEnds) {
  fake_network::Script script;
  const std::set<int> answering = {1, 7, 23, 200};
  for (const int host : answering) script.answers["10.77.0." + std::to_string(host)] = 0;
  std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>();
  const RecordingSink& recorder = static_cast<RecordingSink&>(*sink);
  std::vector<std::unique_ptr<discovery_test::Latch>> batch_in_flight;
  for (const int size : {50, 50, 50, 50, 50, 4}) {
    batch_in_flight.push_back(std::make_unique<discovery_test::Latch>(size));
  }
  std::atomic<bool> others_finished_first{false};
  // After one wait in vain the rest do not wait: a serialised sweep must fail
  // the test, not stall it for every host.
  std::atomic<bool> gave_up{false};
  script.hook = [&](Call call, const std::string& ip) {
    if (call != Call::kSendEcho) return;
    // Every probe of the batch holds its handle until all of them do.
    batch_in_flight[BatchOf(ip)]->CountDown();
    if (!gave_up && !batch_in_flight[BatchOf(ip)]->WaitFor(kPatience)) gave_up = true;
    // Host 3 answers only after the other 49 of its batch have delivered, so
    // a batch that starts before its predecessor has finished holds 51.
    if (HostOf(ip) == 3) others_finished_first = recorder.WaitForEvents(49, kPatience);
  };
  fake_network::Reset(script);

  const auto console = CaptureConsole([&] { ScanForPingableDevices(sink); });

  const fake_network::Counts counts = fake_network::GetCounts();
  EXPECT_EQ(counts.icmp_peak, 50);
  EXPECT_EQ(counts.icmp_opened, 254);
  EXPECT_EQ(counts.icmp_open, 0);
  EXPECT_EQ(counts.startups, 1);
  EXPECT_EQ(counts.cleanups, 1);
  const RecordingSink::Record record = recorder.record();
  ASSERT_EQ(record.events.size(), 254u);
  for (const auto& [host, success] : EventsByHost(record.events)) {
    EXPECT_EQ(success, answering.count(host) == 1) << host;
  }
  EXPECT_TRUE(others_finished_first);
  EXPECT_EQ(record.events[49].ip, "10.77.0.3");
  EXPECT_EQ(record.ends, 1);
  // Events arrive batch by batch (host order, as batches are), each batch
  // followed by a pause of at least 200 ms, the last one before the end. The
  // sweep times its pause on this same clock, so the lower bounds are exact.
  for (size_t i = 1; i <= record.events.size(); ++i) {
    const Clock::time_point next = i < 254 ? record.events[i].at : record.end_time;
    const int batch = BatchOf(record.events[i - 1].ip);
    if (i == 254 || BatchOf(record.events[i].ip) != batch) {
      EXPECT_GE(next - record.events[i - 1].at, milliseconds(200)) << "after batch " << batch;
      EXPECT_TRUE(i == 254 || BatchOf(record.events[i].ip) == batch + 1) << i;
    }
  }

  EXPECT_EQ(console.out.rfind(
                "Local IP: 10.77.0.23\nSubnet Mask: 255.255.255.0\nSubnet prefix: 10.77.0.\n", 0),
            0u)
      << console.out.substr(0, 200);
  EXPECT_EQ(console.err, "");
}

TEST(SubnetSweep, LookupFailurePrintsOneLineAndDeliversNothing) {
  for (const bool resolution_fails : {true, false}) {
    // Either no address, or an address that no adapter carries.
    fake_network::Script script;
    script.adapters = {{{{"10.77.0.99", "255.255.255.0"}}}};
    if (resolution_fails) script.failing = {Call::kResolveIpv4};
    fake_network::Reset(script);
    std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>();
    const RecordingSink& recorder = static_cast<RecordingSink&>(*sink);

    const auto console = CaptureConsole([&] { ScanForPingableDevices(sink); });

    EXPECT_EQ(console.err, "Failed to get local IP or subnet mask\n");
    EXPECT_EQ(console.out, "");
    EXPECT_TRUE(recorder.record().events.empty());
    EXPECT_EQ(recorder.record().ends, 0);
    EXPECT_EQ(fake_network::GetCounts().icmp_opened, 0);
  }
}

TEST(SubnetSweep, HostsWhoseProbeCannotRunStillGetExactlyOneFalseEvent) {
  fake_network::Script script;
  script.hook = [](Call call, const std::string& ip) {
    if (call == Call::kSendEcho && ip == "10.77.0.20") throw std::runtime_error("failure");
  };
  fake_network::Reset(script);
  std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>();
  const RecordingSink& recorder = static_cast<RecordingSink&>(*sink);
  // Tasks are launched in host order, so the n-th launch probes host n.
  std::atomic<int> launches{0};
  Launcher launcher = StandardLauncher();
  launcher.start_task = [&launches](std::function<void()> work) {
    const int host = ++launches;
    if (host == 10 || host == 60) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return StandardLauncher().start_task(std::move(work));
  };
  const StopSignal never_stopped;

  const auto console =
      CaptureConsole([&] { ScanForPingableDevices(sink, never_stopped, launcher); });

  const std::map<int, bool> by_host = EventsByHost(recorder.record().events);
  EXPECT_EQ(by_host.size(), 254u);
  for (const int host : {10, 20, 60}) {
    ASSERT_EQ(by_host.count(host), 1u) << host;
    EXPECT_FALSE(by_host.at(host)) << host;
    EXPECT_THAT(console.err,
                ::testing::HasSubstr("Probe of 10.77.0." + std::to_string(host) + " failed: "));
  }
  EXPECT_EQ(recorder.record().ends, 1);
  EXPECT_EQ(fake_network::GetCounts().icmp_open, 0);
}

TEST(StopSignal, ARequestFromAnotherThreadEndsAPauseInProgress) {
  StopSignal stop;
  bool paused_fully = true;
  const auto start = Clock::now();
  std::thread sweep([&] { paused_fully = stop.Pause(std::chrono::minutes(1)); });

  stop.Request();
  sweep.join();

  EXPECT_FALSE(paused_fully);
  // A minute-long pause cut short: far below the minute even on a slow machine.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
