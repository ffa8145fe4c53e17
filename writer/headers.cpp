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
bool WriteMergedEntries(const AviFileHandle& handle) {
    const std::vector<IndexEntry>& video = handle.videoIndex;
    const std::vector<IndexEntry>& audio = handle.audioIndex;
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
        if (!Write(handle.mmioFile, out.data(), out.size())) {
            return false;
        }
    }
    return true;
}

uint32_t MaxBytesPerSecond(const AviFileHandle& handle) {
    const CompressionSettings& settings = Settings(handle);
    if (settings.dataRate > 0) {
        return settings.dataRate * 1024;
    }
    const int64_t framesPerSecond =
        handle.videoFormat.scale ? int64_t(handle.videoFormat.rate) / handle.videoFormat.scale : 0;
    return static_cast<uint32_t>(
        (int64_t(handle.sourceBitmapInfo.header.biSizeImage) + handle.maxAudioChunk) *
        framesPerSecond);
}

void MainHeader(const AviFileHandle& handle, RecordAssembler& out) {
    const CompressionSettings& settings = Settings(handle);
    const BITMAPINFOHEADER& format = handle.sourceBitmapInfo.header;
    const double microseconds =
        handle.videoFormat.rate ? double(handle.videoFormat.scale) / handle.videoFormat.rate * 1e6
                                : 0;
    out.u32(static_cast<uint32_t>(std::min(microseconds, double(kExhausted))));
    out.u32(MaxBytesPerSecond(handle));
    out.u32(settings.paddingSize);
    out.u32(settings.paddingSize ? kHasIndex | kIsInterleaved : kHasIndex);
    out.u32(handle.frameCount);
    out.u32(handle.initialFrames);
    out.u32(HasAudio(handle) && HasVideo(handle) ? 2 : 1);
    out.u32(settings.paddingSize + uint32_t(handle.maxVideoChunk) + uint32_t(handle.maxAudioChunk) +
            32);
    out.u32(uint32_t(format.biWidth));
    out.u32(uint32_t(format.biHeight));
    out.zeros(16);
}

void VideoStreamHeader(const AviFileHandle& handle, RecordAssembler& out) {
    const CompressionSettings& settings = Settings(handle);
    const BITMAPINFOHEADER& format = handle.sourceBitmapInfo.header;
    out.u32(kVideoStream);
    out.u32(settings.fccHandler);
    out.u32(0);  // flags
    out.u32(1);  // priority 1, language 0
    out.u32(0);  // initial frames
    out.u32(handle.videoFormat.scale);
    out.u32(handle.videoFormat.rate);
    out.u32(0);  // start
    out.u32(handle.frameCount);
    out.u32(uint32_t(handle.maxVideoChunk) + 32);
    out.u32(settings.quality);
    out.u32(0);  // sample size
    out.u32(0);  // frame left, top
    out.u32(0);
    out.u32(uint32_t(format.biWidth));
    out.u32(uint32_t(format.biHeight));
}

void AudioStreamHeader(const AviFileHandle& handle, RecordAssembler& out) {
    out.u32(kAudioStream);
    out.u32(0);  // handler
    out.u32(0);  // flags
    out.u32(0);  // priority, language
    out.u32(handle.initialFrames);
    out.u32(1);
    out.u32(handle.waveFormat.nSamplesPerSec);
    out.u32(0);  // start
    out.u32(handle.audioLength);
    out.u32(uint32_t(handle.maxAudioChunk));
    out.u32(kAudioQuality);
    out.u32(0);  // sample size
    out.zeros(16);
}

// The compressed format with its extra bytes and colour table (bounded at stream start).
size_t VideoFormatBytes(const AviFileHandle& handle) {
    const BITMAPINFOHEADER& format = handle.sourceBitmapInfo.header;
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
bool WriteHeaderJunk(const AviFileHandle& handle) {
    HMMIO file = handle.mmioFile;
    const int64_t movieList = MovieListPosition(Settings(handle).paddingSize);
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

uint64_t HeaderListBytes(const AviFileHandle& handle) {
    const uint64_t list = 12, chunk = 8;
    uint64_t bytes = list + chunk + kMainHeaderBytes;
    if (HasVideo(handle)) {
        const uint64_t format = uint64_t(handle.sourceBitmapInfo.header.biSize) +
                                4 * uint64_t(handle.sourceBitmapInfo.header.biClrUsed);
        bytes += list + chunk + kStreamHeaderBytes + chunk + format + (format & 1);
    }
    if (HasAudio(handle)) {
        bytes += list + chunk + kStreamHeaderBytes + chunk + sizeof(PCMWAVEFORMAT);
    }
    return bytes + chunk;  // the JUNK header that fills the rest of the room
}

bool WriteIndexChunk(AviFileHandle& handle) {
    MMCKINFO index{};
    index.ckid = kLegacyIndex;
    if (mmioCreateChunk(handle.mmioFile, &index, 0) != MMSYSERR_NOERROR ||
        !WriteMergedEntries(handle)) {
        return false;
    }
    return mmioAscend(handle.mmioFile, &index, 0) == MMSYSERR_NOERROR;
}

bool WriteHeaderList(AviFileHandle& handle) {
    HMMIO file = handle.mmioFile;
    MMCKINFO headers{};
    headers.fccType = kHeaderList;
    uint8_t bytes[kStreamHeaderBytes];
    RecordAssembler main(bytes, kMainHeaderBytes);
    MainHeader(handle, main);
    if (mmioCreateChunk(file, &headers, MMIO_CREATELIST) != MMSYSERR_NOERROR ||
        !WriteChunk(file, kMainHeader, main.data(), main.size())) {
        return false;
    }
    if (HasVideo(handle)) {
        CompressionSettings& settings = Settings(handle);
        CharUpperBuffA(reinterpret_cast<char*>(&settings.fccHandler), sizeof settings.fccHandler);
        RecordAssembler stream(bytes, sizeof bytes);
        VideoStreamHeader(handle, stream);
        if (!WriteStreamList(file, stream.data(), &handle.sourceBitmapInfo,
                             VideoFormatBytes(handle))) {
            return false;
        }
    }
    if (HasAudio(handle)) {
        RecordAssembler stream(bytes, sizeof bytes);
        AudioStreamHeader(handle, stream);
        if (!WriteStreamList(file, stream.data(), &handle.waveFormat, sizeof handle.waveFormat)) {
            return false;
        }
    }
    if (!WriteHeaderJunk(handle)) {
        return false;
    }
    mmioAscend(file, &headers, 0);
    return true;
}

}  // namespace zedadu::writer
