#include "encoding/allocation_meter_test_support.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Each block starts with its size, at the alignment operator new promises.
constexpr size_t kHeader = alignof(std::max_align_t);
constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

std::atomic<size_t> held_bytes{0};
std::atomic<size_t> peak_bytes{0};
std::atomic<size_t> ceiling_bytes{kNoLimit};
std::atomic<size_t> first_refused{0};
size_t meter_start = 0;

void* Allocate(size_t size) {
  const size_t now = held_bytes += size;
  void* block = nullptr;
  if (now <= ceiling_bytes && size <= kNoLimit - kHeader) {
    block = std::malloc(size + kHeader);
  } else if (first_refused == 0) {
    first_refused = size;
  }
  if (block == nullptr) {
    held_bytes -= size;
    throw std::bad_alloc();
  }
  for (size_t seen = peak_bytes; now > seen;) {
    peak_bytes.compare_exchange_weak(seen, now);
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
  if (pointer != nullptr) {
    void* block = static_cast<char*>(pointer) - kHeader;
    held_bytes -= *static_cast<size_t*>(block);
    std::free(block);
  }
}

}  // namespace

// Every form, so that none reaches another allocator whose blocks Release
// could not take back.
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }

namespace flutter {
namespace testing {

AllocationMeter::AllocationMeter(size_t limit) {
  meter_start = held_bytes;
  peak_bytes = meter_start;
  first_refused = 0;
  ceiling_bytes = meter_start + limit;
}

AllocationMeter::~AllocationMeter() { ceiling_bytes = kNoLimit; }

size_t AllocationMeter::peak() const { return peak_bytes - meter_start; }

size_t AllocationMeter::refused() const { return first_refused; }

}  // namespace testing
}  // namespace flutter
