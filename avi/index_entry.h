// One entry of an AVI 'idx1' index, and the growable entry array that reader and writer share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/vfw/vfw.h"
#include "platform/win32/byte_order.h"
#include "platform/win32/types.h"

namespace zedadu {

struct IndexEntry {
    FOURCC chunkId;
    uint32_t flags;   // 0x10 marks a key frame
    uint32_t offset;  // once loaded: the absolute file position of the chunk's data
    uint32_t size;    // bytes of chunk data, without the pad byte
};
static_assert(sizeof(IndexEntry) == 16);

inline constexpr uint32_t kIndexKeyFrame = AVIIF_KEYFRAME;
inline constexpr size_t kIndexEntryBytes = sizeof(IndexEntry);

// An entry as the file holds it: its four fields little-endian, in their order.
inline IndexEntry LoadIndexEntry(const uint8_t* bytes) {
    return {LoadU32(bytes), LoadU32(bytes + 4), LoadU32(bytes + 8), LoadU32(bytes + 12)};
}

inline void StoreIndexEntry(uint8_t* bytes, const IndexEntry& entry) {
    StoreU32(bytes, entry.chunkId);
    StoreU32(bytes + 4, entry.flags);
    StoreU32(bytes + 8, entry.offset);
    StoreU32(bytes + 12, entry.size);
}

// Appends a copy of the entry with the adjustment added to its offset (modulo 2^32, as the file's
// offsets wrap). On failure the array is left as it was.
inline bool AppendIndexEntry(std::vector<IndexEntry>& entries, const IndexEntry& entry,
                             uint32_t adjustment) {
    try {
        IndexEntry copy = entry;
        copy.offset += adjustment;
        entries.push_back(copy);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace zedadu
