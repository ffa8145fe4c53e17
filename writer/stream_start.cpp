// The stream starts with the first video frame: the file is created with its RIFF form, room is
// left for the header list, the movie list is opened, the first audio slots are reserved and the
// compressor is set going.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "avi/ids.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint32_t kNoVideoMessage = 786;
constexpr uint32_t kNoVideoTextId = 787;
constexpr uint32_t kCompressorRefusedMessage = 788;
constexpr uint32_t kDataRateTooLowMessage = 789;
constexpr float kAudioLeadSeconds = 0.75f;
// The ring tells full from empty only below 60 outstanding slots, and the first frame reserves
// one more before its audio can arrive: at most 58 opening slots.
constexpr uint32_t kLargestInitialFrames = kAudioSlotRingSize - 3;
constexpr uint32_t kSlotSpareBytes = 56;
constexpr LONG kFramesToCompress = 2000000000;
constexpr size_t kOpeningRecordSpare = 24;

int64_t Position(HMMIO file) {
    return mmioSeek(file, 0, SEEK_CUR);
}

// RIFF "AVI " at 0, then the movie list at M with the header room left empty before it.
bool WritePrologue(WritingFile& writing) {
    HMMIO file = writing.file.get();
    writing.riffChunk = {};
    writing.riffChunk.fccType = kAviForm;
    if (mmioCreateChunk(file, &writing.riffChunk, MMIO_CREATERIFF) != MMSYSERR_NOERROR) {
        return false;
    }
    const uint32_t movieListAt = writing.layout.movieListAt;
    if (mmioSeek(file, movieListAt, SEEK_SET) != movieListAt) {
        return false;
    }
    writing.movieList = {};
    writing.movieList.fccType = kMovieList;
    return mmioCreateChunk(file, &writing.movieList, MMIO_CREATELIST) == MMSYSERR_NOERROR;
}

// Slot size and audio lead. A slot holds a little more than one frame's worth of samples.
bool ComputeAudioLayout(WritingFile& writing) {
    const PCMWAVEFORMAT& wave = writing.waveFormat;
    const ImageFormatStruct& video = writing.videoFormat;
    writing.audioFrameBytes = int32_t(wave.wBitsPerSample) * int32_t(wave.nChannels) / 8;
    const int64_t slotsPerSecond = std::max<int64_t>(int64_t(video.rate) / video.scale - 1, 1);
    const uint64_t slotBytes =
        (wave.nSamplesPerSec / uint64_t(slotsPerSecond)) * uint64_t(writing.audioFrameBytes) +
        kSlotSpareBytes;
    if (writing.audioFrameBytes <= 0 || slotBytes > uint64_t(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    writing.audioSlotBytes = static_cast<int32_t>(slotBytes & ~uint64_t{1});
    writing.initialFrames = 0;
    if (Settings(writing).offsetAudioAndVideo != 0) {
        const double frames = double(video.rate) * double(kAudioLeadSeconds) / double(video.scale);
        writing.initialFrames =
            static_cast<uint32_t>(std::min(frames, double(kLargestInitialFrames)));
    }
    writing.audioSlotFill = 0;
    writing.audioSlotReserve = 0;
    return true;
}

// One record (or, unpadded, one bare slot) per reserved slot, ring indices 0 to initialFrames.
bool ReserveOpeningSlots(WritingFile& writing) {
    const RecordLayout& layout = writing.layout;
    const uint32_t padding = layout.padding;
    const uint32_t slotBytes = uint32_t(writing.audioSlotBytes);
    WriterBuffers& buffers = TheWriterBuffers();
    if (!buffers.ensureChunk(size_t(padding) + slotBytes + kOpeningRecordSpare)) {
        return false;
    }
    while (writing.audioSlotReserve <= writing.initialFrames) {
        const int64_t start = Position(writing.file.get());
        RecordAssembler record = buffers.chunkAssembler();
        layout.beginRecord(record);
        const uint64_t slot = uint64_t(start) + record.size();
        AppendJunk(record, slotBytes);
        const uint32_t listSize = layout.finishRecord(record);
        const bool fits =
            writing.openDml ||
            FinishedFileFits(writing, uint64_t(start) + record.size(), padding ? 1 : 0);
        if (start < 0 || record.overflowed() || !fits ||
            !ReserveIndexEntries(writing.videoIndex, 1) ||
            mmioWrite(writing.file.get(), reinterpret_cast<const char*>(record.data()),
                      LONG(record.size())) != LONG(record.size())) {
            return false;
        }
        RecordAudioSlot(writing, slot);
        if (padding) {
            AppendMovieEntry(writing, writing.videoIndex, kRecordList, 0, uint64_t(start),
                             listSize);
        }
        if (writing.openDml) {
            CountOpeningRecord(writing, padding ? 1 : 0);
        }
    }
    return true;
}

// The header list is written into the room before the movie list at close; a compressed format
// too long for that room cannot be stored.
bool HeaderRoomHolds(const WritingFile& writing) {
    const BITMAPINFOHEADER& format = writing.compressedFormat.header;
    const uint64_t formatBytes = uint64_t(format.biSize) + 4 * uint64_t(format.biClrUsed);
    return format.biSize >= sizeof(BITMAPINFOHEADER) && formatBytes <= sizeof(BitmapInfo) &&
           12 + HeaderListBytes(writing) <= writing.layout.movieListAt;
}

// The compressor's data rate: what the settings allow less what audio slots and fillers take.
bool FramesDataRate(const WritingFile& writing, LONG& dataRate) {
    const CompressionSettings& settings = Settings(writing);
    dataRate = 0;
    if (settings.dataRate == 0) {
        return true;
    }
    const double framesPerSecond =
        double(writing.videoFormat.rate) / double(writing.videoFormat.scale);
    const auto overhead = static_cast<int64_t>(
        framesPerSecond * double(int64_t(writing.audioSlotBytes) + writing.layout.padding));
    const int64_t rate = int64_t(settings.dataRate) * 1024 - overhead;
    if (rate < 0) {
        return ShowHostMessage(kDataRateTooLowMessage, kCautionTextId, kMessageYesNo) != IDNO;
    }
    dataRate = static_cast<LONG>(std::min<int64_t>(rate, std::numeric_limits<LONG>::max()));
    return true;
}

bool TellCompressorAboutFrames(WritingFile& writing, const vfw::Compressor& compressor) {
    const CompressionSettings& settings = Settings(writing);
    ICCOMPRESSFRAMES frames{};
    frames.dwFlags = writing.layout.padded() ? ICCOMPRESSFRAMES_PADDING : 0;
    frames.lpbiOutput = &writing.compressedFormat.header;
    frames.lpbiInput = &writing.frameFormat.header;
    frames.lStartFrame = 0;
    frames.lFrameCount = kFramesToCompress;
    frames.lQuality = static_cast<LONG>(settings.quality);
    if (!FramesDataRate(writing, frames.lDataRate)) {
        return false;
    }
    frames.lKeyRate = static_cast<LONG>(settings.keyFrameRate);
    frames.dwRate = writing.videoFormat.rate;
    frames.dwScale = writing.videoFormat.scale;
    frames.dwOverheadPerFrame = uint32_t(writing.audioSlotBytes);
    compressor.send(ICM_COMPRESS_FRAMES_INFO, &frames, sizeof frames);
    return true;
}

// Agrees the compressed format with the compressor (steps that precede the frames information).
bool NegotiateFormat(WritingFile& writing, const vfw::Compressor& compressor) {
    CompressionSettings& settings = Settings(writing);
    const BITMAPINFOHEADER* frame = &writing.frameFormat.header;
    BITMAPINFOHEADER* compressed = &writing.compressedFormat.header;
    compressor.send(ICM_SETQUALITY, settings.quality);
    SeedCompressedFormat(writing);
    if (compressor.send(ICM_COMPRESS_QUERY, frame) == ICERR_BADFORMAT) {
        ShowHostMessage(kCompressorRefusedMessage, kCautionTextId, kMessageOk);
        return false;
    }
    compressed->biCompression = settings.fccHandler;
    compressed->biSizeImage =
        static_cast<DWORD>(compressor.send(ICM_COMPRESS_GET_SIZE, frame, compressed));
    compressor.send(ICM_COMPRESS_GET_FORMAT, frame, compressed);
    if (!HeaderRoomHolds(writing)) {
        ShowHostMessage(kCompressorRefusedMessage, kCautionTextId, kMessageOk);
        return false;
    }
    if (static_cast<int32_t>(settings.keyFrameRate) < 1) {
        settings.keyFrameRate = 1;
    }
    ICINFO info{};
    ICGetInfo(compressor.get(), &info, sizeof info);
    writing.compressorFlags = info.dwFlags;
    return true;
}

bool BeginCompression(WritingFile& writing, const vfw::Compressor& compressor) {
    const BITMAPINFOHEADER* frame = &writing.frameFormat.header;
    const BITMAPINFOHEADER* compressed = &writing.compressedFormat.header;
    if (compressor.send(ICM_COMPRESS_BEGIN, frame, compressed) != ICERR_OK) {
        ShowHostMessage(kCompressorRefusedMessage, kCautionTextId, kMessageOk);
        return false;
    }
    const LRESULT largest = compressor.send(ICM_COMPRESS_GET_SIZE, frame, compressed);
    if (largest > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    GrowOnlyBuffer& output = TheWriterBuffers().compressed();
    if (largest > static_cast<LRESULT>(output.capacity()) && !output.ensure(size_t(largest))) {
        return false;
    }
    try {
        writing.previousFrame.assign(frame->biSizeImage, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The handle keeps the compressor only once all of it succeeded; one that failed part way is
// closed without being told to end.
bool StartCompressor(WritingFile& writing) {
    vfw::Compressor compressor(Settings(writing).fccHandler, ICMODE_COMPRESS);
    if (!compressor || !NegotiateFormat(writing, compressor) ||
        !TellCompressorAboutFrames(writing, compressor) || !BeginCompression(writing, compressor)) {
        return false;
    }
    compressor.compressionRunning();
    writing.compressor = std::move(compressor);
    return true;
}

bool StreamFailed(WritingFile& writing) {
    writing.streamFailed = true;
    return false;
}

}  // namespace

bool StartStream(WritingFile& writing) {
    if (!writing.file) {
        writing.file = RiffFile(mmioOpenA(writing.path, nullptr, MMIO_CREATE | MMIO_WRITE));
        if (!writing.file) {
            return false;
        }
    }
    if (!HasVideo(writing)) {
        ShowHostMessage(kNoVideoMessage, kNoVideoTextId, kMessageOk);
        return StreamFailed(writing);
    }
    writing.videoIndex.clear();
    writing.audioIndex.clear();
    if (!WritePrologue(writing)) {
        return StreamFailed(writing);
    }
    if (writing.openDml) {
        BeginFirstPart(writing);
    }
    if (HasAudio(writing) && !(ComputeAudioLayout(writing) && ReserveOpeningSlots(writing))) {
        return StreamFailed(writing);
    }
    const int64_t movieEnd = Position(writing.file.get());
    if (movieEnd < 0 || uint64_t(movieEnd) > kLargestFileSize) {
        return StreamFailed(writing);
    }
    writing.movieEnd = uint64_t(movieEnd);
    if (Settings(writing).fccHandler == kUncompressedHandler) {
        SeedCompressedFormat(writing);
    } else if (!StartCompressor(writing)) {
        return StreamFailed(writing);
    }
    writing.framesSinceKey = 0;
    // From here on the file on disk is an AVI file of the frames and samples it holds: the header
    // list goes into its room now, with the counts of the moment.
    writing.framesAtRefresh = 0;
    if (Switches().crashSafe) {
        RewriteHeaderList(writing, Settings(writing).fccHandler, false);
    }
    return true;
}

}  // namespace zedadu::writer
