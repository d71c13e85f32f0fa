#include "discovery/subnet_sweep.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "testing/fake_network_platform.h"

namespace {

using discovery_test::Clock;
using discovery_test::ConsoleCapture;
using discovery_test::EventRecord;
using discovery_test::HostNumberOf;
using discovery_test::RecordingSink;
using fake_network::Call;
using fake_network::FakeNetwork;
using std::chrono::milliseconds;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kBatchSizes[] = {50, 50, 50, 50, 50, 4};
constexpr auto kPatience = std::chrono::seconds(10);

int BatchOf(int host_number) { return (host_number - 1) / 50; }

struct Sweep {
  std::shared_ptr<EventRecord> record = std::make_shared<EventRecord>();
  std::unique_ptr<HostEventSink> sink = std::make_unique<RecordingSink>(record);

  void Run() { ScanForPingableDevices(sink); }
};

// Host number -> "success" of its one event; fails the test on a duplicate or
// an address outside 1..254.
std::map<int, bool> EventsByHost(const std::vector<discovery_test::HostEvent>& events) {
  std::map<int, bool> by_host;
  for (const auto& event : events) {
    const int host = HostNumberOf(event.ip);
    EXPECT_TRUE(host >= 1 && host <= 254) << event.ip;
    EXPECT_TRUE(by_host.emplace(host, event.success).second) << "twice: " << event.ip;
  }
  return by_host;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

TEST(SubnetSweep, ProbesHosts1To254OnceEachThenEndsTheStream) {
  FakeNetwork& net = discovery_test::ResetToLan();
  const std::set<int> answering = {1, 7, 23, 200};
  for (const int host : answering) {
    net.SetEcho(discovery_test::kLanPrefix + std::to_string(host), fake_network::Reply(0));
  }
  Sweep sweep;
  std::string out;
  std::string err;
  {
    ConsoleCapture console;
    sweep.Run();
    out = console.out();
    err = console.err();
    EXPECT_EQ(console.unflushed(), "");
  }

  const auto events = sweep.record->events();
  const std::map<int, bool> by_host = EventsByHost(events);
  ASSERT_EQ(events.size(), 254u);
  EXPECT_EQ(by_host.begin()->first, 1);
  EXPECT_EQ(by_host.rbegin()->first, 254);
  for (const auto& [host, success] : by_host) {
    EXPECT_EQ(success, answering.count(host) == 1) << host;
  }
  EXPECT_EQ(sweep.record->ends(), 1);
  EXPECT_GE(sweep.record->end_time(), events.back().at);
  EXPECT_THAT(sweep.record->problems(), IsEmpty());

  EXPECT_EQ(out.rfind("Local IP: 10.77.0.23\nSubnet Mask: 255.255.255.0\nSubnet prefix: 10.77.0.\n",
                      0),
            0u)
      << out.substr(0, 200);
  EXPECT_EQ(Count(out, "IP as unsigned long: "), 254u);
  EXPECT_EQ(err, "");
  EXPECT_EQ(net.icmp_handles_opened(), 254);
  EXPECT_EQ(net.open_icmp_handles(), 0);
  EXPECT_LE(net.peak_open_icmp_handles(), 50);
  EXPECT_EQ(net.startups(), 1);
  EXPECT_EQ(net.cleanups(), 1);
}

TEST(SubnetSweep, RunsEachBatchTogetherAndOnlyAfterThePreviousBatchDelivered) {
  FakeNetwork& net = discovery_test::ResetToLan();
  Sweep sweep;
  std::vector<std::unique_ptr<discovery_test::Latch>> batch_in_flight;
  for (const int size : kBatchSizes) {
    batch_in_flight.push_back(std::make_unique<discovery_test::Latch>(size));
  }
  std::mutex mutex;
  std::map<int, size_t> events_before_echo;
  std::set<int> together;
  // After one wait in vain the rest do not wait: a serialised sweep must fail
  // the test, not stall it for every host.
  std::atomic<bool> gave_up{false};
  net.SetCallHook([&](Call call, const std::string& address) {
    if (call != Call::kSendEcho) return;
    const int host = HostNumberOf(address);
    const size_t delivered = sweep.record->event_count();
    // Every probe of the batch must be sending at once, or none gets past.
    batch_in_flight[BatchOf(host)]->CountDown();
    const bool all_there = !gave_up && batch_in_flight[BatchOf(host)]->WaitFor(kPatience);
    if (!all_there) gave_up = true;
    std::lock_guard<std::mutex> lock(mutex);
    events_before_echo[host] = delivered;
    if (all_there) together.insert(host);
  });
  ConsoleCapture console;

  sweep.Run();

  ASSERT_EQ(events_before_echo.size(), 254u);
  EXPECT_EQ(together.size(), 254u);
  for (const auto& [host, delivered] : events_before_echo) {
    EXPECT_EQ(delivered, 50u * static_cast<size_t>(BatchOf(host))) << "host " << host;
  }
  EXPECT_EQ(net.peak_open_icmp_handles(), 50);
  EXPECT_EQ(sweep.record->ends(), 1);
}

TEST(SubnetSweep, PausesAtLeast200MsAfterEveryBatchIncludingTheLast) {
  FakeNetwork& net = discovery_test::ResetToLan();
  Sweep sweep;
  std::mutex mutex;
  std::array<Clock::time_point, 6> first_echo;
  first_echo.fill(Clock::time_point::max());
  net.SetCallHook([&](Call call, const std::string& address) {
    if (call != Call::kSendEcho) return;
    const int batch = BatchOf(HostNumberOf(address));
    std::lock_guard<std::mutex> lock(mutex);
    first_echo[batch] = std::min(first_echo[batch], Clock::now());
  });
  ConsoleCapture console;

  sweep.Run();

  std::array<Clock::time_point, 6> last_event;
  last_event.fill(Clock::time_point::min());
  for (const auto& event : sweep.record->events()) {
    const int batch = BatchOf(HostNumberOf(event.ip));
    last_event[batch] = std::max(last_event[batch], event.at);
  }
  // Each interval measured here contains the sweep's whole pause, which it
  // times on this same monotonic clock, so these lower bounds are exact.
  for (int batch = 0; batch < 5; ++batch) {
    EXPECT_GE(first_echo[batch + 1] - last_event[batch], milliseconds(200)) << "batch " << batch;
  }
  ASSERT_EQ(sweep.record->ends(), 1);
  EXPECT_GE(sweep.record->end_time() - last_event[5], milliseconds(200));
}

TEST(SubnetSweep, DeliversEventsInTheOrderProbesFinish) {
  FakeNetwork& net = discovery_test::ResetToLan();
  Sweep sweep;
  std::atomic<bool> others_finished_first{false};
  net.SetCallHook([&](Call call, const std::string& address) {
    // Host 3 answers only after the other 49 of its batch have delivered.
    if (call == Call::kSendEcho && address == "10.77.0.3") {
      others_finished_first = sweep.record->WaitForEvents(49, kPatience);
    }
  });
  ConsoleCapture console;

  sweep.Run();

  const auto events = sweep.record->events();
  ASSERT_EQ(events.size(), 254u);
  EXPECT_TRUE(others_finished_first);
  EXPECT_EQ(events[49].ip, "10.77.0.3");
}

struct LookupFailureCase {
  const char* name;
  bool fail_resolution;
  std::vector<network_platform::Adapter> adapters;
};

TEST(SubnetSweep, LookupFailurePrintsOneLineAndDeliversNothing) {
  const LookupFailureCase cases[] = {
      {"resolution fails", true, {{{{"10.77.0.23", "255.255.255.0"}}}}},
      {"no adapter carries the address", false, {{{{"10.77.0.99", "255.255.255.0"}}}}},
  };
  for (const LookupFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeNetwork& net = discovery_test::ResetToLan();
    if (c.fail_resolution) net.Fail(Call::kResolveIpv4);
    net.SetAdapters(c.adapters);
    Sweep sweep;
    ConsoleCapture console;

    sweep.Run();

    EXPECT_EQ(console.err(), "Failed to get local IP or subnet mask\n");
    EXPECT_EQ(console.out(), "");
    EXPECT_EQ(console.unflushed(), "");
    EXPECT_EQ(sweep.record->event_count(), 0u);
    EXPECT_EQ(sweep.record->ends(), 0);
    EXPECT_EQ(net.icmp_handles_opened(), 0);
  }
}

TEST(SubnetSweep, HostsWhoseProbeCannotRunStillGetExactlyOneFalseEvent) {
  FakeNetwork& net = discovery_test::ResetToLan();
  fake_network::Echo raising = fake_network::Reply(0);
  raising.raises = true;
  net.SetEcho("10.77.0.20", raising);
  net.SetEcho("10.77.0.30", fake_network::Reply(0));
  Sweep sweep;
  sweep.record->ThrowOnFirstEventOf("10.77.0.30");
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
  ConsoleCapture console;

  ScanForPingableDevices(sweep.sink, never_stopped, launcher);

  const std::map<int, bool> by_host = EventsByHost(sweep.record->events());
  EXPECT_EQ(by_host.size(), 254u);
  for (const int host : {10, 20, 30, 60}) {
    ASSERT_EQ(by_host.count(host), 1u) << host;
    EXPECT_FALSE(by_host.at(host)) << host;
    EXPECT_THAT(console.err(), HasSubstr("Probe of 10.77.0." + std::to_string(host) + " failed: "));
  }
  EXPECT_EQ(sweep.record->ends(), 1);
  EXPECT_EQ(net.open_icmp_handles(), 0);
}

TEST(SubnetSweep, StopFinishesTheCurrentBatchAndLeavesTheStreamOpen) {
  FakeNetwork& net = discovery_test::ResetToLan();
  StopSignal stop;
  net.SetCallHook([&](Call call, const std::string& address) {
    if (call == Call::kSendEcho && address == "10.77.0.60") stop.Request();
  });
  Sweep sweep;
  ConsoleCapture console;

  ScanForPingableDevices(sweep.sink, stop, StandardLauncher());

  const std::map<int, bool> by_host = EventsByHost(sweep.record->events());
  ASSERT_EQ(by_host.size(), 100u);
  EXPECT_EQ(by_host.rbegin()->first, 100);
  EXPECT_EQ(sweep.record->ends(), 0);
  EXPECT_EQ(net.open_icmp_handles(), 0);
}

TEST(SubnetSweep, ConcurrentSweepsEachPrintAndEndTheirOwnStream) {
  FakeNetwork& net = discovery_test::ResetToLan();
  Sweep first;
  Sweep second;
  ConsoleCapture console;

  std::thread other([&] { second.Run(); });
  first.Run();
  other.join();

  for (const Sweep* sweep : {&first, &second}) {
    EXPECT_EQ(EventsByHost(sweep->record->events()).size(), 254u);
    EXPECT_EQ(sweep->record->ends(), 1);
  }
  // Lines of concurrent sweeps may interleave piece by piece.
  EXPECT_EQ(Count(console.out(), "Local IP: "), 2u);
  EXPECT_EQ(Count(console.out(), "Subnet prefix: "), 2u);
  EXPECT_EQ(net.startups(), 2);
  EXPECT_EQ(net.cleanups(), 2);
  EXPECT_EQ(net.unmatched_cleanups(), 0);
  EXPECT_EQ(net.open_icmp_handles(), 0);
}

}  // namespace
