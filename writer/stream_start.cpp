// The stream starts with the first video frame: the file is created with its RIFF form, room is
// left for the header list, the movie list is opened, the first audio slots are reserved and the
// compressor is set going. The buffer for compressed frames lives here.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "frame/avi_ids.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr uint32_t kNoVideoMessage = 786;
constexpr uint32_t kNoVideoTextId = 787;
constexpr uint32_t kCompressorRefusedMessage = 788;
constexpr uint32_t kDataRateTooLowMessage = 789;
constexpr float kAudioLeadSeconds = 0.75f;
// The pre-reserved slots must leave the 60-entry ring able to tell full from empty.
constexpr uint32_t kLargestInitialFrames = kAudioSlotRingSize - 2;
constexpr uint32_t kSlotSpareBytes = 56;
constexpr LONG kFramesToCompress = 2000000000;
constexpr size_t kFormatCopyBytes = 1064;
constexpr size_t kOpeningRecordSpare = 24;

GrowOnlyBuffer compressedBuffer;

DWORD_PTR Arg(const void* pointer) {
    return reinterpret_cast<DWORD_PTR>(pointer);
}

int64_t Position(HMMIO file) {
    return mmioSeek(file, 0, SEEK_CUR);
}

// RIFF "AVI " at 0, then the movie list at M with the header room left empty before it.
bool WritePrologue(AviFileHandle& handle) {
    HMMIO file = handle.mmioFile;
    handle.riffChunk = {};
    handle.riffChunk.fccType = kAviForm;
    if (mmioCreateChunk(file, &handle.riffChunk, MMIO_CREATERIFF) != MMSYSERR_NOERROR) {
        return false;
    }
    const uint32_t movieList = MovieListPosition(Settings(handle).paddingSize);
    if (mmioSeek(file, movieList, SEEK_SET) != movieList) {
        return false;
    }
    handle.movieList = {};
    handle.movieList.fccType = kMovieList;
    return mmioCreateChunk(file, &handle.movieList, MMIO_CREATELIST) == MMSYSERR_NOERROR;
}

// Slot size and audio lead. A slot holds a little more than one frame's worth of samples.
bool ComputeAudioLayout(AviFileHandle& handle) {
    const PCMWAVEFORMAT& wave = handle.waveFormat;
    const ImageFormatStruct& video = handle.videoFormat;
    handle.audioFrameBytes = int32_t(wave.wBitsPerSample) * int32_t(wave.nChannels) / 8;
    const int64_t slotsPerSecond = std::max<int64_t>(int64_t(video.rate) / video.scale - 1, 1);
    const uint64_t slotBytes =
        (wave.nSamplesPerSec / uint64_t(slotsPerSecond)) * uint64_t(handle.audioFrameBytes) +
        kSlotSpareBytes;
    if (handle.audioFrameBytes <= 0 || slotBytes > uint64_t(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    handle.maxAudioChunk = static_cast<int32_t>(slotBytes & ~uint64_t{1});
    handle.initialFrames = 0;
    if (Settings(handle).offsetAudioAndVideo != 0) {
        const double frames = double(video.rate) * double(kAudioLeadSeconds) / double(video.scale);
        handle.initialFrames =
            static_cast<uint32_t>(std::min(frames, double(kLargestInitialFrames)));
    }
    handle.audioSlotFill = 0;
    handle.audioSlotReserve = 0;
    return true;
}

// One record (or, unpadded, one bare slot) per reserved slot, ring indices 0 to initialFrames.
bool ReserveOpeningSlots(AviFileHandle& handle) {
    const uint32_t padding = Settings(handle).paddingSize;
    const uint32_t slotBytes = uint32_t(handle.maxAudioChunk);
    if (!EnsureChunkBuffer(size_t(padding) + slotBytes + kOpeningRecordSpare)) {
        return false;
    }
    while (handle.audioSlotReserve <= handle.initialFrames) {
        const int64_t start = Position(handle.mmioFile);
        RecordAssembler record(ChunkBuffer().data(), ChunkBuffer().capacity());
        BeginRecord(record, padding);
        const uint64_t slot = uint64_t(start) + record.size();
        AppendJunk(record, slotBytes);
        const uint32_t listSize = FinishRecord(record, padding);
        if (start < 0 || record.overflowed() ||
            !FinishedFileFits(handle, uint64_t(start) + record.size(), padding ? 1 : 0) ||
            !ReserveIndexEntries(handle.videoIndex, 1) ||
            mmioWrite(handle.mmioFile, reinterpret_cast<const char*>(record.data()),
                      LONG(record.size())) != LONG(record.size())) {
            return false;
        }
        RecordAudioSlot(handle, static_cast<uint32_t>(slot));
        if (padding) {
            AppendMovieEntry(handle, handle.videoIndex, kRecordList, 0, uint32_t(start), listSize);
        }
    }
    return true;
}

// The header list is written into the room before the movie list at close; a compressed format
// too long for that room cannot be stored.
bool HeaderRoomHolds(const AviFileHandle& handle) {
    const BITMAPINFOHEADER& format = handle.sourceBitmapInfo.header;
    const uint64_t formatBytes = uint64_t(format.biSize) + 4 * uint64_t(format.biClrUsed);
    return format.biSize >= sizeof(BITMAPINFOHEADER) && formatBytes <= sizeof(BitmapInfo) &&
           12 + HeaderListBytes(handle) <= MovieListPosition(Settings(handle).paddingSize);
}

// The compressor's data rate: what the settings allow less what audio slots and fillers take.
bool FramesDataRate(const AviFileHandle& handle, LONG& dataRate) {
    const CompressionSettings& settings = Settings(handle);
    dataRate = 0;
    if (settings.dataRate == 0) {
        return true;
    }
    const double framesPerSecond =
        double(handle.videoFormat.rate) / double(handle.videoFormat.scale);
    const auto overhead = static_cast<int64_t>(
        framesPerSecond * double(int64_t(handle.maxAudioChunk) + settings.paddingSize));
    const int64_t rate = int64_t(settings.dataRate) * 1024 - overhead;
    if (rate < 0) {
        return ShowWriterMessage(kDataRateTooLowMessage, kCautionTextId, kMessageFlagsYesNo) !=
               IDNO;
    }
    dataRate = static_cast<LONG>(std::min<int64_t>(rate, std::numeric_limits<LONG>::max()));
    return true;
}

bool TellCompressorAboutFrames(AviFileHandle& handle) {
    const CompressionSettings& settings = Settings(handle);
    ICCOMPRESSFRAMES frames{};
    frames.dwFlags = settings.paddingSize ? ICCOMPRESSFRAMES_PADDING : 0;
    frames.lpbiOutput = &handle.sourceBitmapInfo.header;
    frames.lpbiInput = &handle.outputBitmapInfo.header;
    frames.lStartFrame = 0;
    frames.lFrameCount = kFramesToCompress;
    frames.lQuality = static_cast<LONG>(settings.quality);
    if (!FramesDataRate(handle, frames.lDataRate)) {
        return false;
    }
    frames.lKeyRate = static_cast<LONG>(settings.keyFrameRate);
    frames.dwRate = handle.videoFormat.rate;
    frames.dwScale = handle.videoFormat.scale;
    frames.dwOverheadPerFrame = uint32_t(handle.maxAudioChunk);
    ICSendMessage(handle.decompressor, ICM_COMPRESS_FRAMES_INFO, Arg(&frames), sizeof frames);
    return true;
}

// Agrees the compressed format with the compressor (steps that precede the frames information).
bool NegotiateFormat(AviFileHandle& handle) {
    CompressionSettings& settings = Settings(handle);
    HIC compressor = handle.decompressor;
    auto* frame = &handle.outputBitmapInfo.header;
    auto* compressed = &handle.sourceBitmapInfo.header;
    ICSendMessage(compressor, ICM_SETQUALITY, settings.quality, 0);
    memcpy(&handle.sourceBitmapInfo, &handle.outputBitmapInfo, kFormatCopyBytes);
    if (ICSendMessage(compressor, ICM_COMPRESS_QUERY, Arg(frame), 0) == ICERR_BADFORMAT) {
        ShowWriterMessage(kCompressorRefusedMessage, kCautionTextId, kMessageFlagsOk);
        return false;
    }
    compressed->biCompression = settings.fccHandler;
    compressed->biSizeImage = static_cast<DWORD>(
        ICSendMessage(compressor, ICM_COMPRESS_GET_SIZE, Arg(frame), Arg(compressed)));
    ICSendMessage(compressor, ICM_COMPRESS_GET_FORMAT, Arg(frame), Arg(compressed));
    if (!HeaderRoomHolds(handle)) {
        ShowWriterMessage(kCompressorRefusedMessage, kCautionTextId, kMessageFlagsOk);
        return false;
    }
    if (static_cast<int32_t>(settings.keyFrameRate) < 1) {
        settings.keyFrameRate = 1;
    }
    ICINFO info{};
    ICGetInfo(compressor, &info, sizeof info);
    handle.compressorFlags = info.dwFlags;
    return true;
}

bool BeginCompression(AviFileHandle& handle) {
    HIC compressor = handle.decompressor;
    auto* frame = &handle.outputBitmapInfo.header;
    auto* compressed = &handle.sourceBitmapInfo.header;
    if (ICSendMessage(compressor, ICM_COMPRESS_BEGIN, Arg(frame), Arg(compressed)) != ICERR_OK) {
        ShowWriterMessage(kCompressorRefusedMessage, kCautionTextId, kMessageFlagsOk);
        return false;
    }
    const LRESULT largest =
        ICSendMessage(compressor, ICM_COMPRESS_GET_SIZE, Arg(frame), Arg(compressed));
    if (largest > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    if (largest > static_cast<LRESULT>(compressedBuffer.capacity()) &&
        !compressedBuffer.ensure(size_t(largest))) {
        return false;
    }
    try {
        handle.previousFrame.assign(frame->biSizeImage, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool StartCompressor(AviFileHandle& handle) {
    if (!handle.decompressor) {
        handle.decompressor = ICOpen(ICTYPE_VIDEO, Settings(handle).fccHandler, ICMODE_COMPRESS);
    }
    return handle.decompressor && NegotiateFormat(handle) && TellCompressorAboutFrames(handle) &&
           BeginCompression(handle);
}

bool StreamFailed(AviFileHandle& handle) {
    if (handle.decompressor) {
        ICClose(handle.decompressor);
        handle.decompressor = nullptr;
    }
    handle.streamFailed = true;
    return false;
}

}  // namespace

GrowOnlyBuffer& CompressedBuffer() {
    return compressedBuffer;
}

bool StartStream(AviFileHandle& handle) {
    if (!handle.mmioFile) {
        handle.mmioFile = mmioOpenA(handle.path, nullptr, MMIO_CREATE | MMIO_WRITE);
        if (!handle.mmioFile) {
            return false;
        }
    }
    if (!HasVideo(handle)) {
        ShowWriterMessage(kNoVideoMessage, kNoVideoTextId, kMessageFlagsOk);
        return StreamFailed(handle);
    }
    handle.videoIndex.clear();
    handle.audioIndex.clear();
    if (!WritePrologue(handle)) {
        return StreamFailed(handle);
    }
    if (HasAudio(handle) && !(ComputeAudioLayout(handle) && ReserveOpeningSlots(handle))) {
        return StreamFailed(handle);
    }
    const int64_t movieEnd = Position(handle.mmioFile);
    if (movieEnd < 0 || uint64_t(movieEnd) > kLargestFileSize) {
        return StreamFailed(handle);
    }
    handle.movieEnd = static_cast<uint32_t>(movieEnd);
    if (Settings(handle).fccHandler == kUncompressedHandler) {
        memcpy(&handle.sourceBitmapInfo, &handle.outputBitmapInfo, kFormatCopyBytes);
        handle.framesSinceKey = 0;
        return true;
    }
    if (!StartCompressor(handle)) {
        return StreamFailed(handle);
    }
    handle.framesSinceKey = 0;
    return true;
}

}  // namespace zedadu::writer
