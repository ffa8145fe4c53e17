// What a test program that links tests/support/allocation_meter.cpp allocates through operator new
// since the last reset: the blocks, the largest block and the bytes of all blocks.
#pragma once

#include <cstddef>

namespace zedadu::test {

void ResetAllocationMeter();
size_t AllocationCount();
size_t LargestAllocation();
size_t AllocatedBytes();

}  // namespace zedadu::test
