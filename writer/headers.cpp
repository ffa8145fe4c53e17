// The header list in the room before the movie list: written when the stream starts (with the
// counts known then), refreshed while the recording goes on, and written with the final counts
// at close. And the "idx1" index behind the movie list, written at close.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "avi/ids.h"
#include "platform/system/system.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint32_t kExhausted = 0xFFFFFFFF;

bool Write(HMMIO file, const void* data, size_t size) {
    return mmioWrite(file, static_cast<const char*>(data), LONG(size)) == LONG(size);
}

void PutEntry(RecordAssembler& out, const IndexEntry& entry) {
    uint8_t bytes[kIndexEntryBytes];
    StoreIndexEntry(bytes, entry);
    out.bytes(bytes, sizeof bytes);
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

// In the OpenDML form the main header counts the frames of the first RIFF part only.
uint32_t FramesOfFirstPart(const WritingFile& writing) {
    return writing.openDml && !writing.parts.empty() ? writing.parts.front().frames
                                                     : writing.frameCount;
}

void MainHeader(const WritingFile& writing, RecordAssembler& out) {
    const uint32_t padding = writing.layout.padding;
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    const double microseconds = writing.videoFormat.rate ? double(writing.videoFormat.scale) /
                                                               writing.videoFormat.rate * 1e6
                                                         : 0;
    out.u32(static_cast<uint32_t>(std::min(microseconds, double(kExhausted))));
    out.u32(MaxBytesPerSecond(writing));
    out.u32(padding);
    out.u32(padding ? kMainHeaderHasIndex | kMainHeaderInterleaved : kMainHeaderHasIndex);
    out.u32(FramesOfFirstPart(writing));
    out.u32(writing.initialFrames);
    out.u32(HasAudio(writing) && HasVideo(writing) ? 2 : 1);
    out.u32(padding + uint32_t(writing.maxVideoChunk) + uint32_t(writing.audioSlotBytes) + 32);
    out.u32(uint32_t(format.biWidth));
    out.u32(uint32_t(format.biHeight));
    out.zeros(16);
}

void VideoStreamHeader(const WritingFile& writing, FOURCC handler, RecordAssembler& out) {
    const CompressionSettings& settings = Settings(writing);
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    out.u32(kVideoStream);
    out.u32(handler);
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
    constexpr uint32_t kAudioQuality = 1000;
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

void AppendChunk(RecordAssembler& out, FOURCC id, const void* data, size_t size) {
    out.u32(id);
    out.u32(static_cast<uint32_t>(size));
    out.bytes(data, size);
    if (size & 1) {
        out.zeros(1);
    }
}

// A stream list: its header, its format and, in the OpenDML form, its super index.
void AppendStreamList(const WritingFile& writing, RecordAssembler& out, const uint8_t* header,
                      const void* format, size_t formatBytes, int stream, bool indexed) {
    const size_t start = out.size();
    out.u32(kListChunk);
    out.u32(0);
    out.u32(kStreamList);
    AppendChunk(out, kStreamHeader, header, kStreamHeaderBytes);
    AppendChunk(out, kStreamFormat, format, formatBytes);
    if (writing.openDml) {
        AppendSuperIndex(writing, out, stream, indexed);
    }
    out.patch32(start + 4, static_cast<uint32_t>(out.size() - start - kChunkHeaderBytes));
}

// Writes the bytes at a position page by page from the last to the first: a write cut short
// leaves new bytes behind old ones, never a count that names entries not yet written. Pages equal
// to those of `written` (what is known to be there) are skipped: while recording only the counts
// change, a few pages of the OpenDML form's header list of 130 kB.
bool WriteBackToFront(HMMIO file, int64_t position, const std::vector<uint8_t>& bytes,
                      const std::vector<uint8_t>& written) {
    constexpr size_t kPageBytes = 4096;
    size_t end = bytes.size();
    while (end > 0) {
        const uint64_t page = (uint64_t(position) + end - 1) / kPageBytes * kPageBytes;
        const size_t begin = page > uint64_t(position) ? size_t(page - uint64_t(position)) : 0;
        const bool unchanged =
            written.size() >= end &&
            memcmp(written.data() + begin, bytes.data() + begin, end - begin) == 0;
        if (!unchanged &&
            (mmioSeek(file, position + int64_t(begin), SEEK_SET) != position + int64_t(begin) ||
             !Write(file, bytes.data() + begin, end - begin))) {
            return false;
        }
        end = begin;
    }
    return true;
}

}  // namespace

void RefreshHeaderList(WritingFile& writing) {
    const ImageFormatStruct& video = writing.videoFormat;
    const uint32_t framesPerSecond =
        std::max<uint32_t>(video.scale ? video.rate / video.scale : 1, 1);
    if (!Switches().crashSafe || writing.frameCount - writing.framesAtRefresh < framesPerSecond) {
        return;
    }
    writing.framesAtRefresh = writing.frameCount;
    RewriteHeaderList(writing, Settings(writing).fccHandler, false);
}

uint64_t HeaderListBytes(const WritingFile& writing, uint64_t videoFormatBytes) {
    uint64_t bytes = kListHeaderBytes + kChunkHeaderBytes + kMainHeaderBytes;
    const uint64_t superIndex = writing.openDml ? kChunkHeaderBytes + kSuperIndexBytes : 0;
    if (HasVideo(writing)) {
        bytes += kListHeaderBytes + kChunkHeaderBytes + kStreamHeaderBytes + kChunkHeaderBytes +
                 videoFormatBytes + (videoFormatBytes & 1) + superIndex;
    }
    if (HasAudio(writing)) {
        bytes += kListHeaderBytes + kChunkHeaderBytes + kStreamHeaderBytes + kChunkHeaderBytes +
                 sizeof(PCMWAVEFORMAT) + superIndex;
    }
    if (writing.openDml) {
        bytes += kListHeaderBytes + kChunkHeaderBytes + kOpenDmlHeaderBytes;
    }
    return bytes + kChunkHeaderBytes;  // the JUNK header that fills the rest of the room
}

uint64_t HeaderListBytes(const WritingFile& writing) {
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    return HeaderListBytes(writing, uint64_t(format.biSize) + 4 * uint64_t(format.biClrUsed));
}

bool AssembleHeaderList(const WritingFile& writing, FOURCC handler, bool indexed,
                        std::vector<uint8_t>& bytes) {
    try {
        bytes.assign(writing.layout.movieListAt - kListHeaderBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    RecordAssembler out(bytes.data(), bytes.size());
    uint8_t header[kStreamHeaderBytes];
    out.u32(kListChunk);
    out.u32(static_cast<uint32_t>(bytes.size() - kChunkHeaderBytes));
    out.u32(kHeaderList);
    RecordAssembler main(header, kMainHeaderBytes);
    MainHeader(writing, main);
    AppendChunk(out, kMainHeader, header, kMainHeaderBytes);
    if (HasVideo(writing)) {
        RecordAssembler stream(header, sizeof header);
        VideoStreamHeader(writing, handler, stream);
        AppendStreamList(writing, out, header, &writing.compressedFormat, VideoFormatBytes(writing),
                         0, indexed);
    }
    if (HasAudio(writing)) {
        RecordAssembler stream(header, sizeof header);
        AudioStreamHeader(writing, stream);
        AppendStreamList(writing, out, header, &writing.waveFormat, sizeof writing.waveFormat, 1,
                         indexed);
    }
    if (writing.openDml) {
        AppendOpenDmlList(writing, out);
    }
    // The JUNK chunk whose body, zero, reaches up to the movie list.
    AppendJunk(out, static_cast<uint32_t>(bytes.size() - out.size()));
    return !out.overflowed();
}

bool WriteHeaderList(WritingFile& writing) {
    CompressionSettings& settings = Settings(writing);
    if (HasVideo(writing)) {
        // The handle keeps the upper-case code.
        CharUpperBuffA(reinterpret_cast<char*>(&settings.fccHandler), sizeof settings.fccHandler);
    }
    return RewriteHeaderList(writing, settings.fccHandler, true);
}

bool RewriteHeaderList(WritingFile& writing, FOURCC handler, bool indexed) {
    if (HasVideo(writing)) {
        CharUpperBuffA(reinterpret_cast<char*>(&handler), sizeof handler);
    }
    std::vector<uint8_t>& bytes = writing.nextHeaderList;
    if (!AssembleHeaderList(writing, handler, indexed, bytes)) {
        return false;
    }
    if (!WriteBackToFront(writing.file.get(), 12, bytes, writing.headerList)) {
        writing.headerList.clear();  // what the file holds is no longer known
        return false;
    }
    writing.headerList.swap(bytes);
    return true;
}

bool WriteMergedEntries(const WritingFile& writing, size_t videoCount, size_t audioCount) {
    constexpr size_t kIndexEntriesPerWrite = 4096;
    const std::vector<IndexEntry>& video = writing.videoIndex;
    const std::vector<IndexEntry>& audio = writing.audioIndex;
    uint8_t batch[kIndexEntriesPerWrite * kIndexEntryBytes];
    size_t v = 0, a = 0;
    while (v < videoCount || a < audioCount) {
        RecordAssembler out(batch, sizeof batch);
        for (size_t n = 0; n < kIndexEntriesPerWrite && (v < videoCount || a < audioCount); ++n) {
            const uint32_t videoOffset = v < videoCount ? video[v].offset : kExhausted;
            const uint32_t audioOffset = a < audioCount ? audio[a].offset : kExhausted;
            // Both lists are in file order; the merge takes the video entry when offsets are equal.
            const bool takeVideo = v < videoCount && audioOffset >= videoOffset;
            PutEntry(out, takeVideo ? video[v++] : audio[a++]);
        }
        if (!Write(writing.file.get(), out.data(), out.size())) {
            return false;
        }
    }
    return true;
}

bool WriteIndexChunk(WritingFile& writing) {
    MMCKINFO index{};
    index.ckid = kLegacyIndex;
    if (mmioCreateChunk(writing.file.get(), &index, 0) != MMSYSERR_NOERROR ||
        !WriteMergedEntries(writing, writing.videoIndex.size(), writing.audioIndex.size())) {
        return false;
    }
    return mmioAscend(writing.file.get(), &index, 0) == MMSYSERR_NOERROR;
}

}  // namespace zedadu::writer
