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
#include "discovery/sweep_pacing.h"
#include "discovery/worker_pool.h"
#include "testing/fake_network_platform.h"

namespace {

using discovery_test::CaptureConsole;
using discovery_test::Latch;
using discovery_test::ManualClock;
using discovery_test::RecordingSink;
using fake_network::Call;
using std::chrono::milliseconds;
using namespace sweep_pacing;

constexpr auto kPatience = std::chrono::seconds(10);
constexpr milliseconds kPause(kPauseAfterBatchMs);

int HostOf(const std::string& ip) { return std::stoi(ip.substr(ip.rfind('.') + 1)); }
int BatchOf(const std::string& ip) { return (HostOf(ip) - kFirstHost) / kBatchSize; }

// Probes go to the pool, as in the scan service.
Launcher PooledLauncher(WorkerPool& pool) {
  return {StandardLauncher().start_thread,
          [&pool](std::function<void()> work) { return pool.Run(std::move(work)); }};
}

// Host number -> "success" of its one event; fails the test on a duplicate or
// an address outside the LAN's 1..254.
std::map<int, bool> EventsByHost(const std::vector<discovery_test::HostEvent>& events) {
  std::map<int, bool> by_host;
  for (const auto& event : events) {
    EXPECT_EQ(event.ip.rfind(fake_network::kLanPrefix, 0), 0u) << event.ip;
    EXPECT_TRUE(HostOf(event.ip) >= kFirstHost && HostOf(event.ip) <= kLastHost) << event.ip;
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
  std::vector<std::unique_ptr<Latch>> batch_in_flight;
  for (int batch = 0; batch < kBatchCount; ++batch) {
    const int rest = kLastHost - kFirstHost + 1 - batch * kBatchSize;
    batch_in_flight.push_back(std::make_unique<Latch>(std::min(rest, kBatchSize)));
  }
  // After one wait in vain the rest do not wait: a serialised sweep must fail
  // the test, not stall it for every host.
  std::atomic<bool> gave_up{false};
  script.hook = [&](Call call, const std::string& ip) {
    if (call != Call::kSendEcho) return;
    // Every probe of the batch holds its handle until all of them do.
    batch_in_flight[BatchOf(ip)]->CountDown();
    if (!gave_up && !batch_in_flight[BatchOf(ip)]->WaitFor(kPatience)) gave_up = true;
  };
  fake_network::Reset(script);
  // Every pause wakes early once, and must wait again for the rest.
  ManualClock clock(kPause - milliseconds(50));
  std::vector<size_t> delivered_at_waits;
  clock.on_wait = [&] {
    const RecordingSink::Record now = recorder.record();
    delivered_at_waits.push_back(now.ends == 0 ? now.events.size() : 0);
  };
  const StopSignal never_stopped(clock);
  WorkerPool pool(StandardLauncher().start_thread, std::chrono::seconds(10));

  const auto console = CaptureConsole(
      [&] { ScanForPingableDevices(sink, never_stopped, PooledLauncher(pool)); });

  const fake_network::Counts counts = fake_network::GetCounts();
  EXPECT_EQ(counts.icmp_peak, kBatchSize);
  EXPECT_EQ(counts.icmp_opened, kLastHost);
  EXPECT_EQ(counts.icmp_open, 0);
  EXPECT_EQ(counts.startups, 1);
  EXPECT_EQ(counts.cleanups, 1);
  const RecordingSink::Record record = recorder.record();
  ASSERT_EQ(record.events.size(), size_t{kLastHost});
  for (const auto& [host, success] : EventsByHost(record.events)) {
    EXPECT_EQ(success, answering.count(host) == 1) << host;
  }
  EXPECT_EQ(record.ends, 1);
  // A whole pause after every batch, each batch delivered before its pause
  // and the end after the last.
  std::vector<size_t> expected_waits;
  for (int end = kBatchSize; end < kLastHost + kBatchSize; end += kBatchSize) {
    expected_waits.insert(expected_waits.end(), 2, std::min(end, int{kLastHost}));
  }
  EXPECT_EQ(delivered_at_waits, expected_waits);
  EXPECT_EQ(clock.elapsed(), kBatchCount * kPause);

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
  WorkerPool pool(StandardLauncher().start_thread, std::chrono::seconds(10));
  Launcher launcher = PooledLauncher(pool);
  launcher.start_task = [&launches, pooled = launcher.start_task](std::function<void()> work) {
    const int host = ++launches;
    if (host == 10 || host == 60) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return pooled(std::move(work));
  };
  const ManualClock clock;
  const StopSignal never_stopped(clock);

  const auto console =
      CaptureConsole([&] { ScanForPingableDevices(sink, never_stopped, launcher); });

  const std::map<int, bool> by_host = EventsByHost(recorder.record().events);
  EXPECT_EQ(by_host.size(), size_t{kLastHost});
  for (const int host : {10, 20, 60}) {
    ASSERT_EQ(by_host.count(host), 1u) << host;
    EXPECT_FALSE(by_host.at(host)) << host;
    EXPECT_THAT(console.err,
                ::testing::HasSubstr("Probe of 10.77.0." + std::to_string(host) + " failed: "));
  }
  EXPECT_EQ(recorder.record().ends, 1);
  EXPECT_EQ(fake_network::GetCounts().icmp_open, 0);
}

TEST(StopSignal, ARequestWakesAPauseInProgressAtOnce) {
  ManualClock clock(discovery_test::Clock::duration::zero());
  Latch waiting(1);
  clock.on_wait = [&waiting] { waiting.CountDown(); };
  StopSignal stop(clock);
  bool paused_fully = true;
  std::thread sweep([&] { paused_fully = stop.Pause(kPause); });

  EXPECT_TRUE(waiting.WaitFor(kPatience));
  stop.Request();
  sweep.join();

  EXPECT_FALSE(paused_fully);
  EXPECT_EQ(clock.elapsed(), discovery_test::Clock::duration::zero());  // woken, not timed out
}

// A worker that was idle for the limit ends; the next work gets a new one,
// and the ended one is joined.
TEST(WorkerPool, AnIdleWorkerEndsAndLaterWorkStillRuns) {
  Latch ended(1);
  WorkerPool pool(
      [&ended](std::function<void()> work) {
        return std::thread([work, &ended] {
          work();
          ended.CountDown();
        });
      },
      milliseconds(1));
  pool.Run([] {}).get();
  EXPECT_TRUE(ended.WaitFor(kPatience));
  EXPECT_EQ(pool.Run([] {}).wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(pool.threads(), 1u);
}

}  // namespace
