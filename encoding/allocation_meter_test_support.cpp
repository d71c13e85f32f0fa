#include "encoding/allocation_meter_test_support.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Each block starts with its size, at the alignment operator new promises.
constexpr size_t kHeader = alignof(std::max_align_t);

std::atomic<size_t> held_bytes{0};
std::atomic<size_t> peak_bytes{0};
std::atomic<size_t> ceiling_bytes{std::numeric_limits<size_t>::max()};
std::atomic<size_t> first_refused{0};
size_t meter_start = 0;

void* Allocate(size_t size) {
  const size_t now = held_bytes.fetch_add(size) + size;
  if (now > ceiling_bytes.load()) {
    held_bytes.fetch_sub(size);
    size_t none = 0;
    first_refused.compare_exchange_strong(none, size);
    throw std::bad_alloc();
  }
  for (size_t seen = peak_bytes.load(); now > seen;) {
    if (peak_bytes.compare_exchange_weak(seen, now)) {
      break;
    }
  }
  void* block = size <= std::numeric_limits<size_t>::max() - kHeader
                    ? std::malloc(size + kHeader)
                    : nullptr;
  if (block == nullptr) {
    held_bytes.fetch_sub(size);
    throw std::bad_alloc();
  }
  *static_cast<size_t*>(block) = size;
  return static_cast<char*>(block) + kHeader;
}

void* AllocateOrNull(size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void Release(void* pointer) noexcept {
  if (pointer == nullptr) {
    return;
  }
  void* block = static_cast<char*>(pointer) - kHeader;
  held_bytes.fetch_sub(*static_cast<size_t*>(block));
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  Release(pointer);
}

namespace flutter {
namespace testing {
AllocationMeter::AllocationMeter(size_t limit) {
  meter_start = held_bytes.load();
  peak_bytes = meter_start;
  first_refused = 0;
  ceiling_bytes = meter_start + limit;
}

AllocationMeter::~AllocationMeter() {
  ceiling_bytes = std::numeric_limits<size_t>::max();
}

size_t AllocationMeter::peak() const { return peak_bytes.load() - meter_start; }

size_t AllocationMeter::refused() const { return first_refused.load(); }

}  // namespace testing
}  // namespace flutter
