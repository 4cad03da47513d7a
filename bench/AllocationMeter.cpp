#include "AllocationMeter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace orb::bench {
std::atomic<std::size_t> AllocationMeter::current{0};
std::atomic<std::size_t> AllocationMeter::peak{0};
}  // namespace orb::bench

namespace {

using orb::bench::AllocationMeter;

// The usable size is what the block really holds, and is known again at deletion.
void* counted(void* p) {
  if (!p) throw std::bad_alloc();
  const std::size_t now = AllocationMeter::current.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t seen = AllocationMeter::peak.load(std::memory_order_relaxed);
  while (now > seen && !AllocationMeter::peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
  }
  return p;
}

void uncounted(void* p) {
  if (!p) return;
  AllocationMeter::current.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n) { return counted(std::malloc(n ? n : 1)); }
void* operator new(std::size_t n, std::align_val_t a) {
  return counted(std::aligned_alloc(static_cast<std::size_t>(a), (n + static_cast<std::size_t>(a) - 1) &
                                                                     ~(static_cast<std::size_t>(a) - 1)));
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }
void operator delete(void* p, std::align_val_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::align_val_t) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { uncounted(p); }
