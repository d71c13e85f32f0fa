// Shared by discovery's tests: a sink that records host events from any
// number of threads, capture of the console, a count-down latch and a clock
// whose pauses take no real time.
#ifndef RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
#define RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "discovery/host_probe.h"
#include "discovery/sweep_clock.h"

namespace discovery_test {

using Clock = std::chrono::steady_clock;

struct HostEvent {
  std::string ip;
  bool success = false;
};

// Keeps the host events. The discovery stream carries nothing else: an event
// that is not a map with "ip" (a string) and "success" (a bool) throws, and so
// does Error. (The scan channel's tests hold every event to its exact bytes.)
class RecordingSink : public HostEventSink {
 public:
  struct Record {
    std::vector<HostEvent> events;
    int ends = 0;
  };

  Record record() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
  }

  void Success(const flutter::EncodableValue* event) override {
    if (event == nullptr) throw std::logic_error("an event without a value");
    const auto& map = std::get<flutter::EncodableMap>(*event);
    HostEvent parsed{std::get<std::string>(map.at(flutter::EncodableValue("ip"))),
                     std::get<bool>(map.at(flutter::EncodableValue("success")))};
    std::lock_guard<std::mutex> lock(mutex_);
    record_.events.push_back(parsed);
  }

  void Error(const std::string& code, const std::string&, const flutter::EncodableValue*) override {
    throw std::logic_error("an error event: " + code);
  }

  void EndOfStream() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++record_.ends;
  }

 private:
  mutable std::mutex mutex_;
  Record record_;
};

struct Console {
  std::string out;
  std::string err;
};

// What `run` wrote on standard output and error. Captured at the descriptors,
// so lines written from any thread count; `run` must not leave threads writing.
template <typename Run>
Console CaptureConsole(Run run) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  run();
  return {::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
}

class Latch {
 public:
  explicit Latch(int count) : count_(count) {}
  void CountDown() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--count_ == 0) zero_.notify_all();
  }
  // False when the count did not reach zero in time.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return zero_.wait_for(lock, timeout, [&] { return count_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable zero_;
  int count_;
};

// Time that moves only when a pause waits: each wait moves it at most `step`
// towards the deadline and returns, as an early wake-up would. With a step of
// zero time stands still and a wait ends only when woken, or else, after ten
// seconds, by time jumping to the deadline.
class ManualClock : public SweepClock {
 public:
  explicit ManualClock(Clock::duration step = Clock::duration::max()) : step_(step) {}

  // Runs at every wait, on the pausing thread.
  std::function<void()> on_wait;

  TimePoint Now() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }
  void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                 TimePoint deadline) const override {
    if (on_wait) on_wait();
    const bool frozen = step_ == Clock::duration::zero();
    if (frozen && wake.wait_for(lock, std::chrono::seconds(10)) == std::cv_status::no_timeout) return;
    std::lock_guard<std::mutex> guard(mutex_);
    now_ = std::max(now_, frozen || deadline - now_ <= step_ ? deadline : now_ + step_);
  }
  Clock::duration elapsed() const { return Now() - TimePoint(); }

 private:
  const Clock::duration step_;
  mutable std::mutex mutex_;
  mutable TimePoint now_;
};

}  // namespace discovery_test

#endif  // RIVELO_DISCOVERY_DISCOVERY_TEST_SUPPORT_H_
