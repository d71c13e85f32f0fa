// A one-way stop request shared by a scan service and its running sweeps, and
// the sweep's stoppable pause, timed by a SweepClock.
//
// Owned by the sweep registry; sweeps hold it by reference and the registry
// waits for them before it goes away. Any thread may request and poll.
#ifndef RIVELO_DISCOVERY_STOP_SIGNAL_H_
#define RIVELO_DISCOVERY_STOP_SIGNAL_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "discovery/sweep_clock.h"

class StopSignal {
 public:
  explicit StopSignal(const SweepClock& clock = SteadySweepClock()) : clock_(clock) {}
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Irrevocable; wakes every pause in progress.
  void Request();
  bool requested() const;

  // Waits for the duration on the clock, never less: an early wake-up waits
  // again for the rest. Returns false, at once, when a stop is requested
  // before or during the wait.
  bool Pause(std::chrono::milliseconds duration) const;

 private:
  const SweepClock& clock_;
  mutable std::mutex mutex_;
  mutable std::condition_variable requested_changed_;
  bool requested_ = false;
};

#endif  // RIVELO_DISCOVERY_STOP_SIGNAL_H_
