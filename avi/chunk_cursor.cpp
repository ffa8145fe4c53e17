#include "avi/chunk_cursor.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/byte_order.h"

namespace zedadu::avi {

bool MemoryBytes::read(uint64_t at, void* out, size_t count) const {
    if (at > size_ || count > size_ - at) {
        return false;
    }
    if (count > 0) {
        memcpy(out, bytes_ + at, count);
    }
    return true;
}

bool RiffFileBytes::read(uint64_t at, void* out, size_t count) const {
    if (at > size_ || count > size_ - at || count > 0x7FFFFFFF ||
        mmioSeek(file_, int64_t(at), SEEK_SET) != int64_t(at)) {
        return false;
    }
    return mmioRead(file_, static_cast<char*>(out), LONG(count)) == LONG(count);
}

ChunkCursor::ChunkCursor(const ByteSource& source, uint64_t begin, uint64_t end)
    : source_(source), position_(begin), end_(std::min(end, source.size())) {}

bool ChunkCursor::next(Chunk& chunk) {
    // Compared by subtraction: a hostile position cannot wrap.
    if (position_ > end_ || end_ - position_ < kChunkHeaderBytes) {
        return false;
    }
    uint8_t header[kListHeaderBytes];
    if (!source_.read(position_, header, kChunkHeaderBytes)) {
        return false;
    }
    Chunk found;
    found.id = LoadU32(header);
    found.claimed = LoadU32(header + 4);
    found.data = position_ + kChunkHeaderBytes;
    found.size = std::min<uint64_t>(found.claimed, end_ - found.data);
    if (found.isList()) {
        if (end_ - found.data < 4 || !source_.read(found.data, header + 8, 4)) {
            return false;
        }
        found.listType = LoadU32(header + 8);
    }
    chunk = found;
    position_ = found.paddedEnd();
    return true;
}

ChunkCursor ChunkCursor::inside(const Chunk& list) const {
    return ChunkCursor(source_, list.data + 4, list.data + list.size);
}

bool SizeBelieved(uint64_t data, uint64_t claimed, uint64_t fileSize) {
    return claimed > 0 && data <= fileSize && claimed <= fileSize - data;
}

bool ContinuedInParts(const ByteSource& source, uint64_t formEnd) {
    uint8_t header[kListHeaderBytes];
    return source.read(formEnd + (formEnd & 1), header, sizeof header) &&
           LoadU32(header) == kRiffChunk && LoadU32(header + 8) == kExtendedForm;
}

}  // namespace zedadu::avi
