// The OpenDML index: super indexes and the standard indexes they name. Every count and position
// the file states is checked against the bytes the file holds before it is used.
#include "reader/opendml_index.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "reader/file_bytes.h"

namespace zedadu::reader {
namespace {

constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
constexpr uint8_t kFieldIndex = 0x01;  // a subtype: two fields a frame, 12-byte entries
constexpr size_t kHeaderBytes = 24;
constexpr size_t kSuperEntryBytes = 16;
constexpr size_t kBlockBytes = 64 << 10;
constexpr uint64_t kBytesPerChunk = 16;  // an 8-byte entry and the 8-byte header it points at
constexpr size_t kEntriesChecked = 5;

struct IndexHeader {
    uint16_t longsPerEntry;
    uint8_t subType;
    uint8_t type;
    uint32_t entriesInUse;
    FOURCC chunkId;
    uint64_t base;  // of a standard index: what its offsets count from
};

// A standard index as the file holds it: its whole entries, their chunk id and base.
struct StandardIndex {
    uint64_t entries;  // the file position of the first entry
    uint32_t entryBytes;
    uint64_t count;
    FOURCC chunkId;
    uint64_t base;
};

// The bytes of a chunk's data that lie within the file.
uint64_t HeldBytes(uint64_t fileSize, uint64_t data, uint64_t size) {
    return data >= fileSize ? 0 : std::min(size, fileSize - data);
}

std::optional<IndexHeader> ReadHeader(HMMIO file, uint64_t fileSize, uint64_t data, uint64_t size) {
    uint8_t bytes[kHeaderBytes];
    if (HeldBytes(fileSize, data, size) < kHeaderBytes ||
        ReadAt(file, data, bytes, sizeof bytes) != sizeof bytes) {
        return std::nullopt;
    }
    return IndexHeader{LoadU16(bytes),     bytes[2],           bytes[3],
                       LoadU32(bytes + 4), LoadU32(bytes + 8), LoadU64(bytes + 12)};
}

std::optional<StandardIndex> InspectStandardIndex(HMMIO file, uint64_t fileSize, uint64_t data,
                                                  uint64_t size, int stream) {
    const auto header = ReadHeader(file, fileSize, data, size);
    if (!header || header->type != kIndexOfChunks ||
        (header->subType != 0 && header->subType != kFieldIndex) ||
        TwoDigitStream(header->chunkId) != stream) {
        return std::nullopt;
    }
    const uint32_t entryBytes = header->subType == kFieldIndex ? 12 : 8;
    if (uint32_t(header->longsPerEntry) * 4 != entryBytes) {
        return std::nullopt;
    }
    const uint64_t held = HeldBytes(fileSize, data, size) - kHeaderBytes;
    return StandardIndex{data + kHeaderBytes, entryBytes,
                         std::min<uint64_t>(header->entriesInUse, held / entryBytes),
                         header->chunkId, header->base};
}

// Calls visit for every standard index the super index names, in the super index's order, and
// answers whether every entry in use named one: an entry that points outside the file, at
// anything but a standard index of this stream, or at or before the end of the standard index
// named before it (so at itself, or twice at one) spoils the whole super index.
template <typename Visit>
bool ForEachStandardIndex(HMMIO file, uint64_t fileSize, const SuperIndexChunk& chunk,
                          const IndexHeader& header, int stream, Visit visit) {
    const uint64_t held = HeldBytes(fileSize, chunk.data, chunk.size) - kHeaderBytes;
    const uint64_t count = std::min<uint64_t>(header.entriesInUse, held / kSuperEntryBytes);
    // Safe narrowing: the entries lie within the file's bytes of this chunk.
    std::vector<uint8_t> entries(size_t(count * kSuperEntryBytes));
    if (ReadAt(file, chunk.data + kHeaderBytes, entries.data(), entries.size()) != entries.size()) {
        return false;
    }
    uint64_t nextFree = 0;
    for (size_t at = 0; at < entries.size(); at += kSuperEntryBytes) {
        const uint64_t position = LoadU64(entries.data() + at);
        uint8_t chunkHeader[8];
        if (position < nextFree || fileSize < 8 || position > fileSize - 8 ||
            ReadAt(file, position, chunkHeader, sizeof chunkHeader) != sizeof chunkHeader) {
            return false;
        }
        const uint32_t size = LoadU32(chunkHeader + 4);
        const auto index = InspectStandardIndex(file, fileSize, position + 8, size, stream);
        if (!index) {
            return false;
        }
        nextFree = position + 8 + size;
        visit(*index);
    }
    return true;
}

// Appends the entries of a standard index, read in blocks; false when one names a chunk that does
// not lie within the file or the index cannot be read whole.
bool AppendEntries(HMMIO file, uint64_t fileSize, const StandardIndex& index, ChunkList& chunks) {
    std::vector<uint8_t> block(kBlockBytes - kBlockBytes % index.entryBytes);
    for (uint64_t first = 0; first < index.count;) {
        const uint64_t wanted =
            std::min<uint64_t>(index.count - first, block.size() / index.entryBytes);
        const size_t bytes = size_t(wanted * index.entryBytes);
        if (ReadAt(file, index.entries + first * index.entryBytes, block.data(), bytes) != bytes) {
            return false;
        }
        for (size_t at = 0; at < bytes; at += index.entryBytes) {
            const uint64_t offset = LoadU32(block.data() + at);
            const uint32_t sizeWord = LoadU32(block.data() + at + 4);
            const uint32_t size = sizeWord & ~avi::kStandardIndexNotKeyFrame;
            // Compared by subtraction, so that no base, offset and size can wrap.
            if (index.base > fileSize || offset > fileSize - index.base ||
                size > fileSize - index.base - offset) {
                return false;
            }
            chunks.append(index.chunkId,
                          sizeWord & avi::kStandardIndexNotKeyFrame ? 0 : kIndexKeyFrame,
                          index.base + offset, size);
        }
        first += wanted;
    }
    return true;
}

bool LoadStandardIndexes(HMMIO file, uint64_t fileSize, const SuperIndexChunk& superIndex,
                         int stream, ChunkList& chunks) {
    const uint64_t most = std::min<uint64_t>(fileSize / kBytesPerChunk, UINT32_MAX);
    if (const auto index =
            InspectStandardIndex(file, fileSize, superIndex.data, superIndex.size, stream)) {
        if (index->count > most) {
            return false;
        }
        chunks.reserve(size_t(index->count));
        return AppendEntries(file, fileSize, *index, chunks);
    }
    const auto header = ReadHeader(file, fileSize, superIndex.data, superIndex.size);
    if (!header || header->type != kIndexOfIndexes || header->longsPerEntry != 4) {
        return false;
    }
    uint64_t total = 0;
    if (!ForEachStandardIndex(file, fileSize, superIndex, *header, stream,
                              [&](const StandardIndex& index) { total += index.count; }) ||
        total > most) {
        return false;
    }
    chunks.reserve(size_t(total));
    bool whole = true;
    ForEachStandardIndex(file, fileSize, superIndex, *header, stream,
                         [&](const StandardIndex& index) {
                             whole = whole && AppendEntries(file, fileSize, index, chunks);
                         });
    return whole;
}

}  // namespace

bool LoadOpenDmlIndex(HMMIO file, uint64_t fileSize, const SuperIndexChunk& superIndex, int stream,
                      ChunkList& chunks) {
    chunks = {};
    if (!LoadStandardIndexes(file, fileSize, superIndex, stream, chunks)) {
        chunks = {};
        return false;
    }
    return true;
}

bool FileConfirms(HMMIO file, const ChunkList& chunks, int stream) {
    if (chunks.size() == 0) {
        return false;
    }
    const size_t last = chunks.size() - 1;
    for (size_t k = 0; k < kEntriesChecked; ++k) {
        const ChunkPlace place = PlaceOf(chunks, last * k / (kEntriesChecked - 1));
        uint8_t header[8];
        if (place.position < 8 ||
            ReadAt(file, uint64_t(place.position) - 8, header, sizeof header) != sizeof header ||
            TwoDigitStream(LoadU32(header)) != stream || LoadU32(header + 4) != place.size) {
            return false;
        }
    }
    return true;
}

}  // namespace zedadu::reader
