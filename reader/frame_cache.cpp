#include "reader/frame_cache.h"

#include <new>

#include "reader/reader.h"

namespace zedadu::reader {

bool GrowOnlyBuffer::ensure(size_t size) {
    if (size <= size_) {
        return true;
    }
    release();
    bytes_ = new (std::nothrow) uint8_t[size];
    if (!bytes_) {
        return false;
    }
    size_ = size;
    return true;
}

void GrowOnlyBuffer::release() {
    delete[] bytes_;
    bytes_ = nullptr;
    size_ = 0;
}

namespace {

constinit FrameCache frameCache;

}  // namespace

FrameCache& TheFrameCache() {
    return frameCache;
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

void SetFrameCacheHandle(const AviFileHandle* handle) {
    TheFrameCache().handle.store(handle);
}

}  // namespace zedadu::reader
