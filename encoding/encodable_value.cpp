#include "encoding/encodable_value.h"

#include <algorithm>
#include <type_traits>

namespace flutter {
namespace {

// Anything but a list or a map: its own less-than, asked both ways.
template <typename T>
int CompareLeaves(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

// Three-way, so that lists and maps compare each pair of elements once. The
// less-than of std::vector and std::map asks "a < b" and then "b < a" of
// every pair: over nested lists that doubles the work per level, and a map
// whose keys are two equal lists a few dozen levels deep (a message of a few
// hundred bytes) would keep its decoder busy for ever.
int EncodableValue::Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return a.index() < b.index() ? -1 : 1;
  }
  return std::visit(
      [&b](const auto& value) -> int {
        using T = std::decay_t<decltype(value)>;
        const T& other = *std::get_if<T>(&b);
        if constexpr (std::is_same_v<T, EncodableList>) {
          const size_t common = std::min(value.size(), other.size());
          for (size_t i = 0; i < common; ++i) {
            if (const int order = Compare(value[i], other[i]); order != 0) {
              return order;
            }
          }
          return CompareLeaves(value.size(), other.size());
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          auto entry = value.begin();
          auto other_entry = other.begin();
          for (; entry != value.end() && other_entry != other.end();
               ++entry, ++other_entry) {
            if (const int order = Compare(entry->first, other_entry->first);
                order != 0) {
              return order;
            }
            if (const int order = Compare(entry->second, other_entry->second);
                order != 0) {
              return order;
            }
          }
          return CompareLeaves(value.size(), other.size());
        } else {
          return CompareLeaves(value, other);
        }
      },
      static_cast<const super&>(a));
}

}  // namespace flutter
