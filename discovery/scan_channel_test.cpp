#include "discovery/scan_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "discovery/sweep_pacing.h"
#include "discovery/sweep_registry.h"
#include "encoding/standard_method_codec.h"
#include "engine/dart_project.h"
#include "engine/flutter_engine.h"
#include "testing/fake_engine.h"
#include "testing/fake_network_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;
using flutter::EncodableValue;

constexpr auto kPatience = std::chrono::seconds(30);
const Bytes kSuccessWithoutResult = {0x00, 0x00};

Bytes HostEventBytes(int host) {
  const bool answers = host == 1 || host == 7 || host == 200;
  const EncodableValue event(
      flutter::EncodableMap{{"ip", "10.77.0." + std::to_string(host)}, {"success", answers}});
  return *flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&event);
}

Bytes ErrorEnvelope(const std::string& message) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeErrorEnvelope("error", message);
}

// Keeps the sweeps' console lines out of the test's output; any thread may write.
struct Discard : std::streambuf {
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

class ScanChannelTest : public fake_engine::FakeEngineTest {
 protected:
  ScanChannelTest() : engine_(std::make_unique<flutter::FlutterEngine>(flutter::DartProject(L"data"))) {
    fake_network::Script script;
    script.answers = {{"10.77.0.1", 0}, {"10.77.0.7", 0}, {"10.77.0.200", 0}};
    fake_network::Reset(script);
    service_ = RegisterScanChannel(engine_->GetMessenger(), Threads(), clock_);
  }

  ~ScanChannelTest() override {
    service_.reset();
    engine_.reset();
    std::cout.rdbuf(saved_cout_);
  }

  Bytes Call(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr) {
    return fake().DeliverMethodCall(kScanChannelName, method, std::move(arguments)).value_or(Bytes{0xEE});
  }

  // The standard launcher, but the next sweep thread fails to start once
  // refuse_thread_ is set.
  Launcher Threads() {
    Launcher launcher = StandardLauncher();
    launcher.start_thread = [this](std::function<void()> work) {
      if (refuse_thread_.exchange(false)) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      return StandardLauncher().start_thread(std::move(work));
    };
    return launcher;
  }

  std::atomic<bool> refuse_thread_{false};
  const discovery_test::ManualClock clock_;
  Discard discard_;
  std::streambuf* saved_cout_ = std::cout.rdbuf(&discard_);
  std::unique_ptr<flutter::FlutterEngine> engine_;
  std::unique_ptr<ScanService> service_;
};

// Every listen, whatever its arguments, starts a sweep of its own that sends
// every host once and then an empty end; a cancel is answered and stops none.
// A listen whose sweep thread cannot start is refused and the next one works;
// after Stop, or without the service, a listen is refused.
TEST_F(ScanChannelTest, EveryListenStreamsAWholeSweepFromItsOwnThread) {
  refuse_thread_ = true;
  const std::string why =
      std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)).what();
  EXPECT_EQ(Call("listen"), ErrorEnvelope("Unable to start the discovery sweep: " + why));

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  EXPECT_EQ(Call("listen", std::make_unique<EncodableValue>("192.168.7.0/24")),
            kSuccessWithoutResult);
  EXPECT_EQ(Call("cancel"), kSuccessWithoutResult);
  ASSERT_TRUE(fake().WaitForSentOn(kScanChannelName, 2 * 255, kPatience));
  service_->Stop();
  EXPECT_EQ(Call("listen"), ErrorEnvelope("The discovery service has stopped"));

  std::vector<Bytes> sent = fake().SentOn(kScanChannelName);
  ASSERT_EQ(sent.size(), 2u * 255);
  EXPECT_TRUE(sent.back().empty());
  EXPECT_EQ(std::count(sent.begin(), sent.end(), Bytes{}), 2);
  sent.erase(std::remove(sent.begin(), sent.end(), Bytes{}), sent.end());
  std::vector<Bytes> expected;
  for (int host = 1; host <= 2 * 254; ++host) expected.push_back(HostEventBytes((host - 1) % 254 + 1));
  EXPECT_THAT(sent, ::testing::UnorderedElementsAreArray(expected));
  for (const fake_engine::SentMessage& message : fake().Sent()) {
    EXPECT_NE(message.thread, std::this_thread::get_id());
  }

  service_ = RegisterScanChannel(engine_->GetMessenger(), Threads(), clock_);
  service_.reset();
  EXPECT_EQ(Call("listen"), ErrorEnvelope("The discovery service has stopped"));
}

TEST_F(ScanChannelTest, StopWaitsForTheRunningBatchAndThenNothingIsSent) {
  // Every probe of the first batch is inside a one-second echo when Stop
  // comes: Stop has to wait for all fifty, and not for anything after them.
  // Shared with the hook, which may outlive this test body when it fails.
  const auto first_batch_sending = std::make_shared<discovery_test::Latch>(50);
  fake_network::Script script;
  script.hook = [first_batch_sending](fake_network::Call call, const std::string&) {
    if (call != fake_network::Call::kSendEcho) return;
    first_batch_sending->CountDown();
    std::this_thread::sleep_for(std::chrono::seconds(1));
  };
  fake_network::Reset(script);
  Call("listen");
  ASSERT_TRUE(first_batch_sending->WaitFor(kPatience));

  const auto start = discovery_test::Clock::now();
  service_->Stop();
  const auto stopping = discovery_test::Clock::now() - start;

  const std::vector<Bytes> sent = fake().SentOn(kScanChannelName);
  EXPECT_EQ(sent.size(), size_t{sweep_pacing::kBatchSize});
  EXPECT_EQ(std::count(sent.begin(), sent.end(), Bytes{}), 0);
  // The echoes were already running, so the wait is below one echo plus the
  // delivery of fifty events; 1.5 s leaves a third of a second to spare.
  EXPECT_LT(stopping, std::chrono::milliseconds(1500));
  EXPECT_EQ(fake_network::GetCounts().icmp_open, 0);
  // The engine goes right after Stop, as in the host window; a sweep still
  // sending would now reach a destroyed messenger.
  service_.reset();
  engine_.reset();
}

// When destroyed, adds what reached it to `calls` and counts down `released`.
struct ReleasedSink : discovery_test::RecordingSink {
  ReleasedSink(discovery_test::Latch& latch, std::atomic<int>& tally) : released(latch), calls(tally) {}
  ~ReleasedSink() override {
    calls += static_cast<int>(record().events.size()) + record().ends;
    released.CountDown();
  }
  discovery_test::Latch& released;
  std::atomic<int>& calls;
};

// Sweep after sweep, each is released with its sink as it ends, not at Stop,
// and they share the workers of one batch and the one that ran the sweep;
// Stop joins them all.
TEST(SweepRegistry, ReleasesEachSweepAsItEndsAndReusesItsWorkers) {
  fake_network::Reset();
  const discovery_test::ManualClock clock;
  std::atomic<int> threads{0};
  std::atomic<int> ended{0};
  Launcher launcher = StandardLauncher();
  launcher.start_thread = [&threads, &ended](std::function<void()> work) {
    ++threads;
    return std::thread([work, &ended] { work(), ++ended; });
  };
  SweepRegistry registry(launcher, clock);
  std::atomic<int> calls{0};
  discovery_test::CaptureConsole([&] {
    for (int listen = 1; listen <= 20; ++listen) {
      discovery_test::Latch released(1);
      EXPECT_EQ(registry.Start(std::make_unique<ReleasedSink>(released, calls)), nullptr);
      ASSERT_TRUE(released.WaitFor(kPatience));
      EXPECT_EQ(registry.running(), 0u);
      EXPECT_EQ(calls, listen * (sweep_pacing::kLastHost + 1));
    }
  });
  EXPECT_LE(threads, sweep_pacing::kBatchSize + 2);
  registry.Stop();
  EXPECT_EQ(ended, threads);
}

TEST(SweepRegistry, ASweepThatThrowsIsReportedAndReleasedWithNothingSent) {
  fake_network::Script script;
  script.hook = [](fake_network::Call call, const std::string&) {
    if (call == fake_network::Call::kReadHostName) throw std::runtime_error("no host name");
  };
  fake_network::Reset(script);
  const discovery_test::ManualClock clock;
  SweepRegistry registry(StandardLauncher(), clock);
  discovery_test::Latch released(1);
  std::atomic<int> calls{0};

  const auto console = discovery_test::CaptureConsole([&] {
    EXPECT_EQ(registry.Start(std::make_unique<ReleasedSink>(released, calls)), nullptr);
    EXPECT_TRUE(released.WaitFor(kPatience));
  });

  EXPECT_EQ(calls, 0);
  EXPECT_EQ(console.err, "Discovery sweep failed: no host name\n");
}

}  // namespace
