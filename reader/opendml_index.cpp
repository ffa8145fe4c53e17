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
constexpr uint32_t kNotKeyFrame = 0x80000000;
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

// Calls visit for every standard index the super index names, in the super index's order: an
// entry that points outside the file, at anything but a standard index of this stream, or at or
// before the end of the standard index named before it names none, so that no entry is read
// twice and the super index cannot name itself.
template <typename Visit>
void ForEachStandardIndex(HMMIO file, uint64_t fileSize, const SuperIndexChunk& chunk,
                          const IndexHeader& header, int stream, Visit visit) {
    const uint64_t held = HeldBytes(fileSize, chunk.data, chunk.size) - kHeaderBytes;
    const uint64_t count = std::min<uint64_t>(header.entriesInUse, held / kSuperEntryBytes);
    // Safe narrowing: the entries lie within the file's bytes of this chunk.
    std::vector<uint8_t> entries(size_t(count * kSuperEntryBytes));
    const size_t got = ReadAt(file, chunk.data + kHeaderBytes, entries.data(), entries.size());
    uint64_t nextFree = 0;
    for (size_t at = 0; at + kSuperEntryBytes <= got; at += kSuperEntryBytes) {
        const uint64_t position = LoadU64(entries.data() + at);
        uint8_t chunkHeader[8];
        if (position < nextFree || fileSize < 8 || position > fileSize - 8 ||
            ReadAt(file, position, chunkHeader, sizeof chunkHeader) != sizeof chunkHeader) {
            continue;
        }
        const uint32_t size = LoadU32(chunkHeader + 4);
        if (const auto index = InspectStandardIndex(file, fileSize, position + 8, size, stream)) {
            nextFree = position + 8 + size;
            visit(*index);
        }
    }
}

// Appends up to room entries of a standard index, read in blocks.
void AppendEntries(HMMIO file, uint64_t fileSize, const StandardIndex& index, uint64_t room,
                   ChunkList& chunks) {
    std::vector<uint8_t> block(kBlockBytes - kBlockBytes % index.entryBytes);
    const uint64_t count = std::min(index.count, room);
    for (uint64_t first = 0; first < count;) {
        const uint64_t wanted = std::min<uint64_t>(count - first, block.size() / index.entryBytes);
        const size_t got = ReadAt(file, index.entries + first * index.entryBytes, block.data(),
                                  size_t(wanted * index.entryBytes));
        const size_t whole = got / index.entryBytes;
        for (size_t i = 0; i < whole; ++i) {
            const uint8_t* entry = block.data() + i * index.entryBytes;
            const uint64_t offset = LoadU32(entry);
            const uint32_t sizeWord = LoadU32(entry + 4);
            // Compared by subtraction, so that no base and offset can wrap: a position past the
            // file reads nothing.
            const bool inside = index.base <= fileSize && offset <= fileSize - index.base;
            chunks.append(index.chunkId, sizeWord & kNotKeyFrame ? 0 : kIndexKeyFrame,
                          inside ? index.base + offset : fileSize, sizeWord & ~kNotKeyFrame);
        }
        if (whole < wanted) {
            return;
        }
        first += wanted;
    }
}

}  // namespace

bool LoadOpenDmlIndex(HMMIO file, uint64_t fileSize, const SuperIndexChunk& superIndex, int stream,
                      ChunkList& chunks) {
    chunks = {};
    const uint64_t most = std::min<uint64_t>(fileSize / kBytesPerChunk, UINT32_MAX);
    if (const auto index =
            InspectStandardIndex(file, fileSize, superIndex.data, superIndex.size, stream)) {
        chunks.reserve(size_t(std::min(index->count, most)));
        AppendEntries(file, fileSize, *index, most, chunks);
        return true;
    }
    const auto header = ReadHeader(file, fileSize, superIndex.data, superIndex.size);
    if (!header || header->type != kIndexOfIndexes || header->longsPerEntry != 4) {
        return false;
    }
    uint64_t total = 0;
    ForEachStandardIndex(file, fileSize, superIndex, *header, stream,
                         [&](const StandardIndex& index) { total += index.count; });
    total = std::min(total, most);
    chunks.reserve(size_t(total));
    ForEachStandardIndex(file, fileSize, superIndex, *header, stream,
                         [&](const StandardIndex& index) {
                             AppendEntries(file, fileSize, index, total - chunks.size(), chunks);
                         });
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
