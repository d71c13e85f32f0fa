#include "bench/figures.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace rivelo_bench {

void Measurement::KeepFaster(const Measurement& other) {
  cpu_ns = std::min(cpu_ns, other.cpu_ns);
  items_per_second = std::max(items_per_second, other.items_per_second);
}

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

// How `ours` is set against `other`. kBelow: our time against a ceiling (other
// is ours). kSpeed: other's time over ours, so above 1 is faster, and the
// target is a floor. kCost: our time over other's, so 1 is the same cost, and
// the target is a ceiling. kRate: our events per second over other's, no target.
enum Kind { kBelow, kSpeed, kCost, kRate };

struct Figure {
  const char* figure;
  const char* ours;
  const char* other;
  const char* other_name;
  Kind kind;
  double target;
};

constexpr char kOneThread[] = "EventPath/real_time/threads:1";

const Figure kFigures[] = {
    {"host event: encode", "HostEvent/Encode", "HostEvent/Encode", "", kBelow, 100},
    {"host event: decode", "HostEvent/Decode", "HostEvent/Decode", "", kBelow, 300},
    {"10000 host events: one vector", "Writes/OneVector", "Writes/OneVectorEach",
     "a vector each", kCost, 2.0},
    {"host event: into 64 MiB spare", "Writes/SpareCapacity", "Writes/NoSpareCapacity",
     "no spare", kCost, 1.2},
    {"1 MiB bytes: encode", "Bytes/Encode", "Memcpy/1MiB", "memcpy", kSpeed, 0.5},
    {"1 MiB bytes: decode", "Bytes/Decode", "Memcpy/1MiB", "memcpy", kSpeed, 0.5},
    {"128 Ki doubles: encode", "Doubles/Encode", "Memcpy/1MiB", "memcpy", kSpeed, 0.5},
    {"128 Ki doubles: decode", "Doubles/Decode", "Memcpy/1MiB", "memcpy", kSpeed, 0.5},
    {"nested 1000 maps: encode", "Nested/Encode", "Nested/MsgpackPack", "msgpack-c", kSpeed, 1.5},
    {"nested 1000 maps: encode", "Nested/Encode", "Nested/NlohmannEncode", "nlohmann::json",
     kSpeed, 3.0},
    {"nested 1000 maps: decode", "Nested/Decode", "Nested/MsgpackUnpack", "msgpack-c",
     kSpeed, 0.38},
    {"nested 1000 maps: decode", "Nested/Decode", "Nested/NlohmannDecode", "nlohmann::json",
     kSpeed, 3.5},
    {"nested 1000 maps: decode", "Nested/Decode", "Nested/Copy", "deep copy", kCost, 1.3},
    {"event path, 1 thread", kOneThread, kOneThread, "", kRate, 0},
    {"event path, 8 threads", "EventPath/real_time/threads:8", kOneThread, "", kRate, 0},
    {"event path, 50 threads", "EventPath/real_time/threads:50", kOneThread, "", kRate, 0},
};

FigureRow Row(const Figure& f, const Measurement& mine, const Measurement& theirs) {
  switch (f.kind) {
    case kBelow:
      return {f.figure, Format("%.0f ns", mine.cpu_ns), "target < " + Format("%.0f ns", f.target),
              Format("%.2f of target", mine.cpu_ns / f.target), mine.cpu_ns < f.target};
    case kRate:
      return {f.figure, Format("%.0f events/s", mine.items_per_second),
              "1 thread " + Format("%.0f events/s", theirs.items_per_second),
              Format("%.2fx", mine.items_per_second / theirs.items_per_second), true};
    default:
      const bool speed = f.kind == kSpeed;
      const double ratio = speed ? theirs.cpu_ns / mine.cpu_ns : mine.cpu_ns / theirs.cpu_ns;
      return {f.figure, Format("%.1f us", mine.cpu_ns / 1000),
              std::string(f.other_name) + " " + Format("%.1f us", theirs.cpu_ns / 1000) +
                  (speed ? ", target >= " : ", target <= ") + Format("%gx", f.target),
              Format("%.2fx", ratio), speed ? ratio >= f.target : ratio <= f.target};
  }
}

}  // namespace

std::vector<FigureRow> Figures(const std::map<std::string, Measurement>& measured) {
  std::vector<FigureRow> rows;
  for (const Figure& f : kFigures) {
    auto mine = measured.find(f.ours);
    auto theirs = measured.find(f.other);
    if (mine != measured.end() && theirs != measured.end() &&
        (f.kind != kRate || theirs->second.items_per_second > 0)) {
      rows.push_back(Row(f, mine->second, theirs->second));
    }
  }
  return rows;
}

void PrintTable(const std::vector<FigureRow>& rows, std::ostream& out) {
  std::vector<std::array<std::string, 5>> lines = {
      {"figure", "value", "target or peer", "ratio", ""}};
  for (const FigureRow& r : rows) {
    lines.push_back({r.figure, r.value, r.target_or_peer, r.ratio, r.met ? "" : "MISSED"});
  }
  size_t widths[4] = {};
  for (const auto& line : lines) {
    for (size_t i = 0; i < 4; ++i) widths[i] = std::max(widths[i], line[i].size());
  }
  for (const auto& line : lines) {
    for (size_t i = 0; i < 4; ++i) {
      out << line[i] << std::string(widths[i] - line[i].size() + 2, ' ');
    }
    out << line[4] << '\n';
  }
}

void WriteTsv(const std::vector<FigureRow>& rows, std::ostream& out) {
  for (const FigureRow& row : rows) {
    out << row.figure << '\t' << row.value << '\t' << row.target_or_peer << '\t' << row.ratio
        << '\t' << (row.met ? "met" : "MISSED") << '\n';
  }
}

}  // namespace rivelo_bench
