// Counts heap allocations for the benchmarks that report allocations per operation, by replacing
// the global operator new and delete. Include it in the one source of a benchmark program.
//
// Each thread counts in its own slot (`threadSlot`, set by the benchmark thread): a single shared
// counter written by two threads would measure itself rather than the calls. Slots are 128 bytes
// apart, as the processor may fetch cache lines in pairs.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace Bench {

// glibc hands memory freed at the top of the heap back to the system and faults it in again on
// the next round: a benchmark that frees everything it built would measure page faults. Every
// benchmark program keeps its freed memory instead, baselines included.
inline const bool keepsFreedMemory =
    mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1 && mallopt(M_MMAP_THRESHOLD, 1 << 30) == 1;

constexpr int kMaxThreads = 2;
inline thread_local int threadSlot = 0;

struct alignas(128) AllocationCounter {
  std::atomic<std::size_t> count{0};
};
inline AllocationCounter allocationCounters[kMaxThreads];

inline std::size_t Allocations() {
  std::size_t total = 0;
  for (const AllocationCounter& counter : allocationCounters) {
    total += counter.count.load(std::memory_order_relaxed);
  }
  return total;
}

// Out of line, so that the compiler pairs the replaced operators with each other rather than
// with malloc and free.
[[gnu::noinline]] inline void* Allocate(std::size_t size) {
  allocationCounters[threadSlot].count.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
[[gnu::noinline]] inline void Release(void* memory) noexcept { std::free(memory); }

}  // namespace Bench

void* operator new(std::size_t size) { return Bench::Allocate(size); }
void* operator new[](std::size_t size) { return Bench::Allocate(size); }
void operator delete(void* memory) noexcept { Bench::Release(memory); }
void operator delete[](void* memory) noexcept { Bench::Release(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { Bench::Release(memory); }
void operator delete[](void* memory, std::size_t /*size*/) noexcept { Bench::Release(memory); }
