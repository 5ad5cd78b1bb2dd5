#include "AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> gLiveBytes{0};
std::atomic<size_t> gPeakBytes{0};
constexpr size_t kHeader = 16;  // keeps the caller's alignment

void* CountedAlloc(size_t n) noexcept {
  void* p = std::malloc(n + kHeader);
  if (p == nullptr) return nullptr;
  *static_cast<size_t*>(p) = n;
  const size_t live = gLiveBytes.fetch_add(n, std::memory_order_relaxed) + n;
  size_t peak = gPeakBytes.load(std::memory_order_relaxed);
  while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return static_cast<char*>(p) + kHeader;
}

void CountedFree(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - kHeader;
  gLiveBytes.fetch_sub(*static_cast<size_t*>(block), std::memory_order_relaxed);
  std::free(block);
}

void* CountedNew(size_t n) {
  if (void* p = CountedAlloc(n)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace zqe::bench {

size_t LiveBytes() { return gLiveBytes.load(std::memory_order_relaxed); }

size_t StartPeak() {
  const size_t live = LiveBytes();
  gPeakBytes.store(live, std::memory_order_relaxed);
  return live;
}

size_t PeakBytes() { return gPeakBytes.load(std::memory_order_relaxed); }

}  // namespace zqe::bench

// The aligned forms are left to the library: nothing here allocates with
// them, and each pair stays matched.
void* operator new(size_t n) { return CountedNew(n); }
void* operator new[](size_t n) { return CountedNew(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
