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

// `ours` against `other` on the same work. kSpeed: other's time over ours, so
// above 1 is faster, and the target is a floor. kCost: our time over other's,
// so 1 is the same cost, and the target is a ceiling.
enum class Ratio { kSpeed, kCost };

void AddRatio(const std::map<std::string, Measurement>& measured, const char* figure,
              const std::string& ours, const std::string& other, const char* other_name,
              Ratio kind, double target, std::vector<FigureRow>* rows) {
  const Measurement* mine = Find(measured, ours);
  const Measurement* theirs = Find(measured, other);
  if (mine == nullptr || theirs == nullptr) {
    return;
  }
  const bool speed = kind == Ratio::kSpeed;
  const double ratio = speed ? theirs->cpu_ns / mine->cpu_ns : mine->cpu_ns / theirs->cpu_ns;
  rows->push_back({figure, Format("%.1f us", mine->cpu_ns / 1000),
                   std::string(other_name) + " " + Format("%.1f us", theirs->cpu_ns / 1000) +
                       (speed ? ", target >= " : ", target <= ") + Format("%.1fx", target),
                   Format("%.2fx", ratio), speed ? ratio >= target : ratio <= target});
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
  const struct {
    const char* figure;
    const char* ours;
    const char* other;
    const char* other_name;
    Ratio kind;
    double target;
  } ratios[] = {
      {"10000 host events: one vector", "Writes/OneVector", "Writes/OneVectorEach",
       "a vector each", Ratio::kCost, 2.0},
      {"host event: into 64 MiB spare", "Writes/SpareCapacity", "Writes/NoSpareCapacity",
       "no spare", Ratio::kCost, 1.2},
      {"1 MiB bytes: encode", "Bytes/Encode", "Memcpy/1MiB", "memcpy", Ratio::kSpeed, 0.5},
      {"1 MiB bytes: decode", "Bytes/Decode", "Memcpy/1MiB", "memcpy", Ratio::kSpeed, 0.5},
      {"128 Ki doubles: encode", "Doubles/Encode", "Memcpy/1MiB", "memcpy", Ratio::kSpeed, 0.5},
      {"128 Ki doubles: decode", "Doubles/Decode", "Memcpy/1MiB", "memcpy", Ratio::kSpeed, 0.5},
      {"nested 1000 maps: encode", "Nested/Encode", "Nested/MsgpackPack", "msgpack-c",
       Ratio::kSpeed, 1.0},
      {"nested 1000 maps: encode", "Nested/Encode", "Nested/NlohmannEncode", "nlohmann::json",
       Ratio::kSpeed, 2.5},
      {"nested 1000 maps: decode", "Nested/Decode", "Nested/MsgpackUnpack", "msgpack-c",
       Ratio::kSpeed, 0.3},
      {"nested 1000 maps: decode", "Nested/Decode", "Nested/NlohmannDecode", "nlohmann::json",
       Ratio::kSpeed, 3.0},
  };
  for (const auto& r : ratios) {
    AddRatio(measured, r.figure, r.ours, r.other, r.other_name, r.kind, r.target, &rows);
  }
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
