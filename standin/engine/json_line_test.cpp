#include "standin/engine/json_line.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(JsonLine, QuotesByteStringsAsValidJsonText) {
  const struct {
    std::string input;
    std::string quoted;
  } cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\t\x01", "\"\\n\\t\\u0001\""},
      {"\xC3\xA9", "\"\xC3\xA9\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      {"\xFF", "\"\\ufffd\""},
      {"\xC0\xAF", "\"\\ufffd\\ufffd\""},        // overlong
      {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // encoded surrogate
      {"\xE2\x82", "\"\\ufffd\\ufffd\""},        // truncated
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonLine::QuoteText(c.input), c.quoted) << JsonLine::Hex(c.input);
  }
}

TEST(JsonLine, KeepsEveryUtf16CodeUnitOfWideStrings) {
  EXPECT_EQ(JsonLine::QuoteWide(L"data\\flutter_assets"), "\"data\\\\flutter_assets\"");
  const std::wstring lone_surrogate = {L'a', static_cast<wchar_t>(0xD800), L'b'};
  EXPECT_EQ(JsonLine::QuoteWide(lone_surrogate), "\"a\\ud800b\"");
  EXPECT_EQ(JsonLine::QuoteWide(std::wstring(1, static_cast<wchar_t>(0xE9))), "\"\\u00e9\"");
}

TEST(JsonLine, WritesBytesAsLowercaseHex) {
  const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  EXPECT_EQ(JsonLine::Hex(bytes, 4), "000fa0ff");
  EXPECT_EQ(JsonLine::Hex(nullptr, 0), "");
  EXPECT_EQ(JsonLine::Hex(std::string("\x01\x80", 2)), "0180");
}

TEST(JsonLine, BuildsOneObjectWithFieldsInOrder) {
  const uint8_t bytes[] = {0x07, 0x06};
  const std::string line = JsonLine()
                               .Add("type", "message")
                               .Add("seq", static_cast<int64_t>(-3))
                               .Add("reply", true)
                               .AddHex("hex", bytes, 2)
                               .AddMilliseconds("t", 1.23456)
                               .AddNull("none")
                               .AddTextList("argv", {"a", ""})
                               .AddHexList("argv_hex", {"a", ""})
                               .Finish();
  EXPECT_EQ(line,
            "{\"type\":\"message\",\"seq\":-3,\"reply\":true,\"hex\":\"0706\",\"t\":1.235,"
            "\"none\":null,\"argv\":[\"a\",\"\"],\"argv_hex\":[\"61\",\"\"]}");
  EXPECT_EQ(JsonLine().Finish(), "{}");
}

}  // namespace
}  // namespace standin
