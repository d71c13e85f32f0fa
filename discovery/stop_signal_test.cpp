#include "discovery/stop_signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(StopSignal, PauseLastsAtLeastItsDurationWhenNotStopped) {
  const StopSignal stop;
  const auto start = Clock::now();

  EXPECT_TRUE(stop.Pause(milliseconds(50)));

  // The pause is measured on the same clock inside this interval, so the
  // lower bound cannot fail spuriously.
  EXPECT_GE(Clock::now() - start, milliseconds(50));
  EXPECT_FALSE(stop.requested());
}

TEST(StopSignal, PauseAfterARequestReturnsAtOnce) {
  StopSignal stop;
  stop.Request();
  const auto start = Clock::now();

  EXPECT_FALSE(stop.Pause(std::chrono::minutes(1)));

  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  EXPECT_TRUE(stop.requested());
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
