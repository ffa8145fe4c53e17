// The module-wide scratch buffers (the frame cache's, the writer's chunk and compressed-frame
// buffers) are grow-only buffers: asking for more than one holds releases the old memory and
// allocates exactly the new size, without keeping the contents; a failed allocation leaves it
// empty. A buffer has no destructor: its owner releases it at unload, so that nothing depends on
// the order in which static objects are destroyed. Used only under the access lock.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zedadu {

class GrowOnlyBuffer {
  public:
    constexpr GrowOnlyBuffer() = default;
    GrowOnlyBuffer(const GrowOnlyBuffer&) = delete;
    GrowOnlyBuffer& operator=(const GrowOnlyBuffer&) = delete;

    // False when the memory cannot be had; the buffer is then empty.
    bool ensure(size_t size);
    void release();
    uint8_t* data() { return bytes_; }
    size_t capacity() const { return capacity_; }

  private:
    uint8_t* bytes_ = nullptr;
    size_t capacity_ = 0;
};

}  // namespace zedadu
