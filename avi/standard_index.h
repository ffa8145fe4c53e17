// The standard index ('ix00', 'ix01') of one stream's chunks in one movie list of an OpenDML file,
// as the writer writes it and repair rebuilds it: a header naming the stream's chunk id and the
// base the offsets count from (the movie list's type field), then an entry a chunk with the offset
// of its data and its size, bit 31 of the size set for a chunk that is no key frame.
#pragma once

#include <cstdint>
#include <vector>

#include "avi/ids.h"
#include "platform/win32/byte_order.h"

namespace zedadu::avi {

inline constexpr uint64_t kStandardIndexHeaderBytes = 32;  // the chunk header and the index's
inline constexpr uint64_t kStandardIndexEntryBytes = 8;

inline constexpr uint64_t StandardIndexBytes(uint64_t chunks) {
    return kStandardIndexHeaderBytes + kStandardIndexEntryBytes * chunks;
}

class StandardIndexAssembler {
  public:
    // An index of exactly `chunks` entries; entries not added stay zero.
    StandardIndexAssembler(int stream, FOURCC chunkId, uint64_t base, uint32_t chunks)
        : bytes_(size_t(StandardIndexBytes(chunks)), 0), base_(base) {
        constexpr uint32_t kTwoLongsAnEntry = 2;
        constexpr uint32_t kIndexOfChunks = 0x01;
        uint8_t* header = bytes_.data();
        StoreU32(header, StandardIndexId(stream));
        StoreU32(header + 4, uint32_t(bytes_.size() - 8));
        StoreU32(header + 8, kTwoLongsAnEntry | kIndexOfChunks << 24);
        StoreU32(header + 12, chunks);
        StoreU32(header + 16, chunkId);
        StoreU32(header + 20, uint32_t(base));
        StoreU32(header + 24, uint32_t(base >> 32));
    }

    // The next chunk, by the file position of its data; one more than the index holds is dropped.
    void add(uint64_t dataPosition, uint32_t size, bool keyFrame) {
        if (bytes_.size() - next_ < kStandardIndexEntryBytes) {
            return;
        }
        // Safe narrowing: a movie list's chunks lie within 4 GiB of its type field.
        StoreU32(bytes_.data() + next_, uint32_t(dataPosition - base_));
        StoreU32(bytes_.data() + next_ + 4, size | (keyFrame ? 0 : kStandardIndexNotKeyFrame));
        next_ += kStandardIndexEntryBytes;
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    uint64_t base_;
    size_t next_ = kStandardIndexHeaderBytes;
};

}  // namespace zedadu::avi
