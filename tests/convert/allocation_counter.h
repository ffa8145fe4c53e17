// Counts every allocation through the global operator new of this test program.
#pragma once

#include <cstddef>

namespace zedadu::test {

size_t AllocationCount();

}  // namespace zedadu::test
