// A one-way stop request shared by a scan service and its running sweeps, and
// the sweep's stoppable pause.
//
// Owned by the sweep registry; sweeps hold it by reference and the registry
// joins them before it goes away. Any thread may request and poll.
#ifndef RIVELO_DISCOVERY_STOP_SIGNAL_H_
#define RIVELO_DISCOVERY_STOP_SIGNAL_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

class StopSignal {
 public:
  StopSignal() = default;
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Irrevocable; wakes every pause in progress.
  void Request();
  bool requested() const;

  // Waits for the duration on the monotonic clock, never less: an early
  // wake-up waits again for the rest. Returns false, at once, when a stop is
  // requested before or during the wait.
  bool Pause(std::chrono::steady_clock::duration duration) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable requested_changed_;
  bool requested_ = false;
};

#endif  // RIVELO_DISCOVERY_STOP_SIGNAL_H_
