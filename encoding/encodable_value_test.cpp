#include "encoding/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

namespace flutter {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const float kFloatNaN = std::numeric_limits<float>::quiet_NaN();

TEST(EncodableValue, AlternativesKeepTheirWireOrder) {
  const struct {
    EncodableValue value;
    size_t index;
  } cases[] = {
      {EncodableValue(), 0},
      {EncodableValue(true), 1},
      {EncodableValue(int32_t{1}), 2},
      {EncodableValue(int64_t{1}), 3},
      {EncodableValue(1.5), 4},
      {EncodableValue(std::string("s")), 5},
      {EncodableValue(std::vector<uint8_t>{1}), 6},
      {EncodableValue(std::vector<int32_t>{1}), 7},
      {EncodableValue(std::vector<int64_t>{1}), 8},
      {EncodableValue(std::vector<double>{1}), 9},
      {EncodableValue(EncodableList{}), 10},
      {EncodableValue(EncodableMap{}), 11},
      {EncodableValue(CustomEncodableValue(42)), 12},
      {EncodableValue(std::vector<float>{1}), 13},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.index(), c.index);
  }
}

TEST(EncodableValue, TextLiteralIsAStringNeverABool) {
  const EncodableValue constructed("ip");
  EXPECT_EQ(std::get<std::string>(constructed), "ip");

  EncodableValue assigned(true);
  assigned = "success";
  EXPECT_EQ(std::get<std::string>(assigned), "success");

  const EncodableMap event{{"ip", "10.0.0.1"}, {"success", true}};
  EXPECT_EQ(std::get<std::string>(event.at(EncodableValue("ip"))), "10.0.0.1");
  EXPECT_TRUE(std::get<bool>(event.at(EncodableValue("success"))));
}

TEST(EncodableValue, CheckedAccessToAnotherAlternativeThrows) {
  const EncodableValue value(int32_t{7});
  EXPECT_EQ(std::get<int32_t>(value), 7);
  EXPECT_THROW(std::get<int64_t>(value), std::bad_variant_access);
  EXPECT_THROW(std::get<std::string>(EncodableValue()),
               std::bad_variant_access);
}

struct OrderCase {
  const char* name;
  EncodableValue smaller;
  EncodableValue larger;
};

TEST(EncodableValue, OrdersStrictly) {
  const OrderCase cases[] = {
      {"null before bool", EncodableValue(), EncodableValue(false)},
      {"false before true", EncodableValue(false), EncodableValue(true)},
      {"true before any int32", EncodableValue(true),
       EncodableValue(std::numeric_limits<int32_t>::min())},
      {"int32 before int64 whatever the numbers", EncodableValue(int32_t{5}),
       EncodableValue(int64_t{1})},
      {"int32 signed", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0})},
      {"int64 signed", EncodableValue(int64_t{-1}), EncodableValue(int64_t{0})},
      {"int64 before double", EncodableValue(int64_t{9}), EncodableValue(-1.0)},
      {"double numeric", EncodableValue(-2.5), EncodableValue(1.0)},
      {"double before string", EncodableValue(1e300), EncodableValue("")},
      {"prefix string first", EncodableValue("ab"), EncodableValue("abc")},
      {"first differing byte", EncodableValue("abc"), EncodableValue("abd")},
      {"bytes are unsigned", EncodableValue("\x7F"), EncodableValue("\x80")},
      {"zero bytes count", EncodableValue(std::string("a\0a", 3)),
       EncodableValue(std::string("a\0b", 3))},
      {"byte vector prefix", EncodableValue(std::vector<uint8_t>{1, 2}),
       EncodableValue(std::vector<uint8_t>{1, 2, 0})},
      {"byte vector unsigned", EncodableValue(std::vector<uint8_t>{0x7F}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {"int32 vector signed", EncodableValue(std::vector<int32_t>{-1}),
       EncodableValue(std::vector<int32_t>{0})},
      {"int64 vector signed", EncodableValue(std::vector<int64_t>{-1, 5}),
       EncodableValue(std::vector<int64_t>{0})},
      {"NaN pair counts as equal and moves on",
       EncodableValue(std::vector<double>{kNaN, 1}),
       EncodableValue(std::vector<double>{kNaN, 2})},
      {"float NaN pair counts as equal and moves on",
       EncodableValue(std::vector<float>{kFloatNaN, 1}),
       EncodableValue(std::vector<float>{kFloatNaN, 2})},
      {"list prefix", EncodableValue(EncodableList{1}),
       EncodableValue(EncodableList{1, EncodableValue()})},
      {"list elements by alternative first",
       EncodableValue(EncodableList{int32_t{9}}),
       EncodableValue(EncodableList{int64_t{0}})},
      {"map keys decide first", EncodableValue(EncodableMap{{"a", 1}}),
       EncodableValue(EncodableMap{{"b", 0}})},
      {"map values decide on equal keys",
       EncodableValue(EncodableMap{{"a", 1}}),
       EncodableValue(EncodableMap{{"a", 2}})},
      {"map entry prefix", EncodableValue(EncodableMap{}),
       EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}})},
      {"list before map", EncodableValue(EncodableList{5}),
       EncodableValue(EncodableMap{})},
      {"map before custom", EncodableValue(EncodableMap{{1, 2}}),
       EncodableValue(CustomEncodableValue(0))},
      {"empty float vector after map", EncodableValue(EncodableMap{{1, 2}}),
       EncodableValue(std::vector<float>{})},
      {"empty float vector after custom",
       EncodableValue(CustomEncodableValue(0)),
       EncodableValue(std::vector<float>{})},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.smaller < c.larger) << c.name;
    EXPECT_FALSE(c.larger < c.smaller) << c.name;
  }
}

TEST(EncodableValue, EquivalentValuesAreNeitherLess) {
  const struct {
    const char* name;
    EncodableValue a;
    EncodableValue b;
  } cases[] = {
      {"nulls", EncodableValue(), EncodableValue()},
      {"NaN and a number", EncodableValue(kNaN), EncodableValue(1.0)},
      {"signed zeros", EncodableValue(-0.0), EncodableValue(0.0)},
      {"NaN inside double vectors", EncodableValue(std::vector<double>{kNaN}),
       EncodableValue(std::vector<double>{3.0})},
      {"equal maps", EncodableValue(EncodableMap{{"a", EncodableList{1}}}),
       EncodableValue(EncodableMap{{"a", EncodableList{1}}})},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.a < c.b) << c.name;
    EXPECT_FALSE(c.b < c.a) << c.name;
  }
}

TEST(EncodableValue, CustomValuesOrderByAddress) {
  const CustomEncodableValue pair[2] = {CustomEncodableValue(1),
                                        CustomEncodableValue(1)};
  const EncodableValue first(pair[0]);
  const EncodableValue& same = first;
  EXPECT_FALSE(first < same);
  EXPECT_TRUE(pair[0] < pair[1]);
  EXPECT_FALSE(pair[1] < pair[0]);
}

TEST(EncodableMap, KeysOfDifferentAlternativesAreDistinctAndSortedByIndex) {
  const EncodableMap map{{int64_t{1}, "int64"}, {"1", "string"},
                         {int32_t{1}, "int32"}, {1.0, "double"},
                         {true, "bool"},        {EncodableValue(), "null"}};
  std::vector<std::string> order;
  for (const auto& entry : map) {
    order.push_back(std::get<std::string>(entry.second));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"null", "bool", "int32", "int64",
                                             "double", "string"}));
}

TEST(EncodableMap, FirstInsertedOfEquivalentKeysWins) {
  const EncodableMap map{{"k", 1}, {"k", 2}, {kNaN, "nan"}, {0.5, "half"}};
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at(EncodableValue("k")), EncodableValue(1));
  // A NaN key is equivalent to every double key.
  EXPECT_EQ(map.at(EncodableValue(7.0)), EncodableValue("nan"));
}

TEST(EncodableMap, CopyOfACustomValueIsAnotherKey) {
  const EncodableValue custom(CustomEncodableValue(std::string("app")));
  const EncodableValue copy = custom;
  EncodableMap map;
  map.emplace(custom, 1);
  map.emplace(copy, 2);
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(
      std::any_cast<std::string>(std::get<CustomEncodableValue>(copy).value()),
      "app");
}

TEST(EncodableValue, EqualityComparesContents) {
  EXPECT_EQ(EncodableValue(EncodableList{1, "a", EncodableMap{{2, 3.0}}}),
            EncodableValue(EncodableList{1, "a", EncodableMap{{2, 3.0}}}));
  EXPECT_NE(EncodableValue(int32_t{1}), EncodableValue(int64_t{1}));
  EXPECT_NE(EncodableValue(kNaN), EncodableValue(kNaN));
  const EncodableValue custom(CustomEncodableValue(1));
  EXPECT_EQ(custom, custom);
  EXPECT_NE(custom, EncodableValue(CustomEncodableValue(1)));
}

}  // namespace
}  // namespace flutter
