// rivelo_bench: runs the benchmarks (Google Benchmark's flags apply), then
// prints the figures as ratios to targets and peers of the same run.
// --figures=PATH also writes them tab-separated for scripts/evidence.sh.
// Every benchmark runs three times and the median counts, which damps a
// machine shared with other work.

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench/figures.h"

namespace {

// Google Benchmark's console output, plus the medians kept for the figures.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // A single repetition has no aggregates: its one run stands. Otherwise
    // the median, reported after the repetitions, replaces them.
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.error_occurred || !(median || run.run_type == Run::RT_Iteration)) {
        continue;
      }
      rivelo_bench::Measurement& measurement = measured_[run.run_name.str()];
      const double to_ns = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      measurement.real_ns = run.GetAdjustedRealTime() * to_ns;
      measurement.cpu_ns = run.GetAdjustedCPUTime() * to_ns;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) {
        measurement.items_per_second = items->second.value;
      }
    }
  }

  const std::map<std::string, rivelo_bench::Measurement>& measured() const { return measured_; }

 private:
  std::map<std::string, rivelo_bench::Measurement> measured_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string figures_path;
  // Defaults first, so that the same flags given on the command line win.
  char repetitions[] = "--benchmark_repetitions=3";
  char aggregates[] = "--benchmark_display_aggregates_only=true";
  std::vector<char*> arguments = {argv[0], repetitions, aggregates};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--figures=", 10) == 0) {
      figures_path = argv[i] + 10;
    } else {
      arguments.push_back(argv[i]);
    }
  }
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
