#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/command_line.h"
#include "shell/utf8.h"

namespace {

TEST(Utf8FromWide, ConvertsStrictlyAndKeepsTheNulOut) {
  const std::pair<std::wstring, std::string> conversions[] = {
      {L"", ""},
      {L"x", "x"},
      {L"--scan", "--scan"},
      {L"caf\u00e9 \u65e5\u672c", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"},
      {L"\xd83d\xde00!", "\xf0\x9f\x98\x80!"},
      // Unpaired or reversed surrogates make the whole text invalid.
      {L"ab\xd800" L"cd", ""},
      {L"\xdc00", ""},
      {L"x\xde00\xd83dy", ""},
  };
  for (const auto& [input, expected] : conversions) {
    EXPECT_EQ(Utf8FromWide(input.c_str()), expected);  // also no NUL in the content
  }
  EXPECT_EQ(Utf8FromWide(nullptr), "");
}

TEST(SplitCommandLine, GivesEachArgumentAfterTheProgramInUtf8) {
  EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\rivelo.exe\""), std::vector<std::string>{});
  // An argument that does not convert keeps its place, empty.
  EXPECT_EQ(SplitCommandLine(L"rivelo.exe --scan \"\" \"gr\u00fc\u00df two\" bad\xd800"),
            (std::vector<std::string>{"--scan", "", "gr\xc3\xbc\xc3\x9f two", ""}));
}

}  // namespace
