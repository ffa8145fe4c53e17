// Each video frame is brought into the file's layout, compressed with key frames forced at the
// configured interval and within the per-frame byte budget, and appended as one record together
// with a fresh audio slot.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "avi/ids.h"
#include "convert/convert.h"
#include "core/module.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint16_t kUncompressedCode = 'x' | 'x' << 8;
constexpr uint32_t kLargestRecordBytes = std::numeric_limits<int32_t>::max();

// Brings the host's pixels into the file's layout in place; returns the frame's byte count and
// describes the frame in the local header.
uint32_t PrepareFrame(const WritingFile& writing, VideoWriteRecord& record,
                      BITMAPINFOHEADER& frame) {
    const ImageFormatStruct& format = record.format;
    if (SameFormatId(format.formatId, writing.videoFormat.formatId)) {
        return frame.biSizeImage;
    }
    if (SameFormatId(format.formatId, FORMAT_ID_YUY2)) {
        // Packed 4:2:2 goes to the compressor as it is.
        frame.biCompression = avi::kYuy2Compression;
        frame.biBitCount = 16;
        frame.biSizeImage = uint32_t(frame.biWidth) * uint32_t(frame.biHeight) * 2;
        return frame.biSizeImage;
    }
    const int32_t source = SameFormatId(format.formatId, FORMAT_ID_RGB32)   ? 32
                           : SameFormatId(format.formatId, FORMAT_ID_RGB24) ? 24
                                                                            : 16;
    // A refused conversion has told the user; the frame goes on as it is.
    ConvertColorSpace(record.pixels, format.width, format.height, source, frame.biBitCount);
    return frame.biSizeImage;
}

// The bytes one frame may take: what the data rate leaves after the audio slot and the filler.
DWORD FrameBudget(const WritingFile& writing) {
    const CompressionSettings& settings = Settings(writing);
    if (!(writing.compressorFlags & VIDCF_CRUNCH) || settings.dataRate == 0) {
        return 0;
    }
    const double framesPerSecond =
        double(writing.videoFormat.rate) / double(writing.videoFormat.scale);
    const auto perFrame = static_cast<int64_t>(double(settings.dataRate) * 1024 / framesPerSecond);
    const int64_t budget = perFrame - writing.audioSlotBytes - int64_t(writing.layout.padding);
    return static_cast<DWORD>(std::clamp<int64_t>(budget, 0, std::numeric_limits<DWORD>::max()));
}

// The two-character code of a compressed chunk. Compressors report it in the low word; one that
// reports a whole chunk id ("00dc") has it in the high word instead.
uint16_t ChunkCode(DWORD reported) {
    const auto low = static_cast<uint16_t>(reported);
    const bool digits =
        (low & 0xFF) >= '0' && (low & 0xFF) <= '9' && (low >> 8) >= '0' && (low >> 8) <= '9';
    return digits && (reported >> 16) != 0 ? static_cast<uint16_t>(reported >> 16) : low;
}

bool CompressFrame(WritingFile& writing, VideoWriteRecord& record, BITMAPINFOHEADER& frame,
                   uint32_t byteCount) {
    const CompressionSettings& settings = Settings(writing);
    GrowOnlyBuffer& compressed = TheWriterBuffers().compressed();
    const bool forced = writing.framesSinceKey == 0 || !writing.previousFrameValid;
    DWORD chunkFlags = forced ? AVIIF_KEYFRAME : 0;
    DWORD chunkId = kCompressedVideoType;  // kept when the compressor names no code
    writing.framesSinceKey = writing.framesSinceKey + 1;
    if (static_cast<int32_t>(writing.framesSinceKey) >=
        static_cast<int32_t>(settings.keyFrameRate)) {
        writing.framesSinceKey = 0;
    }
    BITMAPINFOHEADER& output = writing.compressedFormat.header;
    output.biSizeImage = static_cast<DWORD>(compressed.capacity());
    ICCOMPRESS request{};
    request.dwFlags = forced ? ICCOMPRESS_KEYFRAME : 0;
    request.lpbiOutput = &output;
    request.lpOutput = compressed.data();
    request.lpbiInput = &frame;
    request.lpInput = record.pixels;
    request.lpckid = &chunkId;
    request.lpdwFlags = &chunkFlags;
    request.lFrameNum = static_cast<LONG>(writing.frameCount);
    request.dwFrameSize = FrameBudget(writing);
    request.dwQuality = settings.quality;
    request.lpbiPrev = forced ? nullptr : &frame;
    request.lpPrev = forced ? nullptr : writing.previousFrame.data();
    if (writing.compressor.send(ICM_COMPRESS, &request, sizeof request) != ICERR_OK) {
        return false;
    }
    memcpy(writing.previousFrame.data(), record.pixels,
           std::min<size_t>(byteCount, writing.previousFrame.size()));
    writing.previousFrameValid = true;
    record.pixels = compressed.data();
    if (output.biSizeImage > compressed.capacity()) {
        return false;  // more than the room it was given: nothing trustworthy to write
    }
    return WriteVideoRecord(writing, compressed.data(), output.biSizeImage, chunkFlags,
                            ChunkCode(chunkId));
}

}  // namespace

bool WriteNextVideoFrame(WritingFile& writing, VideoWriteRecord& record) {
    AccessLockGuard lock;
    if (!lock.acquired() || writing.streamFailed) {
        return false;
    }
    if (writing.frameCount == 0 && !writing.file && !StartStream(writing)) {
        return false;
    }
    BITMAPINFOHEADER frame = writing.frameFormat.header;
    const uint32_t byteCount = PrepareFrame(writing, record, frame);
    if (Settings(writing).fccHandler == kUncompressedHandler) {
        return WriteVideoRecord(writing, record.pixels, byteCount, AVIIF_KEYFRAME,
                                kUncompressedCode);
    }
    // Whatever a reading handle decodes next starts anew.
    CountCompressedFrame();
    return CompressFrame(writing, record, frame, byteCount);
}

bool WriteVideoRecord(WritingFile& writing, const void* data, uint32_t size, uint32_t flags,
                      uint16_t code) {
    const RecordLayout& layout = writing.layout;
    const uint32_t padding = layout.padding;
    const uint32_t slotBytes = HasAudio(writing) ? uint32_t(writing.audioSlotBytes) : 0;
    const uint64_t largest = 12 + 8 + uint64_t(size) + 1 + slotBytes + padding + 7;
    WriterBuffers& buffers = TheWriterBuffers();
    if (largest > kLargestRecordBytes || !buffers.ensureChunk(size_t(largest))) {
        return false;
    }
    const FOURCC chunkId = StreamChunkId(0, code);
    RecordAssembler record = buffers.chunkAssembler();
    layout.beginRecord(record);
    const size_t chunk = record.size();
    record.u32(chunkId);
    record.u32(size);
    record.bytes(data, size);
    if (record.size() & 1) {
        record.zeros(1);
    }
    const size_t slot = record.size();
    if (slotBytes) {
        AppendJunk(record, slotBytes);
    }
    const uint32_t listSize = layout.finishRecord(record);
    const size_t entries = padding ? 2 : 1;
    // In the OpenDML form a record that would take its part past the part size begins the next.
    const bool room = writing.openDml
                          ? MakeRoomForRecord(writing, record.size(), entries)
                          : FinishedFileFits(writing, writing.movieEnd + record.size(), entries);
    const uint64_t at = writing.movieEnd;
    // Nothing is indexed or reserved until the record is in the file, so a failed write leaves
    // no trace and the next frame takes its place.
    if (record.overflowed() || !room || !ReserveIndexEntries(writing.videoIndex, entries) ||
        mmioSeek(writing.file.get(), int64_t(at), SEEK_SET) != int64_t(at) ||
        mmioWrite(writing.file.get(), reinterpret_cast<const char*>(record.data()),
                  LONG(record.size())) != LONG(record.size())) {
        return false;
    }
    const bool indexRecord = padding && (!writing.openDml || writing.parts.size() == 1);
    if (indexRecord) {
        AppendMovieEntry(writing, writing.videoIndex, kRecordList, 0, at, listSize);
    }
    AppendMovieEntry(writing, writing.videoIndex, chunkId, flags, at + chunk, size);
    if (slotBytes) {
        RecordAudioSlot(writing, at + slot);
    }
    if (writing.openDml) {
        CountRecord(writing, indexRecord ? 2 : 1, slotBytes > 0);
    }
    writing.maxVideoChunk = std::max(writing.maxVideoChunk, static_cast<int32_t>(size));
    // Audio calls waiting for a slot read the count without the lock.
    std::atomic_ref(writing.frameCount).fetch_add(1, std::memory_order_relaxed);
    writing.movieEnd = at + record.size();
    RefreshHeaderList(writing);
    return true;
}

}  // namespace zedadu::writer
