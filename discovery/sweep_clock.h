// The time a sweep's pauses take. The product waits on the monotonic clock;
// tests substitute a clock of their own so that no test sleeps through a real
// pause, and so that they can see each pause and when it ends.
//
// A clock outlives every StopSignal that uses it. Both operations may be
// called from any number of threads at once.
#ifndef RIVELO_DISCOVERY_SWEEP_CLOCK_H_
#define RIVELO_DISCOVERY_SWEEP_CLOCK_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

class SweepClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~SweepClock() = default;
  virtual TimePoint Now() const = 0;
  // Blocks, with lock released, until wake is notified or the clock reaches
  // deadline. May return early, so callers check what they wait for again.
  virtual void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                         TimePoint deadline) const = 0;
};

// The monotonic clock; a process-wide instance.
const SweepClock& SteadySweepClock();

#endif  // RIVELO_DISCOVERY_SWEEP_CLOCK_H_
