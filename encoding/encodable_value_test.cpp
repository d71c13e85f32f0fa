#include "encoding/encodable_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Map keys follow the ordering and decoded values are checked with the
// equality: the pairs where a mistaken comparison would differ.
TEST(EncodableValue, OrdersByAlternativeThenContents) {
  enum Relation { kLess, kEquivalent, kEqual };
  const struct {
    const char* name;
    EncodableValue a;
    EncodableValue b;
    Relation relation;
  } cases[] = {
      {"nulls", EncodableValue(), EncodableValue(), kEqual},
      {"bools", false, true, kLess},
      {"alternative first", int32_t{5}, int64_t{1}, kLess},
      {"signed", int64_t{-1}, int64_t{0}, kLess},
      {"unsigned bytes", "\x7F", "\x80", kLess},
      {"prefix", std::vector<uint8_t>{1}, std::vector<uint8_t>{1, 0}, kLess},
      {"NaN pair moves on", std::vector<double>{kNaN, 1},
       std::vector<double>{kNaN, 2}, kLess},
      {"NaN and a number", kNaN, 1.0, kEquivalent},
      {"NaN and NaN", kNaN, kNaN, kEquivalent},
      {"signed zeros", -0.0, 0.0, kEqual},
      {"map keys first", EncodableMap{{"a", 1}}, EncodableMap{{"b", 0}}, kLess},
      {"map values", EncodableMap{{"a", 1}}, EncodableMap{{"a", 2}}, kLess},
      {"float vector last", CustomEncodableValue(0), std::vector<float>{},
       kLess},
      {"containers", EncodableList{1, EncodableMap{{"a", 3.0}}},
       EncodableList{1, EncodableMap{{"a", 3.0}}}, kEqual},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a < c.b, c.relation == kLess) << c.name;
    EXPECT_FALSE(c.b < c.a) << c.name;
    EXPECT_EQ(c.a == c.b, c.relation == kEqual) << c.name;
    EXPECT_EQ(c.a != c.b, c.relation != kEqual) << c.name;
  }
}

// A custom value is known by its address: it equals only itself, and a copy
// is a different map key from its original.
TEST(EncodableValue, CustomValuesCompareByAddress) {
  const EncodableValue original(CustomEncodableValue(std::string("app")));
  const EncodableValue copy = original;
  EXPECT_TRUE(original == original);
  EXPECT_FALSE(original < original);
  EXPECT_TRUE(original != copy);
  EXPECT_NE(original < copy, copy < original);
}

}  // namespace
}  // namespace flutter
