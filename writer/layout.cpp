// The building blocks of the movie list: records, fillers, audio slots and index entries.
#include <algorithm>
#include <cstring>
#include <new>

#include "avi/ids.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kUnpaddedMovieList = 500;
constexpr uint32_t kIndexChunkHeaderBytes = 8;
constexpr uint32_t kIndexEntryBytes = 16;

}  // namespace

bool RecordAssembler::room(size_t count) {
    if (overflowed_ || count > capacity_ - size_) {
        overflowed_ = true;
        return false;
    }
    return true;
}

void RecordAssembler::u32(uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
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
        for (int i = 0; i < 4; ++i) {
            buffer_[at + i] = uint8_t(value >> (8 * i));
        }
    }
}

bool HeldStateSize(const ImageFormatStruct& video, uint32_t& stateSize) {
    if (!video.settingsBlock || video.settingsBlockSize < kCompressionSettingsHeaderSize) {
        return false;
    }
    stateSize = static_cast<const CompressionSettings*>(video.settingsBlock)->stateSize;
    return stateSize <= video.settingsBlockSize - kCompressionSettingsHeaderSize;
}

uint32_t MovieListPosition(uint32_t paddingSize) {
    if (paddingSize == 0) {
        return kUnpaddedMovieList;
    }
    return std::max(paddingSize, kSmallestPaddedRoom) - 24;
}

uint32_t MovieListPosition(const WritingFile& writing) {
    return writing.openDml ? OpenDmlMovieListPosition(writing)
                           : MovieListPosition(Settings(writing).paddingSize);
}

uint32_t FillerBytes(uint64_t recordLength, uint32_t paddingSize) {
    const uint64_t gap = (recordLength / paddingSize + 1) * paddingSize - recordLength;
    // A gap too small for a chunk header is carried over to the next multiple.
    return static_cast<uint32_t>(gap >= kChunkHeaderBytes ? gap : gap + paddingSize);
}

void BeginRecord(RecordAssembler& record, uint32_t paddingSize) {
    if (paddingSize == 0) {
        return;
    }
    record.u32(kListChunk);
    record.u32(0);  // set by FinishRecord
    record.u32(kRecordList);
}

uint32_t FinishRecord(RecordAssembler& record, uint32_t paddingSize) {
    if (paddingSize == 0) {
        return 0;
    }
    AppendJunk(record, FillerBytes(record.size(), paddingSize));
    const uint32_t listSize = static_cast<uint32_t>(record.size() - kChunkHeaderBytes);
    record.patch32(4, listSize);
    return listSize;
}

void AppendJunk(RecordAssembler& record, uint32_t totalBytes) {
    record.u32(kJunk);
    record.u32(totalBytes - kChunkHeaderBytes);
    record.zeros(totalBytes - kChunkHeaderBytes);
}

bool FinishedFileFits(const WritingFile& writing, uint64_t movieEnd, size_t extraEntries) {
    const uint64_t entries =
        uint64_t(writing.videoIndex.size()) + writing.audioIndex.size() + extraEntries;
    return movieEnd <= kLargestFileSize - kIndexChunkHeaderBytes &&
           entries <= (kLargestFileSize - movieEnd - kIndexChunkHeaderBytes) / kIndexEntryBytes;
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
