#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> Counting{false};
std::atomic<long> Allocations{0};

void* CountedAllocation(std::size_t size) {
  if (Counting.load(std::memory_order_relaxed)) Allocations.fetch_add(1);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
}  // namespace

void StartCountingAllocations() {
  Allocations = 0;
  Counting = true;
}

long StopCountingAllocations() {
  Counting = false;
  return Allocations.load();
}

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
