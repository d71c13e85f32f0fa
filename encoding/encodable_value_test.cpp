#include "encoding/encodable_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

// Map keys follow the ordering and decoded values are checked with the
// equality: the pairs where a mistaken comparison would differ.
TEST(EncodableValue, OrdersByAlternativeThenContents) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  enum Relation { kLess, kEquivalent, kEqual };
  const struct {
    EncodableValue a;
    EncodableValue b;
    Relation relation;
  } cases[] = {
      {EncodableValue(), EncodableValue(), kEqual},
      {int32_t{5}, int64_t{1}, kLess},
      {std::vector<double>{nan, 1}, std::vector<double>{nan, 2}, kLess},
      {nan, 1.0, kEquivalent},
      {nan, nan, kEquivalent},
      {CustomEncodableValue(0), std::vector<float>{}, kLess},
      {EncodableList{1, EncodableMap{{"a", 3.0}}},
       EncodableList{1, EncodableMap{{"a", 3.0}}}, kEqual},
      // Contents in order, length last.
      {"aa", "b", kLess},
      {"ab", "abc", kLess},
      {"\x7F", "\x80", kLess},
      {"", std::string(1, '\0'), kLess},
      {std::vector<uint8_t>{1, 2}, std::vector<uint8_t>{1, 2, 0}, kLess},
      {EncodableList{"aa"}, EncodableList{"b"}, kLess},
      {EncodableList{1}, EncodableList{1, 0}, kLess},
      {EncodableList{1, 5}, EncodableList{2}, kLess},
      {EncodableMap{{"a", 1}}, EncodableMap{{"a", 2}}, kLess},
      {EncodableMap{{"a", 2}}, EncodableMap{{"b", 1}}, kLess},
      {EncodableMap{{"a", 1}}, EncodableMap{{"a", 1}, {"b", 2}}, kLess},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a < c.b, c.relation == kLess) << "row " << &c - cases;
    EXPECT_FALSE(c.b < c.a) << "row " << &c - cases;
    EXPECT_EQ(c.a == c.b, c.relation == kEqual) << "row " << &c - cases;
    EXPECT_EQ(c.a != c.b, c.relation != kEqual) << "row " << &c - cases;
  }
  // A custom value is known by its address: a copy is a different map key
  // from its original.
  const EncodableValue original(CustomEncodableValue(std::string("app")));
  const EncodableValue copy = original;
  EXPECT_TRUE(original != copy);
  EXPECT_NE(original < copy, copy < original);
}

}  // namespace
}  // namespace flutter
