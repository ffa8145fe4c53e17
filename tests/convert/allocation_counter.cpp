// Replaces the global operator new and delete of the test program, counting allocations. Kept in
// a translation unit of its own so that no caller sees the malloc behind the new.
#include "tests/convert/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> allocations{0};

}  // namespace

namespace zedadu::test {

size_t AllocationCount() {
    return allocations.load();
}

}  // namespace zedadu::test

void* operator new(size_t size) {
    ++allocations;
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t size) {
    return operator new(size);
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
