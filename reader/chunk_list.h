// The chunks of one stream as the reader indexes them, and the one lookup through which the frame
// and audio readers find a chunk's data, whichever index the file was read by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/index_entry.h"

namespace zedadu::reader {

// Video chunks this small hold no picture: the frame before them stands (a dropped frame).
inline constexpr uint32_t kDroppedFrameBytes = 2;

// Where a chunk's data lies in the file, and how many bytes it holds.
struct ChunkPlace {
    int64_t position;
    uint32_t size;
};

// Entries keep the 16 bytes of a legacy index entry, their offset holding the low 32 bits of the
// data's file position. The high 32 bits live in a second array, which exists only once some
// position lies beyond 4 GiB: files below 4 GiB cost what a legacy index costs.
struct ChunkList {
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> positionHigh;  // empty, or one word for every entry

    size_t size() const { return entries.size(); }
    void reserve(size_t count) { entries.reserve(count); }
    void append(FOURCC id, uint32_t flags, uint64_t position, uint32_t size) {
        const auto high = uint32_t(position >> 32);
        if (high != 0 && positionHigh.empty()) {
            positionHigh.reserve(entries.capacity());
            positionHigh.resize(entries.size(), 0);
        }
        if (!positionHigh.empty()) {
            positionHigh.push_back(high);
        }
        entries.push_back({id, flags, uint32_t(position), size});
    }
};

// The place of entry i of an index whose high position words are `high` (empty: all zero).
inline ChunkPlace PlaceOf(const std::vector<IndexEntry>& entries, const std::vector<uint32_t>& high,
                          size_t i) {
    const uint64_t upper = high.empty() ? 0 : uint64_t(high[i]) << 32;
    return {int64_t(upper | entries[i].offset), entries[i].size};
}

inline ChunkPlace PlaceOf(const ChunkList& chunks, size_t i) {
    return PlaceOf(chunks.entries, chunks.positionHigh, i);
}

}  // namespace zedadu::reader
