// What the scripted Dart side does, parsed from the entry-point arguments
// (transcript.md lists them). A plain value; Parse is a pure function, safe
// from any thread.
#ifndef RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_
#define RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct RejectedArgument {
  std::string text;
  const char* reason;  // "unknown" or "invalid value"
};

struct ScriptOptions {
  // The window message --probe-messages sends, and the engine then claims.
  static constexpr UINT kProbeMessage = 0x8123;
  static constexpr LRESULT kClaimResult = 0x5EED;

  int listens = 0;
  bool quit_when_done = false;
  uint32_t quit_timeout_ms = 60000;
  std::optional<uint32_t> close_after_ms;
  bool probe_messages = false;
  std::string transcript_path;
  std::vector<RejectedArgument> rejected;

  static ScriptOptions Parse(const std::vector<std::string>& arguments);

  bool Claims(UINT message) const { return probe_messages && message == kProbeMessage; }
};

}  // namespace standin

#endif  // RIVELO_STANDIN_ENGINE_SCRIPT_OPTIONS_H_
