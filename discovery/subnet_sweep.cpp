#include "discovery/subnet_sweep.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "discovery/local_network.h"
#include "discovery/sweep_pacing.h"
#include "encoding/console_line.h"

namespace {

using sweep_pacing::kBatchSize;
using sweep_pacing::kFirstHost;
using sweep_pacing::kLastHost;

struct PendingProbe {
  int32_t host_number;
  std::future<void> done;  // not valid when the task could not be started
  std::string failure;
};

// A host whose probe could not start, or failed before delivering, still gets
// its one event. If even that delivery fails, nothing more can be done for the
// host, and the sweep goes on rather than ending the process.
void ReportUnprobedHost(int32_t host_number, const std::string& prefix,
                        const std::string& failure, HostEventSink& sink) {
  try {
    const std::string address = HostAddress(prefix, host_number);
    console_line::WriteLine(std::cerr, "Probe of ", address, " failed: ", failure);
    DeliverHostEvent(address, false, sink);
  } catch (const std::exception& error) {
    console_line::WriteLine(std::cerr, "Event of host ", host_number, " lost: ", error.what());
  }
}

// Every task is started before the first is waited for, and all are waited
// for in launch order, so the batch's events are all delivered on return.
void ProbeBatch(int32_t first, int32_t last, const std::string& prefix,
                std::unique_ptr<HostEventSink>& sink, const Launcher& launcher) {
  std::vector<PendingProbe> pending;
  pending.reserve(static_cast<size_t>(last - first + 1));
  for (int32_t host = first; host <= last; ++host) {
    PendingProbe probe{host, {}, {}};
    try {
      probe.done = launcher.start_task([host, &prefix, &sink] { PingHost(host, prefix, sink); });
    } catch (const std::exception& error) {
      probe.failure = error.what();
    }
    pending.push_back(std::move(probe));
  }
  for (PendingProbe& probe : pending) {
    if (probe.done.valid()) {
      try {
        probe.done.get();
        continue;
      } catch (const std::exception& error) {
        probe.failure = error.what();
      }
    }
    ReportUnprobedHost(probe.host_number, prefix, probe.failure, *sink);
  }
}

}  // namespace

void ScanForPingableDevices(std::unique_ptr<HostEventSink>& sink) {
  const StopSignal never_stopped;
  ScanForPingableDevices(sink, never_stopped, StandardLauncher());
}

void ScanForPingableDevices(std::unique_ptr<HostEventSink>& sink, const StopSignal& stop,
                            const Launcher& launcher) {
  const LocalIpAndMask local = GetLocalIpAndSubnetMask();
  if (local.ip.empty() || local.subnet_mask.empty()) {
    console_line::WriteLine(std::cerr, "Failed to get local IP or subnet mask");
    return;
  }
  console_line::WriteLine(std::cout, "Local IP: ", local.ip, "\nSubnet Mask: ", local.subnet_mask);
  const std::string prefix = GetSubnetPrefix(local.ip, local.subnet_mask);
  console_line::WriteLine(std::cout, "Subnet prefix: ", prefix);

  for (int32_t first = kFirstHost; first <= kLastHost; first += kBatchSize) {
    if (stop.requested()) return;
    ProbeBatch(first, std::min(first + kBatchSize - 1, kLastHost), prefix, sink, launcher);
    if (!stop.Pause(std::chrono::milliseconds(sweep_pacing::kPauseAfterBatchMs))) return;
  }
  sink->EndOfStream();
}
