#include "reader/frame_cache.h"

#include "core/module.h"
#include "reader/reader.h"

namespace zedadu::reader {

int64_t FrameCache::lookUp(const ReadingFile& file, int32_t width, int32_t height) const {
    const bool same = file_.load() == &file && width_ == width && height_ == height &&
                      compressedFrames_ == CompressedFrames();
    return same ? frame_ : -1;
}

void FrameCache::remember(const ReadingFile& file, uint32_t frame, int32_t width, int32_t height) {
    file_.store(&file);
    compressedFrames_ = CompressedFrames();
    frame_ = frame;
    width_ = width;
    height_ = height;
}

void FrameCache::forget() {
    frame_ = -1;
    holdsImage_ = false;
}

void FrameCache::forget(const ReadingFile& file) {
    const ReadingFile* expected = &file;
    file_.compare_exchange_strong(expected, nullptr);
}

bool FrameCache::makeRoom(size_t decodeBytes, size_t readBytes) {
    if (decode_.capacity() < decodeBytes) {
        forget();
    }
    return decode_.ensure(decodeBytes) && read_.ensure(readBytes);
}

void FrameCache::releaseBuffers() {
    decode_.release();
    read_.release();
    scratch_.release();
}

namespace {

constinit FrameCache frameCache;

}  // namespace

FrameCache& TheFrameCache() {
    return frameCache;
}

void ReleaseFrameCacheBuffers() {
    frameCache.releaseBuffers();
}

}  // namespace zedadu::reader
