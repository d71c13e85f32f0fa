#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Split {
  const char* name;
  const wchar_t* command_line;
  std::vector<std::string> expected;
};

class SplitCommandLineTest : public testing::TestWithParam<Split> {};

TEST_P(SplitCommandLineTest, GivesArgumentsAfterProgramPath) {
  EXPECT_EQ(SplitCommandLine(GetParam().command_line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLineTest,
    testing::Values(
        Split{"ProgramOnly", L"rivelo.exe", {}},
        Split{"QuotedProgramPath", L"\"C:\\Program Files\\rivelo\\rivelo.exe\"", {}},
        Split{"TwoArguments", L"rivelo.exe --scan --quit-when-done", {"--scan", "--quit-when-done"}},
        Split{"QuotedPhrase", L"rivelo.exe one \"two words\"", {"one", "two words"}},
        Split{"EmptyQuoted", L"rivelo.exe a \"\" b", {"a", "", "b"}},
        Split{"EscapedQuote", L"rivelo.exe \"say \\\"hi\\\"\"", {"say \"hi\""}},
        Split{"NonAscii", L"rivelo.exe gr\u00fc\u00df \u65e5", {"gr\xc3\xbc\xc3\x9f", "\xe6\x97\xa5"}},
        Split{"LoneSurrogateKeepsPlace", L"rivelo.exe first bad\xd800 last", {"first", "", "last"}}),
    [](const testing::TestParamInfo<Split>& row) { return std::string(row.param.name); });

}  // namespace
