#include "discovery/sweep_registry.h"

#include <exception>
#include <iostream>
#include <string>

#include "discovery/subnet_sweep.h"
#include "encoding/console_line.h"

namespace {

std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> ListenError(
    const std::string& message) {
  return std::make_unique<flutter::StreamHandlerError<flutter::EncodableValue>>("error", message,
                                                                               nullptr);
}

}  // namespace

SweepRegistry::SweepRegistry(Launcher launcher) : launcher_(std::move(launcher)) {}

SweepRegistry::~SweepRegistry() { Stop(); }

std::unique_ptr<flutter::StreamHandlerError<flutter::EncodableValue>> SweepRegistry::Start(
    std::unique_ptr<HostEventSink> sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  JoinFinished();
  // Stop requests before it takes the lock, so a sweep started here is
  // either refused or joined by that Stop.
  if (stop_.requested()) return ListenError("The discovery service has stopped");
  sweeps_.push_back(std::make_unique<Sweep>());
  Sweep& sweep = *sweeps_.back();
  sweep.sink = std::move(sink);
  try {
    sweep.thread = launcher_.start_thread([this, &sweep] { Run(sweep); });
  } catch (const std::exception& error) {
    sweeps_.pop_back();
    return ListenError(std::string("Unable to start the discovery sweep: ") + error.what());
  }
  return nullptr;
}

void SweepRegistry::Stop() {
  stop_.Request();
  std::list<std::unique_ptr<Sweep>> sweeps;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sweeps.swap(sweeps_);
  }
  for (const std::unique_ptr<Sweep>& sweep : sweeps) sweep->thread.join();
}

void SweepRegistry::Run(Sweep& sweep) {
  try {
    ScanForPingableDevices(sweep.sink, stop_, launcher_);
  } catch (const std::exception& error) {
    // Only allocation can fail outside the probes, which handle their own
    // failures; the process goes on without this stream's end.
    console_line::WriteLine(std::cerr, "Discovery sweep failed: ", error.what());
  }
  sweep.sink.reset();
  sweep.finished = true;
}

void SweepRegistry::JoinFinished() {
  for (auto it = sweeps_.begin(); it != sweeps_.end();) {
    if ((*it)->finished) {
      (*it)->thread.join();
      it = sweeps_.erase(it);
    } else {
      ++it;
    }
  }
}
