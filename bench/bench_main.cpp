// rivelo_bench: runs the benchmarks (Google Benchmark's flags apply), then
// prints the figures as ratios to targets and peers of the same run.
// --figures=PATH also writes them tab-separated for scripts/evidence.sh.
//
// Every benchmark runs nine times, the repetitions of all benchmarks
// interleaved in random order, and the fastest repetition counts: on a
// machine shared with other work a slow repetition is one that lost its core
// or its cache, and interleaving spreads a busy spell over all benchmarks
// instead of one.
//
// glibc gives freed memory at the top of its heap back to the kernel once
// more than a self-adjusting threshold is free, and serves large blocks by
// mmap: after every large decode the next one faults its pages in again,
// which a heap that keeps its memory does not pay. By default the thresholds
// are fixed high for every benchmark alike, so no codec and no peer pays it;
// --glibc-trimming keeps glibc's defaults, to measure what it costs.

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench/figures.h"

namespace {

// Google Benchmark's console output (the aggregates of repeated runs), plus
// the fastest repetition of each benchmark kept for the figures.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) {
        shown.push_back(run);
      }
      if (run.error_occurred || run.run_type != Run::RT_Iteration) {
        continue;
      }
      const double to_ns = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto items = run.counters.find("items_per_second");
      const rivelo_bench::Measurement repetition{
          run.GetAdjustedCPUTime() * to_ns,
          items == run.counters.end() ? 0.0 : items->second.value};
      auto [measurement, first] = measured_.emplace(run.run_name.str(), repetition);
      if (!first) {
        measurement->second.KeepFaster(repetition);
      }
    }
    ConsoleReporter::ReportRuns(shown);
  }

  const std::map<std::string, rivelo_bench::Measurement>& measured() const { return measured_; }

 private:
  std::map<std::string, rivelo_bench::Measurement> measured_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string figures_path;
  bool glibc_trimming = false;
  // Defaults first, so that the same flags given on the command line win.
  char repetitions[] = "--benchmark_repetitions=9";
  char interleaving[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> arguments = {argv[0], repetitions, interleaving};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--figures=", 10) == 0) {
      figures_path = argv[i] + 10;
    } else if (std::strcmp(argv[i], "--glibc-trimming") == 0) {
      glibc_trimming = true;
    } else {
      arguments.push_back(argv[i]);
    }
  }
#if defined(__GLIBC__)
  // Fixed values also stop glibc from adjusting them as blocks are freed.
  if (!glibc_trimming &&
      (mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1 || mallopt(M_TRIM_THRESHOLD, 256 << 20) != 1)) {
    std::cerr << "rivelo_bench: cannot fix malloc's thresholds\n";
    return 1;
  }
#endif
  std::cout << "malloc: "
            << (glibc_trimming ? "glibc defaults (trims and maps large blocks)"
                               : "fixed thresholds, nothing trimmed")
            << '\n';
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
    return 1;
  }
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const std::vector<rivelo_bench::FigureRow> rows = rivelo_bench::Figures(reporter.measured());
  std::cout << '\n';
  rivelo_bench::PrintTable(rows, std::cout);
  if (!figures_path.empty()) {
    std::ofstream out(figures_path);
    rivelo_bench::WriteTsv(rows, out);
    if (!out) {
      std::cerr << "rivelo_bench: cannot write " << figures_path << '\n';
      return 1;
    }
  }
  return 0;
}
