// The sweeps of one scan service: starts each "listen"'s sweep on a thread of
// its own, and on Stop makes them all wind down and joins them. The scan
// service and the channel's stream handler share it, so a "listen" that
// arrives after Stop, or after the ScanService is gone, still finds it and is
// refused.
//
// Threads: Start and Stop run on the platform thread; the destructor too, and
// never on a sweep thread (sweeps hold no reference to the registry that could
// be the last). Sweep threads only read the stop signal and the launcher,
// which outlive them because the registry joins every sweep before it dies.
#ifndef RIVELO_DISCOVERY_SWEEP_REGISTRY_H_
#define RIVELO_DISCOVERY_SWEEP_REGISTRY_H_

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "discovery/host_probe.h"
#include "discovery/launcher.h"
#include "discovery/stop_signal.h"
#include "engine/stream_handler.h"

namespace flutter {
class BinaryMessenger;
}
class ScanService;

class SweepRegistry {
 public:
  explicit SweepRegistry(Launcher launcher);
  ~SweepRegistry();

  SweepRegistry(const SweepRegistry&) = delete;
  SweepRegistry& operator=(const SweepRegistry&) = delete;

  // Starts a sweep that owns sink. Returns the error for the "listen" answer
  // when the registry has stopped or no thread could be started; the sink is
  // then destroyed here.
  std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> Start(
      std::unique_ptr<HostEventSink> sink);

  // Blocks until every sweep thread has ended; see ScanService::Stop.
  void Stop();

 private:
  struct Sweep {
    std::unique_ptr<HostEventSink> sink;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void Run(Sweep& sweep);
  // Joins the threads of sweeps that are over, so a long-lived service does
  // not collect them.
  void JoinFinished();

  const Launcher launcher_;
  StopSignal stop_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Sweep>> sweeps_;
};

// RegisterScanChannel with a chosen launcher.
std::unique_ptr<ScanService> RegisterScanChannel(flutter::BinaryMessenger* messenger,
                                                 const Launcher& launcher);

#endif  // RIVELO_DISCOVERY_SWEEP_REGISTRY_H_
