#pragma once
// Replaces the global operator new and delete of the whole binary with ones
// that count every allocation. Include it in exactly one file of a test
// binary of its own: the replacement holds for everything linked into it.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace talvinor::testing {
inline std::atomic<uint64_t> g_allocations{0};
// Allocations made through operator new since the program started.
inline uint64_t AllocationCount() { return g_allocations.load(); }
}  // namespace talvinor::testing

void* operator new(size_t size) {
  talvinor::testing::g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
