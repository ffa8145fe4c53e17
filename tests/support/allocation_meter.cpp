// Replaces the global operator new and delete of the test program that links it, measuring what is
// allocated. Kept in a translation unit of its own (outside the test support library, so that only
// the programs that ask for it get it) so that no caller sees the malloc behind the new.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/allocation_meter.h"

namespace {

std::atomic<size_t> count{0};
std::atomic<size_t> largest{0};
std::atomic<size_t> total{0};

void* Allocate(size_t size) noexcept {
    size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    count.fetch_add(1, std::memory_order_relaxed);
    total.fetch_add(size, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}

void* AllocateOrThrow(size_t size) {
    if (void* block = Allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}

}  // namespace

namespace zedadu::test {

void ResetAllocationMeter() {
    count.store(0);
    largest.store(0);
    total.store(0);
}
size_t AllocationCount() {
    return count.load();
}
size_t LargestAllocation() {
    return largest.load();
}
size_t AllocatedBytes() {
    return total.load();
}

}  // namespace zedadu::test

void* operator new(size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
