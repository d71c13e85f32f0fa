#include "discovery/scan_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "discovery/discovery_test_support.h"
#include "discovery/sweep_registry.h"
#include "engine/dart_project.h"
#include "engine/flutter_engine.h"
#include "testing/fake_engine.h"
#include "testing/fake_network_platform.h"

namespace {

using Bytes = std::vector<uint8_t>;
using discovery_test::Clock;
using discovery_test::ConsoleCapture;
using fake_network::Call;
using fake_network::FakeNetwork;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr char kChannel[] = "com.tarnok.rivelo/scanForPingableDevices";
constexpr auto kPatience = std::chrono::seconds(30);
const Bytes kSuccessWithoutResult = {0x00, 0x00};

void AppendString(const std::string& text, Bytes* bytes) {
  bytes->push_back(0x07);
  bytes->push_back(static_cast<uint8_t>(text.size()));
  bytes->insert(bytes->end(), text.begin(), text.end());
}

// Written from the wire format by hand, not with the codec under test.
Bytes HostEventBytes(const std::string& ip, bool success) {
  Bytes bytes = {0x00, 0x0D, 0x02};
  AppendString("ip", &bytes);
  AppendString(ip, &bytes);
  AppendString("success", &bytes);
  bytes.push_back(success ? 0x01 : 0x02);
  return bytes;
}

Bytes ErrorEnvelope(const std::string& message) {
  Bytes bytes = {0x01};
  AppendString("error", &bytes);
  AppendString(message, &bytes);
  bytes.push_back(0x00);
  return bytes;
}

// Counts sweep threads in and out, and can refuse to start some.
struct CountingLauncher {
  std::atomic<int> started{0};
  std::atomic<int> ended{0};
  std::atomic<int> refusals{0};

  Launcher Make() {
    Launcher launcher = StandardLauncher();
    launcher.start_thread = [this](std::function<void()> work) {
      if (refusals > 0) {
        --refusals;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      ++started;
      return std::thread([this, work] {
        work();
        ++ended;
      });
    };
    return launcher;
  }
};

class ScanChannelTest : public fake_engine::FakeEngineTest {
 protected:
  ScanChannelTest()
      : net_(discovery_test::ResetToLan()),
        engine_(std::make_unique<flutter::FlutterEngine>(flutter::DartProject(L"data"))) {
    for (const int host : {1, 7, 200}) {
      net_.SetEcho("10.77.0." + std::to_string(host), fake_network::Reply(0));
    }
  }

  ~ScanChannelTest() override {
    service_.reset();
    engine_.reset();
  }

  void Register() { service_ = RegisterScanChannel(engine_->GetMessenger(), threads_.Make()); }

  Bytes Call(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr) {
    return fake().DeliverMethodCall(kChannel, method, std::move(arguments)).value_or(Bytes{0xEE});
  }

  // Waits for `streams` whole sweeps of the simulated LAN, then stops the
  // service so that nothing more can arrive.
  std::vector<Bytes> Collect(size_t streams) {
    EXPECT_TRUE(fake().WaitForSentOn(kChannel, 255 * streams, kPatience));
    service_->Stop();
    return fake().SentOn(kChannel);
  }

  // Every host event of the LAN `times` times, in any order.
  static std::vector<Bytes> ExpectedEvents(int times) {
    std::vector<Bytes> expected;
    for (int round = 0; round < times; ++round) {
      for (int host = 1; host <= 254; ++host) {
        expected.push_back(
            HostEventBytes("10.77.0." + std::to_string(host), host == 1 || host == 7 || host == 200));
      }
    }
    return expected;
  }

  static std::vector<Bytes> Without(std::vector<Bytes> messages, const Bytes& unwanted) {
    messages.erase(std::remove(messages.begin(), messages.end(), unwanted), messages.end());
    return messages;
  }

  FakeNetwork& net_;
  CountingLauncher threads_;
  ConsoleCapture console_;
  std::unique_ptr<flutter::FlutterEngine> engine_;
  std::unique_ptr<ScanService> service_;
};

TEST_F(ScanChannelTest, ListenGetsEveryHostOnceThenOneEmptyEnd) {
  Register();

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  const std::vector<Bytes> sent = Collect(1);

  ASSERT_EQ(sent.size(), 255u);
  EXPECT_TRUE(sent.back().empty());
  EXPECT_THAT(Without(sent, Bytes{}), ::testing::UnorderedElementsAreArray(ExpectedEvents(1)));
}

TEST_F(ScanChannelTest, AHostEventIsThirtyBytesOnTheWire) {
  net_.SetResolution({"192.168.1.23"});
  net_.SetAdapters({{{{"192.168.1.23", "255.255.255.0"}}}});
  net_.SetEcho("192.168.1.5", fake_network::Reply(0));
  Register();

  Call("listen");
  const std::vector<Bytes> sent = Collect(1);

  const Bytes answered = {0x00, 0x0D, 0x02, 0x07, 0x02, 'i', 'p', 0x07, 0x0B, '1',
                          '9',  '2',  '.',  '1',  '6',  '8', '.', '1',  '.',  '5',
                          0x07, 0x07, 's',  'u',  'c',  'c', 'e', 's',  's',  0x01};
  Bytes silent = answered;
  silent[19] = '6';
  silent.back() = 0x02;
  EXPECT_EQ(std::count(sent.begin(), sent.end(), answered), 1);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), silent), 1);
}

TEST_F(ScanChannelTest, CancelIsAnsweredButTheSweepRunsToItsEnd) {
  Register();

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  EXPECT_EQ(Call("cancel"), kSuccessWithoutResult);
  const std::vector<Bytes> sent = Collect(1);

  ASSERT_EQ(sent.size(), 255u);
  EXPECT_TRUE(sent.back().empty());
}

TEST_F(ScanChannelTest, EveryListenStartsItsOwnSweep) {
  Register();

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  const std::vector<Bytes> sent = Collect(2);

  EXPECT_EQ(sent.size(), 510u);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), Bytes{}), 2);
  EXPECT_TRUE(sent.back().empty());
  EXPECT_THAT(Without(sent, Bytes{}), ::testing::UnorderedElementsAreArray(ExpectedEvents(2)));
  EXPECT_EQ(threads_.started, 2);
}

TEST_F(ScanChannelTest, ListenArgumentsChangeNothing) {
  Register();
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(std::make_unique<EncodableValue>(EncodableMap{{"subnet", "192.168.7."}}));
  arguments.push_back(std::make_unique<EncodableValue>("192.168.7.0/24"));
  size_t streams = 0;
  for (auto& argument : arguments) {
    EXPECT_EQ(Call("listen", std::move(argument)), kSuccessWithoutResult);
    ++streams;
    ASSERT_TRUE(fake().WaitForSentOn(kChannel, 255 * streams, kPatience));
  }
  const std::vector<Bytes> sent = Collect(streams);

  EXPECT_THAT(Without(sent, Bytes{}), ::testing::UnorderedElementsAreArray(ExpectedEvents(2)));
}

TEST_F(ScanChannelTest, CancelWithoutListenIsRefusedAndStartsNothing) {
  Register();

  EXPECT_EQ(Call("cancel"), ErrorEnvelope("No active stream to cancel"));

  service_->Stop();
  EXPECT_EQ(threads_.started, 0);
  EXPECT_EQ(net_.startups(), 0);
}

TEST_F(ScanChannelTest, FailedLookupAnswersListenAndThenSendsNothing) {
  net_.Fail(Call::kResolveIpv4);
  Register();

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  service_->Stop();

  EXPECT_EQ(threads_.ended, 1);
  EXPECT_TRUE(fake().SentOn(kChannel).empty());
  EXPECT_EQ(console_.err(), "Failed to get local IP or subnet mask\n");
}

TEST_F(ScanChannelTest, SweepsSendFromTheirOwnThreads) {
  Register();

  Call("listen");
  Collect(1);

  for (const fake_engine::SentMessage& message : fake().Sent()) {
    EXPECT_NE(message.thread, std::this_thread::get_id());
  }
}

TEST_F(ScanChannelTest, StopWaitsForTheRunningBatchAndThenNothingIsSent) {
  // Every probe of the first batch is inside a one-second echo when Stop
  // comes: Stop has to wait for all fifty, and not for anything after them.
  net_.SetDefaultEcho(fake_network::Silent(std::chrono::milliseconds(1000)));
  discovery_test::Latch first_batch_sending(50);
  net_.SetCallHook([&](fake_network::Call call, const std::string&) {
    if (call == Call::kSendEcho) first_batch_sending.CountDown();
  });
  Register();
  Call("listen");
  ASSERT_TRUE(first_batch_sending.WaitFor(kPatience));

  const auto start = Clock::now();
  service_->Stop();
  const auto stopping = Clock::now() - start;

  EXPECT_EQ(threads_.ended, 1);
  const std::vector<Bytes> sent = fake().SentOn(kChannel);
  EXPECT_EQ(sent.size(), 50u);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), Bytes{}), 0);
  // The echoes were already running, so the wait is below one timeout plus
  // the delivery of fifty events; 1.5 s leaves a third of a second to spare.
  EXPECT_LT(stopping, std::chrono::milliseconds(1500));
  EXPECT_EQ(net_.open_icmp_handles(), 0);
  // The engine goes right after Stop, as in the host window; a sweep still
  // sending would now reach a destroyed messenger.
  service_.reset();
  engine_.reset();
}

TEST_F(ScanChannelTest, ListenAfterStopIsRefusedWithAnError) {
  Register();
  service_->Stop();

  EXPECT_EQ(Call("listen"), ErrorEnvelope("The discovery service has stopped"));
  EXPECT_EQ(threads_.started, 0);
}

TEST_F(ScanChannelTest, ListenAfterTheServiceIsGoneIsRefusedWithAnError) {
  Register();
  service_.reset();

  EXPECT_EQ(Call("listen"), ErrorEnvelope("The discovery service has stopped"));
  EXPECT_EQ(threads_.started, 0);
}

TEST_F(ScanChannelTest, ASweepThreadThatCannotStartIsReportedAndTheNextListenWorks) {
  threads_.refusals = 1;
  Register();

  const Bytes refused = Call("listen");
  const std::string why = std::system_error(
      std::make_error_code(std::errc::resource_unavailable_try_again)).what();
  EXPECT_EQ(refused, ErrorEnvelope("Unable to start the discovery sweep: " + why));

  EXPECT_EQ(Call("listen"), kSuccessWithoutResult);
  const std::vector<Bytes> sent = Collect(1);
  EXPECT_EQ(sent.size(), 255u);
  EXPECT_EQ(threads_.started, 1);
}

TEST_F(ScanChannelTest, TheServiceMayOutliveTheEngine) {
  Register();
  engine_.reset();

  service_->Stop();
  service_.reset();

  EXPECT_EQ(threads_.started, 0);
}

}  // namespace
