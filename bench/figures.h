// The figures that rivelo_bench reports after Google Benchmark's own output:
// each codec or event-path measurement set against its target or against a
// peer measured in the same run (memcpy of the same bytes, msgpack-c and
// nlohmann::json on the same data), so that the ratios do not depend on how fast this machine is.
//
// Single-threaded: the collector is fed by the benchmark reporter and read
// once every benchmark has run.
#ifndef RIVELO_BENCH_FIGURES_H_
#define RIVELO_BENCH_FIGURES_H_

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace rivelo_bench {

// The fastest of one benchmark's repetitions, each field on its own. The
// single-threaded codec figures use CPU time: on a machine shared with other
// work, wall time also counts the time the thread waited for a core. The
// event path's rate is per second of wall time, as its threads compete for
// the cores by design.
struct Measurement {
  double cpu_ns = 0;             // per iteration, of the measuring thread
  double items_per_second = 0;   // 0 when the benchmark counts no items

  void KeepFaster(const Measurement& other);
};

struct FigureRow {
  std::string figure;
  std::string value;
  std::string target_or_peer;
  std::string ratio;
  bool met = true;
};

// Builds the rows from the measurements, by benchmark name. A measurement
// that is missing (a filtered run) leaves its figure out.
std::vector<FigureRow> Figures(const std::map<std::string, Measurement>& measured);

// Aligned text table for people.
void PrintTable(const std::vector<FigureRow>& rows, std::ostream& out);
// One tab-separated line per row: figure, value, target or peer, ratio, and
// "met" or "MISSED"; for scripts/evidence.sh.
void WriteTsv(const std::vector<FigureRow>& rows, std::ostream& out);

}  // namespace rivelo_bench

#endif  // RIVELO_BENCH_FIGURES_H_
