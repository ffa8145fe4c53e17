// Replaces the global operator new and delete of the test program, measuring the largest block
// and the bytes allocated since the last reset. Kept in a translation unit of its own so that no
// caller sees the malloc behind the new.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/hostile/hostile_support.h"

namespace {

std::atomic<size_t> largest{0};
std::atomic<size_t> total{0};

void* Allocate(size_t size) noexcept {
    size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
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
    largest.store(0);
    total.store(0);
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
