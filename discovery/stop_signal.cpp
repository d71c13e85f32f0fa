#include "discovery/stop_signal.h"

namespace {

class SteadyClock : public SweepClock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                 TimePoint deadline) const override {
    wake.wait_until(lock, deadline);
  }
};

}  // namespace

const SweepClock& SteadySweepClock() {
  static const SteadyClock clock;
  return clock;
}

void StopSignal::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  requested_changed_.notify_all();
}

bool StopSignal::requested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requested_;
}

bool StopSignal::Pause(std::chrono::milliseconds duration) const {
  const SweepClock::TimePoint deadline = clock_.Now() + duration;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!requested_ && clock_.Now() < deadline) {
    clock_.WaitUntil(requested_changed_, lock, deadline);
  }
  return !requested_;
}
