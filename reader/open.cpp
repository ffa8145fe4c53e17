// Opening a file for reading: the parse, the decompressor that will decode the video, the image
// layouts it can deliver, the native descriptions and the file time; file info and close.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "frame/avi_ids.h"
#include "frame/text.h"
#include "platform/system/system.h"
#include "reader/bitmap.h"
#include "reader/frame_cache.h"
#include "reader/internal.h"
#include "reader/reader.h"

namespace zedadu::reader {
namespace {

constexpr FOURCC kRunLength = FourCC("MRLE");
constexpr FOURCC kVideo1 = FourCC("MSVC");
constexpr FOURCC kDigitalVideo = FourCC("dvsd");
constexpr uint32_t kImageFlags = 2;
constexpr uint32_t kDigitalVideoImageFlags = 0x102;
constexpr uint32_t kDigitalVideoInfoFlags = 8;
constexpr char kUncompressedName[] = "Uncompressed RGB";
constexpr char kDefaultExtension[] = ".avi";

// A decompressor opened only to negotiate: ended and closed on every path.
class NegotiationDecompressor {
  public:
    explicit NegotiationDecompressor(FOURCC handler)
        : instance_(ICOpen(ICTYPE_VIDEO, handler, ICMODE_DECOMPRESS)) {}
    ~NegotiationDecompressor() {
        if (instance_) {
            ICSendMessage(instance_, ICM_DECOMPRESS_END, 0, 0);
            ICClose(instance_);
        }
    }
    NegotiationDecompressor(const NegotiationDecompressor&) = delete;
    NegotiationDecompressor& operator=(const NegotiationDecompressor&) = delete;
    HIC get() const { return instance_; }

  private:
    HIC instance_;
};

struct LayoutCandidate {
    const char* formatId;
    DWORD compression;
    WORD bits;
    uint32_t bytesPerPixel;
};
constexpr LayoutCandidate kLayoutCandidates[] = {
    {FORMAT_ID_YUY2, avi::kYuy2Compression, 16, 2},
    {FORMAT_ID_RGB24, BI_RGB, 24, 3},
    {FORMAT_ID_RGB32, BI_RGB, 32, 4},
};

FOURCC LowerCase(FOURCC code) {
    FOURCC lower = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = uint8_t(code >> shift);
        lower |= FOURCC(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) << shift;
    }
    return lower;
}

bool SameCodeIgnoringCase(FOURCC a, FOURCC b) {
    return LowerCase(a) == LowerCase(b);
}

void SetPath(AviFileHandle& handle, const char* path) {
    CopyText(handle.path, path);
    if (!strchr(handle.path, '.')) {
        const size_t length = strlen(handle.path);
        CopyText(handle.path + length, sizeof handle.path - length, kDefaultExtension);
    }
}

// Which decompressor decodes the stream, from the stream's handler and its format's compression.
void SettleHandler(AviFileHandle& handle) {
    BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    FOURCC& handler = handle.videoHandler;
    if (source.biBitCount > 8) {
        source.biClrUsed = 0;
    }
    if (source.biCompression == BI_RLE8) {
        handler = kRunLength;
        source.biCompression = BI_RGB;
    }
    if (handler == 0) {
        handler = avi::kUncompressedHandler;
    }
    if (SameCodeIgnoringCase(handler, avi::kUncompressedHandler) &&
        source.biCompression != BI_RGB) {
        handler = source.biCompression;
    }
    if (SameCodeIgnoringCase(handler, FourCC("msvc")) ||
        SameCodeIgnoringCase(handler, FourCC("cram"))) {
        handler = kVideo1;
    }
    if (SameCodeIgnoringCase(handler, avi::kUncompressedHandler)) {
        handler = avi::kUncompressedHandler;
    }
    if (handler == avi::kUncompressedHandler &&
        source.biSizeImage > handle.videoIndex.front().size) {
        handler = kRunLength;
    }
}

// Colour-table entries behind the header of a 1- to 8-bit format, as decompressors count them.
uint64_t ColourTableEntries(const BITMAPINFOHEADER& header) {
    if (header.biBitCount < 1 || header.biBitCount > 8) {
        return 0;
    }
    return header.biClrUsed ? header.biClrUsed : uint64_t(1) << header.biBitCount;
}

// Decompressors read the header's own size of format bytes and the colour table behind them from
// the format the reader holds, so both must lie within it: a count of colours above the 256 that
// 8 bits can index is cut to 256, and a format whose extra bytes and table would run past the
// bytes held fails the open.
bool SettleFormatExtent(AviFileHandle& handle) {
    BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    source.biClrUsed = std::min<DWORD>(source.biClrUsed, 256);
    return uint64_t(source.biSize) + 4 * ColourTableEntries(source) <= sizeof(BitmapInfo);
}

// Uncompressed frames may be stored top row first (a negative height) and may leave the image
// size 0 or too small; both are settled here so that every later step sees a positive height and
// a true image size. A header whose sizes overflow, or any other negative size, is refused; so is
// the one height, -2^31, that has no positive counterpart (even with a width of 0).
bool SettleBitmapSize(AviFileHandle& handle) {
    BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    const bool uncompressed = handle.videoHandler == avi::kUncompressedHandler;
    if (source.biWidth < 0 || source.biHeight == INT32_MIN ||
        (source.biHeight < 0 && !uncompressed)) {
        return false;
    }
    const uint64_t widest =
        BitmapRowBytes(uint64_t(source.biWidth), std::max<WORD>(source.biBitCount, 32)) *
        (source.biHeight < 0 ? -int64_t(source.biHeight) : source.biHeight);
    if (widest > kLargestImageBytes) {
        return false;
    }
    if (source.biHeight < 0) {
        source.biHeight = -source.biHeight;
        handle.topDownRows = true;
    }
    if (uncompressed) {
        // Safe narrowing: the image is below kLargestImageBytes.
        source.biSizeImage = std::max(source.biSizeImage, uint32_t(BitmapImageBytes(source)));
    }
    return true;
}

void FillVideoFormat(AviFileHandle& handle) {
    const BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    ImageFormatStruct& format = handle.videoFormat;
    format.size = sizeof(ImageFormatStruct);
    format.width = source.biWidth;
    format.height = source.biHeight;
    format.flags = handle.videoHandler == kDigitalVideo ? kDigitalVideoImageFlags : kImageFlags;
    char text[2 * kTextSize];  // room for the whole text; the description keeps what fits
    snprintf(text, sizeof text, "%i X %i %i Bit %s", int(source.biWidth), int(source.biHeight),
             int(source.biBitCount), handle.codecInfo.settings()->compressorName);
    CopyText(format.description, text);
}

void Offer(AviFileHandle& handle, const char* formatId, uint32_t bytesPerPixel) {
    ImageFormatStruct& offered = handle.videoOutputs[handle.videoOutputCount++];
    offered = handle.videoFormat;
    CopyText(offered.formatId, formatId);
    offered.imageSize =
        uint32_t(handle.videoFormat.width) * uint32_t(handle.videoFormat.height) * bytesPerPixel;
}

void StoreCompressorName(AviFileHandle& handle, HIC decompressor) {
    ICINFO info{};
    info.dwSize = sizeof info;
    char* name = handle.codecInfo.settings()->compressorName;
    if (ICGetInfo(decompressor, &info, sizeof info) == 0) {
        return;
    }
    const auto end = std::find(std::begin(info.szDescription), std::end(info.szDescription), 0);
    const int length = int(end - std::begin(info.szDescription));
    const int written = WideCharToMultiByte(CP_ACP, 0, info.szDescription, length, name,
                                            int(kTextSize) - 1, nullptr, nullptr);
    name[written > 0 ? written : kTextSize - 1] = '\0';
}

// The output format starts as the source's header with its colour table (which follows the
// header's own size in the source) behind a plain 40-byte header.
void PrepareOutputFormat(AviFileHandle& handle) {
    const BitmapInfo& source = handle.sourceBitmapInfo;
    BitmapInfo& output = handle.outputBitmapInfo;
    output = {};
    output.header = source.header;
    output.header.biSize = sizeof(BITMAPINFOHEADER);
    const size_t tableStart =
        std::clamp<size_t>(source.header.biSize, sizeof(BITMAPINFOHEADER), sizeof(BitmapInfo));
    const size_t tableBytes =
        std::min<size_t>(256 * sizeof(RGBQUAD), sizeof(BitmapInfo) - tableStart);
    memcpy(output.extra, reinterpret_cast<const uint8_t*>(&source) + tableStart, tableBytes);
    output.header.biCompression = BI_RGB;
    output.header.biSizeImage = uint32_t(BitmapImageBytes(output.header));
}

// Asks the decompressor, in a fixed order, which of the host's layouts it delivers. RGB32 is
// offered whenever anything is, because the frame reader widens other output itself.
bool NegotiateLayouts(AviFileHandle& handle, HIC decompressor) {
    BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    handle.videoOutputCount = 0;
    if (SendFormats(decompressor, ICM_DECOMPRESS_QUERY, handle) != ICERR_OK) {
        SendFormats(decompressor, ICM_DECOMPRESS_GET_FORMAT, handle);
    }
    for (const LayoutCandidate& candidate : kLayoutCandidates) {
        output.biCompression = candidate.compression;
        output.biBitCount = candidate.bits;
        output.biSizeImage = uint32_t(std::min(BitmapImageBytes(output), kLargestImageBytes));
        const bool accepted = SendFormats(decompressor, ICM_DECOMPRESS_QUERY, handle) == ICERR_OK;
        if (!accepted) {
            SendFormats(decompressor, ICM_DECOMPRESS_GET_FORMAT, handle);
        }
        const bool widened = candidate.bits == 32 && handle.videoOutputCount > 0;
        if (accepted || widened) {
            Offer(handle, candidate.formatId, candidate.bytesPerPixel);
        }
    }
    return handle.videoOutputCount > 0;
}

bool DescribeCompressedVideo(AviFileHandle& handle) {
    NegotiationDecompressor decompressor(handle.videoHandler);
    if (!decompressor.get()) {
        return false;
    }
    StoreCompressorName(handle, decompressor.get());
    PrepareOutputFormat(handle);
    FillVideoFormat(handle);
    return NegotiateLayouts(handle, decompressor.get());
}

void DescribeUncompressedVideo(AviFileHandle& handle) {
    handle.outputBitmapInfo = handle.sourceBitmapInfo;
    CopyText(handle.codecInfo.settings()->compressorName, kUncompressedName);
    FillVideoFormat(handle);
    handle.videoOutputCount = 0;
    Offer(handle, FORMAT_ID_RGB24, 3);
    Offer(handle, FORMAT_ID_RGB32, 4);
}

bool DescribeVideo(AviFileHandle& handle) {
    SettleHandler(handle);
    if (!SettleFormatExtent(handle) || !SettleBitmapSize(handle)) {
        return false;
    }
    if (handle.videoHandler != avi::kUncompressedHandler) {
        return DescribeCompressedVideo(handle);
    }
    DescribeUncompressedVideo(handle);
    return true;
}

void DescribeAudio(AviFileHandle& handle) {
    const PCMWAVEFORMAT& wave = handle.waveFormat;
    AudioFormatRecord& format = handle.audioFormat;
    const bool sixteenBits = wave.wBitsPerSample == 16;
    format.size = sizeof(AudioFormatRecord);
    format.channels = wave.nChannels;
    format.sampleRate = wave.nSamplesPerSec;
    CopyText(format.formatId, sixteenBits ? FORMAT_ID_PCM16 : FORMAT_ID_PCM8);
    format.frameBytes = sixteenBits ? wave.nChannels * 2u : wave.nChannels;
    snprintf(format.description, sizeof format.description, "%iKHz%s%s",
             int(wave.nSamplesPerSec / 1000), sixteenBits ? " 16bit" : " 8bit",
             wave.nChannels == 2 ? " Stereo" : " Mono");
}

// 8-bit audio is offered as stored and widened to 16 bits.
void OfferAudio(AviFileHandle& handle) {
    if (handle.audioLength == 0) {
        return;
    }
    handle.audioOutputs[0] = handle.audioFormat;
    handle.audioOutputCount = 1;
    if (SameText(handle.audioFormat.formatId, FORMAT_ID_PCM16)) {
        return;
    }
    AudioFormatRecord& widened = handle.audioOutputs[1];
    widened = handle.audioFormat;
    CopyText(widened.formatId, FORMAT_ID_PCM16);
    widened.frameBytes = handle.audioFormat.channels * 2;
    handle.audioOutputCount = 2;
}

bool ReadFileTime(AviFileHandle& handle) {
    HANDLE file = CreateFileA(handle.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME lastWrite{};
    GetFileTime(file, nullptr, nullptr, &lastWrite);
    CloseHandle(file);
    handle.lastWriteTime[0] = lastWrite.dwLowDateTime;
    handle.lastWriteTime[1] = lastWrite.dwHighDateTime;
    return true;
}

}  // namespace

bool OpenFileForRead(void** result, const char* path) {
    *result = nullptr;
    auto handle = std::make_unique<AviFileHandle>();
    // A memo left by a closed handle must not attach itself to a new one at the same address.
    ForgetCachedHandle(handle.get());
    handle->tag = kHandleTag;
    SetPath(*handle, path);
    handle->codecInfo.reset(sizeof(CompressionSettings));
    if (!ParseAviFile(*handle) || (handle->frameCount > 0 && !DescribeVideo(*handle))) {
        return false;
    }
    DescribeAudio(*handle);
    OfferAudio(*handle);
    IndexAudioFrames(*handle);
    if (!ReadFileTime(*handle)) {
        return false;
    }
    *result = handle.release();
    return true;
}

bool GetReadingFileInfo(AviFileHandle& handle, ReadingFileInfo& info) {
    if (info.size < sizeof(ReadingFileInfo)) {
        return false;
    }
    info = {};
    info.size = sizeof(ReadingFileInfo);
    info.lastWriteTime[0] = handle.lastWriteTime[0];
    info.lastWriteTime[1] = handle.lastWriteTime[1];
    info.infoFlags = handle.videoHandler == kDigitalVideo ? kDigitalVideoInfoFlags : 0;
    info.frameCount = handle.frameCount;
    info.audioLength = handle.audioLength;
    info.videoFormats = handle.videoOutputs;
    info.videoFormatCount = handle.videoOutputCount;
    info.audioFormats = handle.audioOutputs;
    info.audioFormatCount = handle.audioOutputCount;
    info.path = handle.path;
    return true;
}

bool CloseReadingFile(AviFileHandle* handle) {
    CloseDecompressor(*handle);
    if (handle->mmioFile) {
        mmioClose(handle->mmioFile, 0);
    }
    ForgetCachedHandle(handle);
    delete handle;
    return true;
}

}  // namespace zedadu::reader
