// The frame cache: the module-wide buffers that every reading handle decodes into, and a memo of
// the frame decoded last (for which handle, at which output size) and of whether the decode buffer
// holds its image (it does not when the frame was drawn straight into the host's buffer). A frame
// compressed since then ends the memo. Its
// buffers and the memo are touched only under the access lock; the memo's handle is atomic besides,
// so that open and close (which take no lock) can forget a handle that goes away.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/grow_only_buffer.h"
#include "reader/reading_file.h"

namespace zedadu::reader {

class FrameCache {
  public:
    constexpr FrameCache() = default;
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // The frame decoded last for this handle at this output size, or -1.
    int64_t lookUp(const ReadingFile& file, int32_t width, int32_t height) const;
    void remember(const ReadingFile& file, uint32_t frame, int32_t width, int32_t height);
    // Whether the decode buffer holds the image of the frame decoded last.
    bool holdsImage() const { return holdsImage_; }
    void holdImage(bool held) { holdsImage_ = held; }
    // The decode buffer is about to change: it holds no frame any more.
    void forget();
    // Forgets the memo when it is this handle's (closed, or a new handle at its address).
    void forget(const ReadingFile& file);

    // Grows the decode and read buffers to these sizes; growing the decode buffer loses the frame
    // it held. False when the memory cannot be had.
    bool makeRoom(size_t decodeBytes, size_t readBytes);
    uint8_t* decoded() { return decode_.data(); }
    uint8_t* chunk() { return read_.data(); }
    // Room for a conversion that must leave the decoded image intact.
    GrowOnlyBuffer& scratch() { return scratch_; }
    // The buffers go at unload.
    void releaseBuffers();

  private:
    GrowOnlyBuffer decode_;
    GrowOnlyBuffer read_;
    GrowOnlyBuffer scratch_;
    std::atomic<const ReadingFile*> file_{nullptr};
    int64_t frame_ = -1;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint64_t compressedFrames_ = 0;  // the writer's count when the memo was made
    bool holdsImage_ = false;
};

FrameCache& TheFrameCache();

}  // namespace zedadu::reader
