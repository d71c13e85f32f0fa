// What the scripted Dart side does, parsed from the entry-point arguments.
// A plain value; Parse is a pure function, safe from any thread.
#ifndef RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_
#define RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct RawSend {
  std::string channel;
  std::vector<uint8_t> bytes;
};

struct RejectedArgument {
  std::string text;
  const char* reason;  // "unknown" or "invalid value"
};

struct ScriptOptions {
  static constexpr uint32_t kDefaultQuitTimeoutMs = 60000;
  static constexpr UINT kDefaultProbeMessage = 0x8123;
  static constexpr LRESULT kClaimResult = 0x5EED;

  int listens = 0;
  std::optional<uint32_t> cancel_after_ms;
  std::vector<RawSend> sends;
  bool quit_when_done = false;
  uint32_t quit_timeout_ms = kDefaultQuitTimeoutMs;
  std::optional<uint32_t> close_after_ms;
  std::vector<UINT> claimed_messages;
  bool probe_messages = false;
  std::string transcript_path;
  std::vector<RejectedArgument> rejected;

  static ScriptOptions Parse(const std::vector<std::string>& arguments);

  bool Claims(UINT message) const;
  // The claimed message that --probe-messages sends.
  UINT ProbeMessage() const;
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_
