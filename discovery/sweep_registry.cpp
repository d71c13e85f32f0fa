#include "discovery/sweep_registry.h"

#include <exception>
#include <iostream>
#include <string>

#include "discovery/subnet_sweep.h"
#include "encoding/console_line.h"

namespace {

// Long enough that a worker outlasts the pause between two batches and the
// gap between scans started by hand, short enough that an application that
// scans now and then does not keep fifty idle threads.
constexpr std::chrono::seconds kWorkerIdleLimit(10);

std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> ListenError(
    const std::string& message) {
  return std::make_unique<flutter::StreamHandlerError<flutter::EncodableValue>>("error", message,
                                                                               nullptr);
}

}  // namespace

SweepRegistry::SweepRegistry(const Launcher& launcher, const SweepClock& clock)
    : stop_(clock),
      pool_(launcher.start_thread, kWorkerIdleLimit),
      probes_{launcher.start_thread,
              [this](std::function<void()> work) { return pool_.Run(std::move(work)); }} {}

SweepRegistry::~SweepRegistry() { Stop(); }

std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> SweepRegistry::Start(
    std::unique_ptr<HostEventSink> sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Stop requests before it takes the lock, so a sweep started here is
  // either refused or waited for by that Stop.
  if (stop_.requested()) return ListenError("The discovery service has stopped");
  // Shared by the copies the pool makes of the work; Run destroys the sink.
  auto owned = std::make_shared<std::unique_ptr<HostEventSink>>(std::move(sink));
  try {
    pool_.Run([this, owned] { Run(*owned); });
  } catch (const std::exception& error) {
    return ListenError(std::string("Unable to start the discovery sweep: ") + error.what());
  }
  ++running_;
  return nullptr;
}

void SweepRegistry::Stop() {
  stop_.Request();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    sweep_ended_.wait(lock, [this] { return running_ == 0; });
  }
  pool_.Shutdown();
}

size_t SweepRegistry::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void SweepRegistry::Run(std::unique_ptr<HostEventSink>& sink) {
  try {
    ScanForPingableDevices(sink, stop_, probes_);
  } catch (const std::exception& error) {
    // Only the platform or allocation can fail outside the probes, which
    // handle their own failures; the process goes on without this stream's
    // end.
    console_line::WriteLine(std::cerr, "Discovery sweep failed: ", error.what());
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
  }
  sweep_ended_.notify_all();
  sink.reset();
}
