// The sweeps of one scan service: runs each "listen"'s sweep, and its
// probes, on a pool of worker threads kept for reuse, releases each sweep
// and its sink as the sweep ends, and on Stop makes the running ones wind
// down and joins every thread it started. The scan service and the channel's
// stream handler share it, so a "listen" that arrives after Stop, or after
// the ScanService is gone, still finds it and is refused.
//
// Threads: Start and Stop run on the platform thread; the destructor too, and
// never on a worker (sweeps hold no reference to the registry that could be
// the last). Workers only read the stop signal and the launchers, which
// outlive them because Stop joins every worker before the registry dies.
#ifndef RIVELO_DISCOVERY_SWEEP_REGISTRY_H_
#define RIVELO_DISCOVERY_SWEEP_REGISTRY_H_

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include "discovery/host_probe.h"
#include "discovery/launcher.h"
#include "discovery/stop_signal.h"
#include "discovery/sweep_clock.h"
#include "discovery/worker_pool.h"
#include "engine/stream_handler.h"

namespace flutter {
class BinaryMessenger;
}
class ScanService;

class SweepRegistry {
 public:
  // Workers are started with launcher's start_thread; pauses are timed by
  // clock, which outlives the registry.
  SweepRegistry(const Launcher& launcher, const SweepClock& clock);
  ~SweepRegistry();

  SweepRegistry(const SweepRegistry&) = delete;
  SweepRegistry& operator=(const SweepRegistry&) = delete;

  // Starts a sweep that owns sink. Returns the error for the "listen" answer
  // when the registry has stopped or no thread could be started; the sink is
  // then destroyed here.
  std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> Start(
      std::unique_ptr<HostEventSink> sink);

  // Blocks until every sweep has ended and every worker is joined; see
  // ScanService::Stop.
  void Stop();

  // Sweeps started and not yet over. A sweep leaves this count before its
  // sink is destroyed.
  size_t running() const;

 private:
  void Run(std::unique_ptr<HostEventSink>& sink);

  StopSignal stop_;
  WorkerPool pool_;
  // What the sweeps launch their probes with: the pool.
  const Launcher probes_;
  mutable std::mutex mutex_;
  std::condition_variable sweep_ended_;
  size_t running_ = 0;
};

// RegisterScanChannel with a chosen launcher and clock.
std::unique_ptr<ScanService> RegisterScanChannel(flutter::BinaryMessenger* messenger,
                                                 const Launcher& launcher,
                                                 const SweepClock& clock);

#endif  // RIVELO_DISCOVERY_SWEEP_REGISTRY_H_
