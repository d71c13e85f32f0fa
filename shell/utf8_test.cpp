#include "shell/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Conversion {
  const char* name;
  std::wstring input;
  std::string expected;
};

class Utf8FromWideTest : public testing::TestWithParam<Conversion> {};

TEST_P(Utf8FromWideTest, ConvertsStrictly) {
  const std::string result = Utf8FromWide(GetParam().input.c_str());
  EXPECT_EQ(result, GetParam().expected);
  EXPECT_EQ(result.size(), GetParam().expected.size()) << "no NUL may enter the content";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8FromWideTest,
    testing::Values(
        Conversion{"Empty", L"", ""},
        Conversion{"Ascii", L"--scan", "--scan"},
        Conversion{"TwoByte", L"caf\u00e9", "caf\xc3\xa9"},
        Conversion{"ThreeByte", L"\u65e5\u672c", "\xe6\x97\xa5\xe6\x9c\xac"},
        Conversion{"SurrogatePair", L"\xd83d\xde00!", "\xf0\x9f\x98\x80!"},
        Conversion{"LoneHighSurrogate", L"ab\xd800" L"cd", ""},
        Conversion{"LoneLowSurrogate", L"\xdc00", ""},
        Conversion{"ReversedPair", L"x\xde00\xd83dy", ""}),
    [](const testing::TestParamInfo<Conversion>& row) { return std::string(row.param.name); });

TEST(Utf8FromWide, NullPointerGivesEmptyString) {
  EXPECT_EQ(Utf8FromWide(nullptr), "");
}

TEST(Utf8FromWide, LongTextKeepsEveryByte) {
  const std::wstring input(10000, L'\u00e9');
  const std::string result = Utf8FromWide(input.c_str());
  ASSERT_EQ(result.size(), 20000u);
  EXPECT_EQ(result.substr(19998), "\xc3\xa9");
}

}  // namespace
