// One probe of one host of a sweep: an ICMP echo request to prefix + host
// number, then one host event {"ip": address, "success": answered} handed to
// the stream's sink.
//
// PingHost runs on a probe worker thread, up to fifty at once per sweep. It
// shares the prefix and the sink read-only with the other probes of its
// batch; the sweep keeps both alive until every probe of the batch returned.
// The sink must accept Success from several threads at once.
#ifndef RIVELO_DISCOVERY_HOST_PROBE_H_
#define RIVELO_DISCOVERY_HOST_PROBE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "encoding/encodable_value.h"
#include "engine/event_sink.h"

using HostEventSink = flutter::EventSink<flutter::EncodableValue>;

// Delivers exactly one event when it returns normally: "success" is false for
// an unreachable host, an address that does not parse, a failed send and an
// unavailable ICMP handle alike. Delivery is its last step, so when it throws
// (only a failure of the platform or of allocation can make it) no event of
// this host was delivered.
void PingHost(int32_t host_number, const std::string& prefix,
              std::unique_ptr<HostEventSink>& sink);

// The prefix followed by the host number in plain decimal.
std::string HostAddress(const std::string& prefix, int32_t host_number);

// The one kind of event the discovery stream carries.
void DeliverHostEvent(const std::string& address, bool reachable, HostEventSink& sink);

#endif  // RIVELO_DISCOVERY_HOST_PROBE_H_
