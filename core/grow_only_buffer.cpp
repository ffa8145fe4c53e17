#include "core/grow_only_buffer.h"

#include <new>

namespace zedadu {

bool GrowOnlyBuffer::ensure(size_t size) {
    if (size <= capacity_) {
        return true;
    }
    release();
    bytes_ = new (std::nothrow) uint8_t[size];
    if (!bytes_) {
        return false;
    }
    capacity_ = size;
    return true;
}

void GrowOnlyBuffer::release() {
    delete[] bytes_;
    bytes_ = nullptr;
    capacity_ = 0;
}

}  // namespace zedadu
