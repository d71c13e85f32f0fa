#include "discovery/stop_signal.h"

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

bool StopSignal::Pause(std::chrono::steady_clock::duration duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!requested_ && std::chrono::steady_clock::now() < deadline) {
    requested_changed_.wait_until(lock, deadline);
  }
  return !requested_;
}
