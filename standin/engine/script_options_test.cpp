#include "standin/engine/script_options.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(ScriptOptions, NoArgumentsDoNothing) {
  const ScriptOptions options = ScriptOptions::Parse({});
  EXPECT_EQ(options.listens, 0);
  EXPECT_FALSE(options.quit_when_done);
  EXPECT_FALSE(options.close_after_ms);
  EXPECT_TRUE(options.claimed_messages.empty());
  EXPECT_FALSE(options.Claims(WM_CLOSE));
}

TEST(ScriptOptions, ParsesEveryKnownArgument) {
  const ScriptOptions options = ScriptOptions::Parse(
      {"--scan", "--listens=3", "--cancel-after-ms=250", "--send=a:b/c:00ff",
       "--send=empty/channel:", "--quit-when-done=9000", "--close-after-ms=0",
       "--claim-message=0x10", "--claim-message=513", "--transcript=C:\\t\\x.jsonl"});
  EXPECT_EQ(options.listens, 3);
  EXPECT_EQ(options.cancel_after_ms, 250u);
  ASSERT_EQ(options.sends.size(), 2u);
  EXPECT_EQ(options.sends[0].channel, "a:b/c");
  EXPECT_EQ(options.sends[0].bytes, (std::vector<uint8_t>{0x00, 0xff}));
  EXPECT_EQ(options.sends[1].channel, "empty/channel");
  EXPECT_TRUE(options.sends[1].bytes.empty());
  EXPECT_TRUE(options.quit_when_done);
  EXPECT_EQ(options.quit_timeout_ms, 9000u);
  EXPECT_EQ(options.close_after_ms, 0u);
  EXPECT_TRUE(options.Claims(WM_CLOSE));
  EXPECT_TRUE(options.Claims(513));
  EXPECT_FALSE(options.Claims(WM_SIZE));
  EXPECT_EQ(options.transcript_path, "C:\\t\\x.jsonl");
  EXPECT_TRUE(options.rejected.empty());
}

TEST(ScriptOptions, QuitWhenDoneWithoutValueUsesTheDefaultTimeout) {
  const ScriptOptions options = ScriptOptions::Parse({"--quit-when-done"});
  EXPECT_TRUE(options.quit_when_done);
  EXPECT_EQ(options.quit_timeout_ms, ScriptOptions::kDefaultQuitTimeoutMs);
}

TEST(ScriptOptions, ProbingClaimsADefaultMessageOnlyWhenNoneIsGiven) {
  EXPECT_TRUE(ScriptOptions::Parse({"--probe-messages"}).Claims(ScriptOptions::kDefaultProbeMessage));
  const ScriptOptions given = ScriptOptions::Parse({"--probe-messages", "--claim-message=16"});
  EXPECT_EQ(given.ProbeMessage(), 16u);
  EXPECT_FALSE(given.Claims(ScriptOptions::kDefaultProbeMessage));
}

TEST(ScriptOptions, RecordsUnknownAndInvalidArgumentsAndIgnoresThem) {
  const struct {
    std::string argument;
    std::string reason;
  } cases[] = {
      {"--bogus", "unknown"},
      {"", "unknown"},
      {"positional", "unknown"},
      {"--SCAN", "unknown"},
      {"--scan=1", "invalid value"},
      {"--listens=0", "invalid value"},
      {"--listens=1001", "invalid value"},
      {"--listens=-1", "invalid value"},
      {"--listens=two", "invalid value"},
      {"--cancel-after-ms=", "invalid value"},
      {"--cancel-after-ms=4294967296", "invalid value"},
      {"--send=nochannel", "invalid value"},
      {"--send=:00", "invalid value"},
      {"--send=c:0", "invalid value"},
      {"--send=c:zz", "invalid value"},
      {"--claim-message=0x", "invalid value"},
      {"--transcript=", "invalid value"},
  };
  for (const auto& c : cases) {
    const ScriptOptions options = ScriptOptions::Parse({c.argument});
    ASSERT_EQ(options.rejected.size(), 1u) << c.argument;
    EXPECT_EQ(options.rejected[0].text, c.argument);
    EXPECT_EQ(options.rejected[0].reason, c.reason) << c.argument;
    EXPECT_EQ(options.listens, 0) << c.argument;
    EXPECT_TRUE(options.sends.empty()) << c.argument;
  }
}

}  // namespace
}  // namespace standin
