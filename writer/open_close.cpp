// Opening an output file builds the writing handle (no file exists until the first frame);
// closing finishes the file, closes it and frees the handle. The chunk buffer lives here.
#include <cstring>
#include <memory>
#include <new>

#include "frame/module.h"
#include "frame/text.h"
#include "platform/hostlib/hostlib.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

constexpr uint32_t kReplaceFileMessage = 63;
constexpr uint32_t kAskBeforeReplacing = 0x1;
constexpr uint32_t kDvVideoFlag = 0x8;
constexpr uint32_t kDvFormatFlags = 0x102;
constexpr uint32_t kPlainFormatFlags = 0x2;
// A record filler needs 8 bytes; smaller paddings cannot be kept and mean no padding.
constexpr uint32_t kSmallestPadding = 8;
constexpr uint32_t kLargestPadding = 1u << 20;
constexpr uint64_t kLargestFrameBytes = 0x7FFFFFFF;
constexpr size_t kFormatCopyBytes = 1064;
constexpr char kDefaultExtension[] = ".avi";

GrowOnlyBuffer chunkBuffer;

// Closes a compressor instance on every path.
struct OpenCompressor {
    HIC instance;
    ~OpenCompressor() {
        if (instance) {
            ICClose(instance);
        }
    }
};

// The output path: the host's name, with ".avi" when it has no dot anywhere; it must fit the
// handle's 1000 characters.
bool SettlePath(AviFileHandle& handle, const char* fileName) {
    const size_t length = strnlen(fileName, kPathSize);
    const bool hasDot = memchr(fileName, '.', length) != nullptr;
    const size_t needed = length + (hasDot ? 0 : sizeof kDefaultExtension - 1);
    if (needed >= kPathSize) {
        return false;
    }
    memcpy(handle.path, fileName, length);
    handle.path[length] = '\0';
    if (!hasDot) {
        strcat(handle.path, kDefaultExtension);
    }
    return true;
}

bool WritableVideo(const ImageFormatStruct& video) {
    uint32_t stateSize = 0;
    if (!HeldStateSize(video, stateSize)) {
        return false;  // the handler, padding and rates come from the block
    }
    const auto* block = static_cast<const CompressionSettings*>(video.settingsBlock);
    return block->paddingSize <= kLargestPadding && video.width > 0 && video.height > 0 &&
           video.rate > 0 && video.scale > 0 &&
           uint64_t(video.width) * uint64_t(video.height) * 4 <= kLargestFrameBytes;
}

bool WritableAudio(const AudioFormatRecord& audio) {
    const uint32_t sampleBytes = SameFormatId(audio.formatId, FORMAT_ID_PCM16) ? 2 : 1;
    return audio.channels >= 1 && audio.frameBytes <= 0xFFFF &&
           uint64_t(audio.frameBytes) == uint64_t(audio.channels) * sampleBytes &&
           uint64_t(audio.frameBytes) * audio.sampleRate <= 0xFFFFFFFFu;
}

bool DisposeOfExistingFile(const char* path, uint32_t options) {
    if (!mmioOpenA(path, nullptr, MMIO_EXIST)) {
        return true;
    }
    if ((options & kAskBeforeReplacing) &&
        MyMessageBox(kReplaceFileMessage, path, "", kMessageFlagsYesNo) == IDNO) {
        return false;
    }
    return mmioOpenA(path, nullptr, MMIO_DELETE) != nullptr;
}

uint16_t BitCountOf(const char* formatId) {
    if (SameFormatId(formatId, FORMAT_ID_RGB16)) {
        return 16;
    }
    if (SameFormatId(formatId, FORMAT_ID_RGB24)) {
        return 24;
    }
    return SameFormatId(formatId, FORMAT_ID_RGB32) ? 32 : 0;
}

void BuildFrameFormat(BITMAPINFOHEADER& frame, const ImageFormatStruct& video) {
    frame.biSize = sizeof(BITMAPINFOHEADER);
    frame.biWidth = video.width;
    frame.biHeight = video.height;
    frame.biPlanes = 1;
    frame.biBitCount = BitCountOf(video.formatId);
    frame.biCompression = BI_RGB;
    const uint32_t rowBytes = (uint32_t(frame.biBitCount) * uint32_t(video.width) + 31) / 32 * 4;
    frame.biSizeImage = rowBytes * uint32_t(video.height);
}

// Opens the compressor once to learn whether it takes these frames and what it makes of them.
bool ProbeCompressor(AviFileHandle& handle) {
    const CompressionSettings& settings = Settings(handle);
    const OpenCompressor compressor{ICOpen(ICTYPE_VIDEO, settings.fccHandler, ICMODE_COMPRESS)};
    if (!compressor.instance) {
        return false;
    }
    HIC instance = compressor.instance;
    auto* frame = &handle.outputBitmapInfo.header;
    auto* compressed = &handle.sourceBitmapInfo.header;
    const auto arg = [](const void* pointer) { return reinterpret_cast<DWORD_PTR>(pointer); };
    ICSendMessage(instance, ICM_SETQUALITY, settings.quality, 0);
    memcpy(&handle.sourceBitmapInfo, &handle.outputBitmapInfo, kFormatCopyBytes);
    if (ICSendMessage(instance, ICM_COMPRESS_QUERY, arg(frame), 0) == ICERR_BADFORMAT) {
        return false;
    }
    compressed->biCompression = settings.fccHandler;
    compressed->biSizeImage = static_cast<DWORD>(
        ICSendMessage(instance, ICM_COMPRESS_GET_SIZE, arg(frame), arg(compressed)));
    if (ICSendMessage(instance, ICM_COMPRESS_QUERY, arg(frame), arg(compressed)) ==
        ICERR_BADFORMAT) {
        ICSendMessage(instance, ICM_COMPRESS_GET_FORMAT, arg(frame), arg(compressed));
    }
    return true;
}

void ListVideoInputs(AviFileHandle& handle) {
    const ImageFormatStruct& video = handle.videoFormat;
    const uint32_t pixels = uint32_t(video.width) * uint32_t(video.height);
    handle.videoOutputCount = 2;
    handle.videoOutputs[0] = video;
    CopyText(handle.videoOutputs[0].formatId, FORMAT_ID_RGB24);
    handle.videoOutputs[0].imageSize = pixels * 3;
    handle.videoOutputs[1] = video;
    CopyText(handle.videoOutputs[1].formatId, FORMAT_ID_RGB32);
    handle.videoOutputs[1].imageSize = pixels * 4;
}

bool SetUpVideo(AviFileHandle& handle, const OpenWriteRequest& request) {
    const ImageFormatStruct& video = request.video;
    handle.videoFormat = video;
    handle.expectedFrames = request.videoFrameCount;
    handle.videoFlags = video.flags;
    handle.videoFormat.settingsBlock = nullptr;
    handle.videoFormat.settingsBlockSize = 0;
    handle.videoFormat.flags = (video.flags & kDvVideoFlag) ? kDvFormatFlags : kPlainFormatFlags;
    BuildFrameFormat(handle.outputBitmapInfo.header, video);
    memcpy(handle.codecInfo.data(), video.settingsBlock, handle.codecInfo.size());
    CompressionSettings& settings = Settings(handle);
    if (settings.paddingSize < kSmallestPadding) {
        settings.paddingSize = 0;
    }
    if (settings.fccHandler != kUncompressedHandler && !ProbeCompressor(handle)) {
        return false;
    }
    ListVideoInputs(handle);
    return true;
}

void SetUpAudio(AviFileHandle& handle, const AudioFormatRecord& audio) {
    handle.audioFormat = audio;
    const bool pcm16 = SameFormatId(audio.formatId, FORMAT_ID_PCM16);
    PCMWAVEFORMAT& wave = handle.waveFormat;
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(audio.channels);
    wave.nSamplesPerSec = audio.sampleRate;
    wave.nAvgBytesPerSec = audio.frameBytes * audio.sampleRate;
    wave.nBlockAlign = static_cast<WORD>(audio.frameBytes);
    wave.wBitsPerSample = pcm16 ? 16 : 8;
    handle.audioOutputs[0] = audio;
    handle.audioOutputCount = 1;
    if (!pcm16) {
        // 16-bit samples are accepted too and narrowed on the way into the file.
        handle.audioOutputs[1] = audio;
        CopyText(handle.audioOutputs[1].formatId, FORMAT_ID_PCM16);
        handle.audioOutputs[1].frameBytes = audio.channels * 2;
        handle.audioOutputCount = 2;
    }
}

// Everything after the last frame: the movie list's size, the index, the form's size and the
// header list. A file that holds neither a frame nor a sample is not a usable file and is removed.
void FinishFile(AviFileHandle& handle) {
    HMMIO file = handle.mmioFile;
    if (handle.frameCount == 0 && handle.audioLength == 0) {
        mmioClose(file, 0);
        handle.mmioFile = nullptr;
        mmioOpenA(handle.path, nullptr, MMIO_DELETE);
        return;
    }
    mmioSeek(file, handle.movieEnd, SEEK_SET);
    mmioAscend(file, &handle.movieList, 0);
    WriteIndexChunk(handle);
    mmioAscend(file, &handle.riffChunk, 0);
    mmioSeek(file, 12, SEEK_SET);
    WriteHeaderList(handle);
    mmioClose(file, 0);
    handle.mmioFile = nullptr;
}

}  // namespace

bool EnsureChunkBuffer(size_t size) {
    return chunkBuffer.ensure(size);
}

bool ReleaseChunkBuffer() {
    chunkBuffer.release();
    return true;
}

GrowOnlyBuffer& ChunkBuffer() {
    return chunkBuffer;
}

bool OpenFileForWrite(void** handleOut, OpenWriteRequest& request) {
    *handleOut = nullptr;
    std::unique_ptr<AviFileHandle> handle(new (std::nothrow) AviFileHandle());
    if (!handle || !request.fileName || !SettlePath(*handle, request.fileName)) {
        return false;
    }
    const bool video = request.videoFrameCount > 0;
    if ((video && !WritableVideo(request.video)) ||
        (request.hasAudio && !WritableAudio(request.audio))) {
        return false;
    }
    if (!DisposeOfExistingFile(handle->path, request.options)) {
        return false;
    }
    uint32_t stateSize = 0;
    if (video) {
        HeldStateSize(request.video, stateSize);
    }
    handle->codecInfo.reset(size_t(kCompressionSettingsHeaderSize) + stateSize);
    if (video && !SetUpVideo(*handle, request)) {
        return false;
    }
    if (request.hasAudio) {
        SetUpAudio(*handle, request.audio);
    }
    strcpy(request.fileName, handle->path);
    handle->tag = kHandleTag;
    *handleOut = handle.release();
    return true;
}

bool CloseFileForWrite(AviFileHandle* handle) {
    AccessLockGuard lock;
    if (!lock.acquired()) {
        return false;
    }
    if (handle->mmioFile) {
        FinishFile(*handle);
    }
    ReleaseChunkBuffer();
    if (handle->decompressor) {
        ICSendMessage(handle->decompressor, ICM_COMPRESS_END, 0, 0);
        ICClose(handle->decompressor);
        handle->decompressor = nullptr;
    }
    handle->tag = 0;
    delete handle;
    return true;
}

}  // namespace zedadu::writer
