#include "reader/frame_cache.h"

#include <new>

#include "reader/reader.h"

namespace zedadu::reader {

bool GrowOnlyBuffer::ensure(size_t size) {
    if (size <= size_) {
        return true;
    }
    release();
    bytes_.reset(new (std::nothrow) uint8_t[size]);
    if (!bytes_) {
        return false;
    }
    size_ = size;
    return true;
}

void GrowOnlyBuffer::release() {
    bytes_.reset();
    size_ = 0;
}

FrameCache& TheFrameCache() {
    // Never destroyed: the unload hook releases the buffers after static destructors may have run.
    static FrameCache& cache = *new FrameCache;
    return cache;
}

void ForgetCachedHandle(const AviFileHandle* handle) {
    TheFrameCache().handle.compare_exchange_strong(handle, nullptr);
}

void ReleaseFrameCacheBuffers() {
    FrameCache& cache = TheFrameCache();
    cache.decode.release();
    cache.read.release();
    cache.scratch.release();
}

void SetFrameCacheHandle(const AviFileHandle* handle) { TheFrameCache().handle.store(handle); }

}  // namespace zedadu::reader
