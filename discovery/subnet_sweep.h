// The body of one discovery stream: look up the local address and subnet,
// probe the host numbers under the prefix batch by batch, every probe of a
// batch at once, with a pause after every batch (numbers in sweep_pacing.h),
// then end the stream. Each probe delivers its own host event; the sweep delivers
// only the end of the stream, and the event of a host whose probe could not
// run.
//
// Runs on the calling thread (the sweep thread) and returns when the sweep is
// over. The caller keeps the sink alive until then; probes use it from their
// worker threads while their batch runs.
#ifndef RIVELO_DISCOVERY_SUBNET_SWEEP_H_
#define RIVELO_DISCOVERY_SUBNET_SWEEP_H_

#include <memory>

#include "discovery/host_probe.h"
#include "discovery/launcher.h"
#include "discovery/stop_signal.h"

// A lookup failure prints "Failed to get local IP or subnet mask" on standard
// error and returns without any event and without ending the stream.
void ScanForPingableDevices(std::unique_ptr<HostEventSink>& sink);

// The same sweep, stoppable: once stop is requested the sweep finishes the
// batch it is probing, skips the remaining batches and pauses, and returns
// without ending the stream, because a stop means the stream's receiver is
// being torn down and an end would claim a complete sweep.
void ScanForPingableDevices(std::unique_ptr<HostEventSink>& sink, const StopSignal& stop,
                            const Launcher& launcher);

#endif  // RIVELO_DISCOVERY_SUBNET_SWEEP_H_
