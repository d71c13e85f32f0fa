// The numbers that pace a sweep, kept here once: the product, its tests and
// the benchmarks read them from this header (the Python side through
// scripts/sweep_pacing.py, which parses the constants below; keep each one a
// single line of integer arithmetic over literals and earlier constants).
#ifndef RIVELO_DISCOVERY_SWEEP_PACING_H_
#define RIVELO_DISCOVERY_SWEEP_PACING_H_

#include <cstdint>

namespace sweep_pacing {

constexpr int32_t kFirstHost = 1;
constexpr int32_t kLastHost = 254;
constexpr int32_t kBatchSize = 50;
constexpr int32_t kBatchCount = (kLastHost - kFirstHost) / kBatchSize + 1;
constexpr int32_t kPauseAfterBatchMs = 200;
constexpr int32_t kEchoTimeoutMs = 1000;
// No sweep can end sooner when the last host of every batch is silent: each
// batch waits out one echo time-out, then pauses.
constexpr int32_t kFloorMs = kBatchCount * (kEchoTimeoutMs + kPauseAfterBatchMs);

// Wine lets at most this many ICMP echoes be in flight in one process; a
// sweep keeps up to one batch in flight, so only this many sweeps can run at
// once before echoes fail (and their hosts are reported silent).
constexpr int32_t kWineEchoesInFlight = 256;
constexpr int32_t kSweepsWithinWineLimit = kWineEchoesInFlight / kBatchSize;

}  // namespace sweep_pacing

#endif  // RIVELO_DISCOVERY_SWEEP_PACING_H_
