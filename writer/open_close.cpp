// Opening an output file builds the writing handle (no file exists until the first frame);
// closing finishes the file, closes it and frees the handle.
#include <cstring>
#include <memory>
#include <new>

#include "core/module.h"
#include "core/settings_ini.h"
#include "core/text.h"
#include "platform/hostlib/hostlib.h"
#include "platform/hostlib/strings.h"
#include "platform/profile/profile.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

constexpr uint32_t kAskBeforeReplacing = 0x1;
constexpr uint32_t kDvVideoFlag = 0x8;
constexpr uint32_t kLargestPadding = 1u << 20;
constexpr uint64_t kLargestFrameBytes = 0x7FFFFFFF;
constexpr char kDefaultExtension[] = ".avi";

// The output path: the host's name, with ".avi" when it has no dot anywhere; it must fit the
// handle's 1000 characters.
bool SettlePath(WritingFile& writing, const char* fileName) {
    const size_t length = strnlen(fileName, kPathSize);
    const bool hasDot = memchr(fileName, '.', length) != nullptr;
    const size_t needed = length + (hasDot ? 0 : sizeof kDefaultExtension - 1);
    if (needed >= kPathSize) {
        return false;
    }
    memcpy(writing.path, fileName, length);
    writing.path[length] = '\0';
    if (!hasDot) {
        strcat(writing.path, kDefaultExtension);
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
        MyMessageBox(hostlib::kReplaceFileString, path, "", kMessageYesNo) == IDNO) {
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

// Opens the compressor once to learn whether it takes these frames and what it makes of them;
// the stream start opens it again.
bool ProbeCompressor(WritingFile& writing) {
    const CompressionSettings& settings = Settings(writing);
    const vfw::Compressor compressor(settings.fccHandler, ICMODE_COMPRESS);
    if (!compressor) {
        return false;
    }
    const BITMAPINFOHEADER* frame = &writing.frameFormat.header;
    BITMAPINFOHEADER* compressed = &writing.compressedFormat.header;
    compressor.send(ICM_SETQUALITY, settings.quality);
    SeedCompressedFormat(writing);
    if (compressor.send(ICM_COMPRESS_QUERY, frame) == ICERR_BADFORMAT) {
        return false;
    }
    compressed->biCompression = settings.fccHandler;
    compressed->biSizeImage =
        static_cast<DWORD>(compressor.send(ICM_COMPRESS_GET_SIZE, frame, compressed));
    if (compressor.send(ICM_COMPRESS_QUERY, frame, compressed) == ICERR_BADFORMAT) {
        compressor.send(ICM_COMPRESS_GET_FORMAT, frame, compressed);
    }
    return true;
}

void ListVideoInputs(WritingFile& writing) {
    const ImageFormatStruct& video = writing.videoFormat;
    const uint32_t pixels = uint32_t(video.width) * uint32_t(video.height);
    writing.accepted.videoCount = 2;
    writing.accepted.video[0] = video;
    CopyText(writing.accepted.video[0].formatId, FORMAT_ID_RGB24);
    writing.accepted.video[0].imageSize = pixels * 3;
    writing.accepted.video[1] = video;
    CopyText(writing.accepted.video[1].formatId, FORMAT_ID_RGB32);
    writing.accepted.video[1].imageSize = pixels * 4;
}

bool SetUpVideo(WritingFile& writing, const OpenWriteRequest& request) {
    const ImageFormatStruct& video = request.video;
    writing.videoFormat = video;
    writing.expectedFrames = request.videoFrameCount;
    writing.videoFlags = video.flags;
    writing.videoFormat.settingsBlock = nullptr;
    writing.videoFormat.settingsBlockSize = 0;
    writing.videoFormat.flags =
        (video.flags & kDvVideoFlag) ? kDigitalVideoImageFlags : kImageFlags;
    BuildFrameFormat(writing.frameFormat.header, video);
    memcpy(writing.settingsBlock.data(), video.settingsBlock, writing.settingsBlock.size());
    if (Settings(writing).fccHandler != kUncompressedHandler && !ProbeCompressor(writing)) {
        return false;
    }
    ListVideoInputs(writing);
    return true;
}

void SetUpAudio(WritingFile& writing, const AudioFormatRecord& audio) {
    writing.audioFormat = audio;
    const bool pcm16 = SameFormatId(audio.formatId, FORMAT_ID_PCM16);
    PCMWAVEFORMAT& wave = writing.waveFormat;
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(audio.channels);
    wave.nSamplesPerSec = audio.sampleRate;
    wave.nAvgBytesPerSec = audio.frameBytes * audio.sampleRate;
    wave.nBlockAlign = static_cast<WORD>(audio.frameBytes);
    wave.wBitsPerSample = pcm16 ? 16 : 8;
    writing.accepted.audio[0] = audio;
    writing.accepted.audioCount = 1;
    if (!pcm16) {
        // 16-bit samples are accepted too and narrowed on the way into the file.
        writing.accepted.audio[1] = audio;
        CopyText(writing.accepted.audio[1].formatId, FORMAT_ID_PCM16);
        writing.accepted.audio[1].frameBytes = audio.channels * 2;
        writing.accepted.audioCount = 2;
    }
}

// The OpenDML form is chosen by an integer key of the video settings, read when a file is opened.
bool OpenDmlChosen() {
    return SettingsFile().read(settings::kOpenDml) != 0;
}

// The records' padding is the block's; in the OpenDML form the header room grows to hold the
// super indexes beside the largest video format any compressor gives.
void SettleLayout(WritingFile& writing) {
    const uint32_t padding = KeptPadding(Settings(writing).paddingSize);
    writing.layout = writing.openDml
                         ? OpenDmlLayout(padding, HeaderListBytes(writing, sizeof(BitmapInfo)))
                         : LegacyLayout(padding);
}

// Everything after the last frame: the movie list's size, the index, the form's size and the
// header list. A file that holds neither a frame nor a sample is not a usable file and is removed.
void FinishFile(WritingFile& writing) {
    if (writing.frameCount == 0 && writing.audioLength == 0) {
        writing.file.close();
        mmioOpenA(writing.path, nullptr, MMIO_DELETE);
        return;
    }
    if (writing.openDml) {
        FinishOpenDmlFile(writing);
        writing.file.close();
        return;
    }
    HMMIO file = writing.file.get();
    mmioSeek(file, int64_t(writing.movieEnd), SEEK_SET);
    mmioAscend(file, &writing.movieList, 0);
    WriteIndexChunk(writing);
    mmioAscend(file, &writing.riffChunk, 0);
    mmioSeek(file, 12, SEEK_SET);
    WriteHeaderList(writing);
    writing.file.close();
}

}  // namespace

bool OpenFileForWrite(void** handleOut, OpenWriteRequest& request) {
    *handleOut = nullptr;
    std::unique_ptr<WritingFile> writing(new (std::nothrow) WritingFile());
    if (!writing || !request.fileName || !SettlePath(*writing, request.fileName)) {
        return false;
    }
    const bool video = request.videoFrameCount > 0;
    if ((video && !WritableVideo(request.video)) ||
        (request.hasAudio && !WritableAudio(request.audio))) {
        return false;
    }
    if (!DisposeOfExistingFile(writing->path, request.options)) {
        return false;
    }
    uint32_t stateSize = 0;
    if (video) {
        HeldStateSize(request.video, stateSize);
    }
    writing->settingsBlock.reset(size_t(kCompressionSettingsHeaderSize) + stateSize);
    if (video && !SetUpVideo(*writing, request)) {
        return false;
    }
    writing->openDml = video && OpenDmlChosen();
    if (request.hasAudio) {
        SetUpAudio(*writing, request.audio);
    }
    SettleLayout(*writing);
    strcpy(request.fileName, writing->path);
    writing->tag = kHandleTag;
    *handleOut = static_cast<HandleHead*>(writing.release());
    return true;
}

bool CloseFileForWrite(WritingFile* writing) {
    AccessLockGuard lock;
    if (!lock.acquired()) {
        return false;
    }
    if (writing->file) {
        FinishFile(*writing);
    }
    TheWriterBuffers().releaseChunk();
    writing->compressor.close();  // ended first when its compression runs
    writing->tag = 0;
    delete writing;
    return true;
}

}  // namespace zedadu::writer
