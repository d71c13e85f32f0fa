#include "standin/engine/script_options.h"

#include <algorithm>

namespace standin {
namespace {

constexpr int kMaxListens = 1000;

// Decimal digits only, no overflow.
std::optional<uint32_t> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

ScriptOptions ScriptOptions::Parse(const std::vector<std::string>& arguments) {
  ScriptOptions options;
  for (const std::string& argument : arguments) {
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const bool has_value = equals != std::string::npos;
    const std::string value = has_value ? argument.substr(equals + 1) : std::string();
    const auto number = ParseNumber(value);
    if (name == "--scan" && !has_value) {
      options.listens = std::max(options.listens, 1);
    } else if (name == "--listens" && number && *number >= 1 && *number <= kMaxListens) {
      options.listens = static_cast<int>(*number);
    } else if (name == "--quit-when-done" && (!has_value || number)) {
      options.quit_when_done = true;
      if (has_value) options.quit_timeout_ms = *number;
    } else if (name == "--close-after-ms" && number) {
      options.close_after_ms = *number;
    } else if (name == "--probe-messages" && !has_value) {
      options.probe_messages = true;
    } else if (name == "--transcript" && has_value && !value.empty()) {
      options.transcript_path = value;
    } else {
      static const char* const kKnown[] = {"--scan", "--listens", "--quit-when-done",
                                           "--close-after-ms", "--probe-messages", "--transcript"};
      const bool known = std::any_of(std::begin(kKnown), std::end(kKnown),
                                     [&](const char* known_name) { return name == known_name; });
      options.rejected.push_back(RejectedArgument{argument, known ? "invalid value" : "unknown"});
    }
  }
  return options;
}

}  // namespace standin
