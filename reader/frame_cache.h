// The frame cache: module-wide buffers shared by every reading handle, and a memo of the frame
// the decode buffer holds. Everything except the cached handle is touched only under the access
// lock; the cached handle is atomic so that closing and opening handles (which take no lock) can
// drop a memo that would otherwise outlive its handle.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "frame/avi_file_handle.h"

namespace zedadu::reader {

// A buffer that only grows: a larger size releases the old memory and allocates exactly the new
// size. Its contents are lost when it grows. It has no destructor: the module releases it at
// unload, and a module-wide buffer must not depend on the order of static destruction.
class GrowOnlyBuffer {
  public:
    constexpr GrowOnlyBuffer() = default;
    GrowOnlyBuffer(const GrowOnlyBuffer&) = delete;
    GrowOnlyBuffer& operator=(const GrowOnlyBuffer&) = delete;

    // False when the memory cannot be had; the buffer is then empty.
    bool ensure(size_t size);
    void release();
    uint8_t* data() { return bytes_; }
    size_t size() const { return size_; }

  private:
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
};

struct FrameCache {
    GrowOnlyBuffer decode;   // decompressed (or raw) images
    GrowOnlyBuffer read;     // one compressed chunk
    GrowOnlyBuffer scratch;  // conversions that must leave the decoded image intact
    std::atomic<const AviFileHandle*> handle{nullptr};
    int64_t frame = -1;
    int32_t width = 0;
    int32_t height = 0;
};

FrameCache& TheFrameCache();

// Forgets the memo when it names this handle (at close, and when a new handle reuses an address).
void ForgetCachedHandle(const AviFileHandle* handle);

}  // namespace zedadu::reader
