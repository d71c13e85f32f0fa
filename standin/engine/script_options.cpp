#include "standin/engine/script_options.h"

#include <algorithm>
#include <cstring>

namespace standin {
namespace {

constexpr int kMaxListens = 1000;

// Strictly decimal, or hexadecimal after "0x"; nothing else, no overflow.
std::optional<uint32_t> ParseNumber(const std::string& text) {
  int base = 10;
  size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start >= text.size()) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const auto byte = ParseNumber("0x" + text.substr(i, 2));
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
  }
  return bytes;
}

std::optional<RawSend> ParseSend(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  auto bytes = ParseHex(text.substr(colon + 1));
  if (!bytes) return std::nullopt;
  return RawSend{text.substr(0, colon), std::move(*bytes)};
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
    } else if (name == "--cancel-after-ms" && number) {
      options.cancel_after_ms = *number;
    } else if (name == "--send" && has_value) {
      auto send = ParseSend(value);
      if (send) options.sends.push_back(std::move(*send));
      else options.rejected.push_back(RejectedArgument{argument, "invalid value"});
    } else if (name == "--quit-when-done" && (!has_value || number)) {
      options.quit_when_done = true;
      if (has_value) options.quit_timeout_ms = *number;
    } else if (name == "--close-after-ms" && number) {
      options.close_after_ms = *number;
    } else if (name == "--claim-message" && number) {
      options.claimed_messages.push_back(static_cast<UINT>(*number));
    } else if (name == "--probe-messages" && !has_value) {
      options.probe_messages = true;
    } else if (name == "--transcript" && has_value && !value.empty()) {
      options.transcript_path = value;
    } else {
      static const char* const kKnown[] = {"--scan", "--listens", "--cancel-after-ms",
                                           "--send", "--quit-when-done", "--close-after-ms",
                                           "--claim-message", "--probe-messages", "--transcript"};
      const bool known = std::any_of(std::begin(kKnown), std::end(kKnown),
                                     [&](const char* known_name) { return name == known_name; });
      options.rejected.push_back(RejectedArgument{argument, known ? "invalid value" : "unknown"});
    }
  }
  if (options.probe_messages && options.claimed_messages.empty()) {
    options.claimed_messages.push_back(kDefaultProbeMessage);
  }
  return options;
}

bool ScriptOptions::Claims(UINT message) const {
  return std::find(claimed_messages.begin(), claimed_messages.end(), message) !=
         claimed_messages.end();
}

UINT ScriptOptions::ProbeMessage() const {
  return claimed_messages.empty() ? kDefaultProbeMessage : claimed_messages.front();
}

}  // namespace standin
