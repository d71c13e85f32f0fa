#include "bench/figures.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace rivelo_bench {

void Measurement::KeepFaster(const Measurement& other) {
  real_ns = std::min(real_ns, other.real_ns);
  cpu_ns = std::min(cpu_ns, other.cpu_ns);
  items_per_second = std::max(items_per_second, other.items_per_second);
}

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

const Measurement* Find(const std::map<std::string, Measurement>& measured,
                        const std::string& name) {
  auto found = measured.find(name);
  return found == measured.end() ? nullptr : &found->second;
}

// Throughput of `ours` relative to `peer` on the same work: above 1 is faster.
void AddSpeedRatio(const std::map<std::string, Measurement>& measured, const char* figure,
                   const std::string& ours, const std::string& peer, const char* peer_name,
                   double at_least, std::vector<FigureRow>* rows) {
  const Measurement* mine = Find(measured, ours);
  const Measurement* theirs = Find(measured, peer);
  if (mine == nullptr || theirs == nullptr) {
    return;
  }
  const double ratio = theirs->cpu_ns / mine->cpu_ns;
  rows->push_back({figure, Format("%.1f us", mine->cpu_ns / 1000),
                   std::string(peer_name) + " " + Format("%.1f us", theirs->cpu_ns / 1000) +
                       ", target >= " + Format("%.1fx", at_least),
                   Format("%.2fx", ratio), ratio >= at_least});
}

// Cost of `ours` relative to `baseline` on the same output: 1 is the same.
void AddCostRatio(const std::map<std::string, Measurement>& measured, const char* figure,
                  const std::string& ours, const std::string& baseline, const char* baseline_name,
                  double at_most, std::vector<FigureRow>* rows) {
  const Measurement* mine = Find(measured, ours);
  const Measurement* base = Find(measured, baseline);
  if (mine == nullptr || base == nullptr) {
    return;
  }
  const double ratio = mine->cpu_ns / base->cpu_ns;
  rows->push_back({figure, Format("%.1f us", mine->cpu_ns / 1000),
                   std::string(baseline_name) + " " + Format("%.1f us", base->cpu_ns / 1000) +
                       ", target <= " + Format("%.1fx", at_most),
                   Format("%.2fx", ratio), ratio <= at_most});
}

void AddTimeBelow(const std::map<std::string, Measurement>& measured, const char* figure,
                  const std::string& ours, double below_ns, std::vector<FigureRow>* rows) {
  const Measurement* mine = Find(measured, ours);
  if (mine == nullptr) {
    return;
  }
  rows->push_back({figure, Format("%.0f ns", mine->cpu_ns),
                   "target < " + Format("%.0f ns", below_ns),
                   Format("%.2f of target", mine->cpu_ns / below_ns),
                   mine->cpu_ns < below_ns});
}

void AddRate(const std::map<std::string, Measurement>& measured, const char* figure,
             const std::string& ours, const std::string& reference, std::vector<FigureRow>* rows) {
  const Measurement* mine = Find(measured, ours);
  const Measurement* base = Find(measured, reference);
  if (mine == nullptr || base == nullptr || base->items_per_second <= 0) {
    return;
  }
  rows->push_back({figure, Format("%.0f events/s", mine->items_per_second),
                   "1 thread " + Format("%.0f events/s", base->items_per_second),
                   Format("%.2fx", mine->items_per_second / base->items_per_second), true});
}

}  // namespace

std::vector<FigureRow> Figures(const std::map<std::string, Measurement>& measured) {
  std::vector<FigureRow> rows;
  AddTimeBelow(measured, "host event: encode", "HostEvent/Encode", 100, &rows);
  AddTimeBelow(measured, "host event: decode", "HostEvent/Decode", 300, &rows);
  AddCostRatio(measured, "10000 host events: one vector", "Writes/OneVector",
               "Writes/OneVectorEach", "a vector each", 2.0, &rows);
  AddCostRatio(measured, "host event: into 64 MiB spare", "Writes/SpareCapacity",
               "Writes/NoSpareCapacity", "no spare", 1.2, &rows);
  AddSpeedRatio(measured, "1 MiB bytes: encode", "Bytes/Encode", "Memcpy/1MiB", "memcpy", 0.5,
                &rows);
  AddSpeedRatio(measured, "1 MiB bytes: decode", "Bytes/Decode", "Memcpy/1MiB", "memcpy", 0.5,
                &rows);
  AddSpeedRatio(measured, "128 Ki doubles: encode", "Doubles/Encode", "Memcpy/1MiB", "memcpy",
                0.5, &rows);
  AddSpeedRatio(measured, "128 Ki doubles: decode", "Doubles/Decode", "Memcpy/1MiB", "memcpy",
                0.5, &rows);
  AddSpeedRatio(measured, "nested 1000 maps: encode", "Nested/Encode", "Nested/MsgpackPack",
                "msgpack-c", 1.0, &rows);
  AddSpeedRatio(measured, "nested 1000 maps: encode", "Nested/Encode", "Nested/NlohmannEncode",
                "nlohmann::json", 2.5, &rows);
  AddSpeedRatio(measured, "nested 1000 maps: decode", "Nested/Decode", "Nested/MsgpackUnpack",
                "msgpack-c", 0.3, &rows);
  AddSpeedRatio(measured, "nested 1000 maps: decode", "Nested/Decode", "Nested/NlohmannDecode",
                "nlohmann::json", 3.0, &rows);
  const std::string one = "EventPath/real_time/threads:1";
  AddRate(measured, "event path, 1 thread", one, one, &rows);
  AddRate(measured, "event path, 8 threads", "EventPath/real_time/threads:8", one, &rows);
  AddRate(measured, "event path, 50 threads", "EventPath/real_time/threads:50", one, &rows);
  return rows;
}

void PrintTable(const std::vector<FigureRow>& rows, std::ostream& out) {
  size_t widths[4] = {6, 5, 14, 5};
  for (const FigureRow& row : rows) {
    widths[0] = std::max(widths[0], row.figure.size());
    widths[1] = std::max(widths[1], row.value.size());
    widths[2] = std::max(widths[2], row.target_or_peer.size());
    widths[3] = std::max(widths[3], row.ratio.size());
  }
  auto line = [&](const std::string& a, const std::string& b, const std::string& c,
                  const std::string& d, const std::string& e) {
    out << a << std::string(widths[0] - a.size() + 2, ' ') << b
        << std::string(widths[1] - b.size() + 2, ' ') << c
        << std::string(widths[2] - c.size() + 2, ' ') << d
        << std::string(widths[3] - d.size() + 2, ' ') << e << '\n';
  };
  line("figure", "value", "target or peer", "ratio", "");
  for (const FigureRow& row : rows) {
    line(row.figure, row.value, row.target_or_peer, row.ratio, row.met ? "" : "MISSED");
  }
}

void WriteTsv(const std::vector<FigureRow>& rows, std::ostream& out) {
  for (const FigureRow& row : rows) {
    out << row.figure << '\t' << row.value << '\t' << row.target_or_peer << '\t' << row.ratio
        << '\t' << (row.met ? "met" : "MISSED") << '\n';
  }
}

}  // namespace rivelo_bench
