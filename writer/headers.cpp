// The two pieces of an output file that are known only at the end: the "idx1" index behind the
// movie list and the header list in the room before it.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/avi_ids.h"
#include "platform/system/system.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kIsInterleaved = 0x100;
constexpr uint32_t kAudioQuality = 1000;
constexpr size_t kIndexEntryBytes = 16;
constexpr size_t kIndexEntriesPerWrite = 4096;
constexpr uint32_t kExhausted = 0xFFFFFFFF;

bool Write(HMMIO file, const void* data, size_t size) {
    return mmioWrite(file, static_cast<const char*>(data), LONG(size)) == LONG(size);
}

void PutEntry(RecordAssembler& out, const IndexEntry& entry) {
    out.u32(entry.chunkId);
    out.u32(entry.flags);
    out.u32(entry.offset);
    out.u32(entry.size);
}

// Both lists are in file order; the merge takes the video entry when offsets are equal.
bool WriteMergedEntries(const WritingFile& writing) {
    const std::vector<IndexEntry>& video = writing.videoIndex;
    const std::vector<IndexEntry>& audio = writing.audioIndex;
    uint8_t batch[kIndexEntriesPerWrite * kIndexEntryBytes];
    size_t v = 0, a = 0;
    while (v < video.size() || a < audio.size()) {
        RecordAssembler out(batch, sizeof batch);
        for (size_t n = 0; n < kIndexEntriesPerWrite && (v < video.size() || a < audio.size());
             ++n) {
            const uint32_t videoOffset = v < video.size() ? video[v].offset : kExhausted;
            const uint32_t audioOffset = a < audio.size() ? audio[a].offset : kExhausted;
            const bool takeVideo = v < video.size() && audioOffset >= videoOffset;
            PutEntry(out, takeVideo ? video[v++] : audio[a++]);
        }
        if (!Write(writing.file.get(), out.data(), out.size())) {
            return false;
        }
    }
    return true;
}

uint32_t MaxBytesPerSecond(const WritingFile& writing) {
    const CompressionSettings& settings = Settings(writing);
    if (settings.dataRate > 0) {
        return settings.dataRate * 1024;
    }
    const int64_t framesPerSecond =
        writing.videoFormat.scale ? int64_t(writing.videoFormat.rate) / writing.videoFormat.scale
                                  : 0;
    return static_cast<uint32_t>(
        (int64_t(writing.compressedFormat.header.biSizeImage) + writing.audioSlotBytes) *
        framesPerSecond);
}

void MainHeader(const WritingFile& writing, RecordAssembler& out) {
    const CompressionSettings& settings = Settings(writing);
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    const double microseconds = writing.videoFormat.rate ? double(writing.videoFormat.scale) /
                                                               writing.videoFormat.rate * 1e6
                                                         : 0;
    out.u32(static_cast<uint32_t>(std::min(microseconds, double(kExhausted))));
    out.u32(MaxBytesPerSecond(writing));
    out.u32(settings.paddingSize);
    out.u32(settings.paddingSize ? kHasIndex | kIsInterleaved : kHasIndex);
    out.u32(writing.frameCount);
    out.u32(writing.initialFrames);
    out.u32(HasAudio(writing) && HasVideo(writing) ? 2 : 1);
    out.u32(settings.paddingSize + uint32_t(writing.maxVideoChunk) +
            uint32_t(writing.audioSlotBytes) + 32);
    out.u32(uint32_t(format.biWidth));
    out.u32(uint32_t(format.biHeight));
    out.zeros(16);
}

void VideoStreamHeader(const WritingFile& writing, RecordAssembler& out) {
    const CompressionSettings& settings = Settings(writing);
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    out.u32(kVideoStream);
    out.u32(settings.fccHandler);
    out.u32(0);  // flags
    out.u32(1);  // priority 1, language 0
    out.u32(0);  // initial frames
    out.u32(writing.videoFormat.scale);
    out.u32(writing.videoFormat.rate);
    out.u32(0);  // start
    out.u32(writing.frameCount);
    out.u32(uint32_t(writing.maxVideoChunk) + 32);
    out.u32(settings.quality);
    out.u32(0);  // sample size
    out.u32(0);  // frame left, top
    out.u32(0);
    out.u32(uint32_t(format.biWidth));
    out.u32(uint32_t(format.biHeight));
}

void AudioStreamHeader(const WritingFile& writing, RecordAssembler& out) {
    out.u32(kAudioStream);
    out.u32(0);  // handler
    out.u32(0);  // flags
    out.u32(0);  // priority, language
    out.u32(writing.initialFrames);
    out.u32(1);
    out.u32(writing.waveFormat.nSamplesPerSec);
    out.u32(0);  // start
    out.u32(writing.audioLength);
    out.u32(uint32_t(writing.audioSlotBytes));
    out.u32(kAudioQuality);
    out.u32(0);  // sample size
    out.zeros(16);
}

// The compressed format with its extra bytes and colour table (bounded at stream start).
size_t VideoFormatBytes(const WritingFile& writing) {
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    return std::min<uint64_t>(uint64_t(format.biSize) + 4 * uint64_t(format.biClrUsed),
                              sizeof(BitmapInfo));
}

bool WriteChunk(HMMIO file, FOURCC id, const void* data, size_t size) {
    MMCKINFO chunk{};
    chunk.ckid = id;
    if (mmioCreateChunk(file, &chunk, 0) != MMSYSERR_NOERROR || !Write(file, data, size)) {
        return false;
    }
    mmioAscend(file, &chunk, 0);
    return true;
}

bool WriteStreamList(HMMIO file, const uint8_t* header, const void* format, size_t formatBytes) {
    MMCKINFO list{};
    list.fccType = kStreamList;
    if (mmioCreateChunk(file, &list, MMIO_CREATELIST) != MMSYSERR_NOERROR ||
        !WriteChunk(file, kStreamHeader, header, kStreamHeaderBytes) ||
        !WriteChunk(file, kStreamFormat, format, formatBytes)) {
        return false;
    }
    mmioAscend(file, &list, 0);
    return true;
}

// A JUNK chunk whose body reaches up to the movie list; its bytes were never written and read as
// zero.
bool WriteHeaderJunk(const WritingFile& writing) {
    HMMIO file = writing.file.get();
    const int64_t movieList = MovieListPosition(Settings(writing).paddingSize);
    MMCKINFO junk{};
    junk.ckid = kJunk;
    if (mmioCreateChunk(file, &junk, 0) != MMSYSERR_NOERROR) {
        return false;
    }
    const int64_t at = mmioSeek(file, 0, SEEK_CUR);
    if (at < 0 || at > movieList || mmioSeek(file, movieList - at, SEEK_CUR) != movieList) {
        return false;
    }
    return mmioAscend(file, &junk, 0) == MMSYSERR_NOERROR;
}

}  // namespace

uint64_t HeaderListBytes(const WritingFile& writing) {
    const uint64_t list = 12, chunk = 8;
    uint64_t bytes = list + chunk + kMainHeaderBytes;
    if (HasVideo(writing)) {
        const uint64_t format = uint64_t(writing.compressedFormat.header.biSize) +
                                4 * uint64_t(writing.compressedFormat.header.biClrUsed);
        bytes += list + chunk + kStreamHeaderBytes + chunk + format + (format & 1);
    }
    if (HasAudio(writing)) {
        bytes += list + chunk + kStreamHeaderBytes + chunk + sizeof(PCMWAVEFORMAT);
    }
    return bytes + chunk;  // the JUNK header that fills the rest of the room
}

bool WriteIndexChunk(WritingFile& writing) {
    MMCKINFO index{};
    index.ckid = kLegacyIndex;
    if (mmioCreateChunk(writing.file.get(), &index, 0) != MMSYSERR_NOERROR ||
        !WriteMergedEntries(writing)) {
        return false;
    }
    return mmioAscend(writing.file.get(), &index, 0) == MMSYSERR_NOERROR;
}

bool WriteHeaderList(WritingFile& writing) {
    HMMIO file = writing.file.get();
    MMCKINFO headers{};
    headers.fccType = kHeaderList;
    uint8_t bytes[kStreamHeaderBytes];
    RecordAssembler main(bytes, kMainHeaderBytes);
    MainHeader(writing, main);
    if (mmioCreateChunk(file, &headers, MMIO_CREATELIST) != MMSYSERR_NOERROR ||
        !WriteChunk(file, kMainHeader, main.data(), main.size())) {
        return false;
    }
    if (HasVideo(writing)) {
        CompressionSettings& settings = Settings(writing);
        CharUpperBuffA(reinterpret_cast<char*>(&settings.fccHandler), sizeof settings.fccHandler);
        RecordAssembler stream(bytes, sizeof bytes);
        VideoStreamHeader(writing, stream);
        if (!WriteStreamList(file, stream.data(), &writing.compressedFormat,
                             VideoFormatBytes(writing))) {
            return false;
        }
    }
    if (HasAudio(writing)) {
        RecordAssembler stream(bytes, sizeof bytes);
        AudioStreamHeader(writing, stream);
        if (!WriteStreamList(file, stream.data(), &writing.waveFormat, sizeof writing.waveFormat)) {
            return false;
        }
    }
    if (!WriteHeaderJunk(writing)) {
        return false;
    }
    mmioAscend(file, &headers, 0);
    return true;
}

}  // namespace zedadu::writer
