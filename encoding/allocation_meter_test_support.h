// Bytes held through operator new, for tests that bound what a call holds at
// its peak. Linking allocation_meter_test_support.cpp replaces the global
// operator new and delete of the whole executable, so it goes only into an
// executable of its own: beside ordinary tests it would take the place of the
// sanitizers' own checks of new and delete.
//
// Sizes are those requested, so reserved capacity counts and the allocator's
// own overhead does not. Counters are atomic; one meter runs at a time.

#ifndef RIVELO_ENCODING_ALLOCATION_METER_TEST_SUPPORT_H_
#define RIVELO_ENCODING_ALLOCATION_METER_TEST_SUPPORT_H_

#include <cstddef>

namespace flutter {
namespace testing {

// What a decode of input_size bytes may hold at once.
constexpr size_t DecodeMemoryBound(size_t input_size) {
  return 64 * input_size + (size_t{1} << 20);
}

// From construction to destruction, the most bytes held beyond those held at
// construction. An allocation that would take them past limit throws
// std::bad_alloc instead and marks the meter exceeded, so that a fault shows
// before it exhausts the machine.
class AllocationMeter {
 public:
  explicit AllocationMeter(size_t limit);
  ~AllocationMeter();

  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  size_t peak() const;
  // The size of the first allocation refused, 0 while none was.
  size_t refused() const;
};

}  // namespace testing
}  // namespace flutter

#endif  // RIVELO_ENCODING_ALLOCATION_METER_TEST_SUPPORT_H_
