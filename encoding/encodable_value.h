// EncodableValue: the one value type exchanged with the Dart side (channel
// arguments, results, error details, stream events). A closed tagged union of
// fourteen alternatives with value semantics: copies are deep, containers hold
// their elements by value. The order of the alternatives is part of the wire
// format and of the ordering below; never reorder or insert alternatives.
//
// Values are plain data: distinct values may be used from distinct threads at
// once; one value may be read from several threads as long as none writes it.

#ifndef RIVELO_ENCODING_ENCODABLE_VALUE_H_
#define RIVELO_ENCODING_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

// An application object that the standard codec cannot encode, held
// type-erased. Identity is its address: two distinct custom values are never
// equivalent under the ordering, and a copy is a different map key from its
// original.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}

  const std::any& value() const { return value_; }

  bool operator<(const CustomEncodableValue& other) const {
    return std::less<const CustomEncodableValue*>()(this, &other);
  }
  bool operator==(const CustomEncodableValue& other) const {
    return this == &other;
  }
  bool operator!=(const CustomEncodableValue& other) const {
    return this != &other;
  }

 private:
  std::any value_;
};

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                 std::vector<uint8_t>, std::vector<int32_t>,
                 std::vector<int64_t>, std::vector<double>, EncodableList,
                 EncodableMap, CustomEncodableValue, std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableVariant {
 public:
  using super = internal::EncodableVariant;
  using super::super;

  EncodableValue() = default;

  // Without this a text literal would convert to bool, the only standard
  // conversion among the alternatives.
  EncodableValue(const char* text) : super(std::string(text)) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The total ordering that EncodableMap keys follow: alternatives by index
  // first, then contents (unsigned bytes for strings, lexicographic
  // sequences, a NaN never less than anything, custom values by address).
  bool operator<(const EncodableValue& other) const {
    // Map keys are mostly strings: those compare without a visit.
    const auto* text = std::get_if<std::string>(this);
    const auto* other_text = std::get_if<std::string>(&other);
    if (text != nullptr && other_text != nullptr) {
      return TextLess(*text, *other_text);
    }
    return Compare(*this, other) < 0;
  }

  // Same alternative and equal contents; doubles compare numerically (a NaN
  // equals nothing) and custom values only equal themselves.
  bool operator==(const EncodableValue& other) const {
    return static_cast<const super&>(*this) == static_cast<const super&>(other);
  }
  bool operator!=(const EncodableValue& other) const {
    return !(*this == other);
  }

 private:
  // Bytes compared unsigned, as std::string's own less-than does. The keys of
  // one map mostly differ in their first byte, which then decides without a
  // call to memcmp. An empty string's [0] is its terminating zero, which
  // orders it first, as it should, unless the other also starts with a zero.
  static bool TextLess(const std::string& a, const std::string& b) {
    const auto first_a = static_cast<unsigned char>(a[0]);
    const auto first_b = static_cast<unsigned char>(b[0]);
    if (first_a != first_b) {
      return first_a < first_b;
    }
    return a < b;
  }

  // Negative, zero or positive as a is less than, equivalent to or greater
  // than b under the ordering above; in time linear in the values' size.
  static int Compare(const EncodableValue& a, const EncodableValue& b);
};

}  // namespace flutter

#endif  // RIVELO_ENCODING_ENCODABLE_VALUE_H_
