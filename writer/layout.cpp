// The building blocks of the movie list: records, fillers, audio slots and index entries.
#include <algorithm>
#include <cstring>
#include <new>

#include "avi/ids.h"
#include "platform/win32/byte_order.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

// A movie list's LIST header and its first record's: the first chunk lies this far behind the list.
constexpr uint32_t kFirstChunkPast = 24;
constexpr uint32_t kUnpaddedMovieList = 500;

// The header room ends on a multiple of the granule: the padding, 512 at least.
uint32_t Granule(uint32_t padding) {
    return std::max(padding, kSmallestPaddedRoom);
}

}  // namespace

bool RecordAssembler::room(size_t count) {
    if (overflowed_ || count > capacity_ - size_) {
        overflowed_ = true;
        return false;
    }
    return true;
}

void RecordAssembler::u32(uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value);
    this->bytes(bytes, sizeof bytes);
}

void RecordAssembler::bytes(const void* data, size_t count) {
    if (count > 0 && room(count)) {
        memcpy(buffer_ + size_, data, count);
        size_ += count;
    }
}

void RecordAssembler::zeros(size_t count) {
    if (room(count)) {
        memset(buffer_ + size_, 0, count);
        size_ += count;
    }
}

void RecordAssembler::patch32(size_t at, uint32_t value) {
    if (!overflowed_ && at + 4 <= size_) {
        StoreU32(buffer_ + at, value);
    }
}

bool HeldStateSize(const ImageFormatStruct& video, uint32_t& stateSize) {
    if (!video.settingsBlock || video.settingsBlockSize < kCompressionSettingsHeaderSize) {
        return false;
    }
    stateSize = static_cast<const CompressionSettings*>(video.settingsBlock)->stateSize;
    return stateSize <= video.settingsBlockSize - kCompressionSettingsHeaderSize;
}

uint32_t KeptPadding(uint32_t asked) {
    if (asked < kChunkHeaderBytes) {
        return 0;
    }
    return asked > kSmallestPaddedRoom ? asked & ~1u : asked;
}

RecordLayout LegacyLayout(uint32_t padding) {
    return {padding, padding ? Granule(padding) - kFirstChunkPast : kUnpaddedMovieList};
}

RecordLayout OpenDmlLayout(uint32_t padding, uint64_t headerListBytes) {
    const uint32_t granule = Granule(padding);
    // The movie list's LIST header, and the first record's with padding, lie before the first
    // chunk, which starts on a granule.
    const uint64_t before = padding ? kFirstChunkPast : kListHeaderBytes;
    const uint64_t needed = kListHeaderBytes + headerListBytes + before;
    // Safe narrowing: the header list of the largest formats takes well under a megabyte.
    const auto movieListAt =
        static_cast<uint32_t>((needed + granule - 1) / granule * granule - before);
    return {padding, movieListAt};
}

uint32_t FillerBytes(uint64_t length, uint32_t padding) {
    const uint64_t gap = (length / padding + 1) * padding - length;
    return static_cast<uint32_t>(gap >= kChunkHeaderBytes ? gap : gap + padding);
}

void AppendJunk(RecordAssembler& out, uint32_t totalBytes) {
    out.u32(kJunk);
    out.u32(totalBytes - kChunkHeaderBytes);
    out.zeros(totalBytes - kChunkHeaderBytes);
}

void RecordLayout::beginRecord(RecordAssembler& record) const {
    if (!padded()) {
        return;
    }
    record.u32(kListChunk);
    record.u32(0);  // set by finishRecord
    record.u32(kRecordList);
}

uint32_t RecordLayout::finishRecord(RecordAssembler& record) const {
    if (!padded()) {
        return 0;
    }
    AppendJunk(record, FillerBytes(record.size(), padding));
    const uint32_t listSize = static_cast<uint32_t>(record.size() - kChunkHeaderBytes);
    record.patch32(4, listSize);
    return listSize;
}

uint32_t RecordLayout::fillerToFirstChunk(uint64_t position) const {
    const uint64_t firstChunk = (uint64_t(movieListAt) + kFirstChunkPast) % padding;
    return FillerBytes(position % padding + padding - firstChunk, padding);
}

bool FinishedFileFits(const WritingFile& writing, uint64_t movieEnd, size_t extraEntries) {
    const uint64_t entries =
        uint64_t(writing.videoIndex.size()) + writing.audioIndex.size() + extraEntries;
    return movieEnd <= kLargestFileSize - kChunkHeaderBytes &&
           entries <= (kLargestFileSize - movieEnd - kChunkHeaderBytes) / kIndexEntryBytes;
}

void RecordAudioSlot(WritingFile& writing, uint64_t position) {
    writing.audioSlotPositions[writing.audioSlotReserve] = position;
    writing.audioSlotReserve = (writing.audioSlotReserve + 1) % kAudioSlotRingSize;
}

bool ReserveIndexEntries(std::vector<IndexEntry>& entries, size_t more) {
    try {
        if (entries.capacity() - entries.size() < more) {
            entries.reserve(std::max(entries.size() + more, entries.capacity() * 2));
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void AppendMovieEntry(WritingFile& writing, std::vector<IndexEntry>& entries, FOURCC chunkId,
                      uint32_t flags, uint64_t position, uint32_t size) {
    const uint64_t base = writing.openDml ? PartHolding(writing, position).movieData()
                                          : writing.movieList.dwDataOffset;
    // Safe narrowing: a part, and a file in the legacy form, is smaller than 4 GiB.
    AppendIndexEntry(entries,
                     IndexEntry{chunkId, flags, static_cast<uint32_t>(position - base), size}, 0);
}

}  // namespace zedadu::writer
