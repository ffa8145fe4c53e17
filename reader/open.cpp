// Opening a file for reading: the parse, the decompressor that will decode the video, the image
// layouts it can deliver, the native descriptions and the file time; file info and close.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "avi/ids.h"
#include "core/text.h"
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
constexpr uint32_t kDigitalVideoInfoFlags = 8;
constexpr char kUncompressedName[] = "Uncompressed RGB";
constexpr char kDefaultExtension[] = ".avi";

void SetPath(ReadingFile& reading, const char* path) {
    CopyText(reading.path, path);
    if (!strchr(reading.path, '.')) {
        const size_t length = strlen(reading.path);
        CopyText(reading.path + length, sizeof reading.path - length, kDefaultExtension);
    }
}

// Which decompressor decodes the stream, from the stream's handler and its format's compression.
void SettleHandler(ReadingFile& reading) {
    BITMAPINFOHEADER& source = reading.streamFormat.header;
    FOURCC& handler = reading.videoHandler;
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
    if (SameFourCCIgnoringCase(handler, avi::kUncompressedHandler) &&
        source.biCompression != BI_RGB) {
        handler = source.biCompression;
    }
    if (SameFourCCIgnoringCase(handler, FourCC("msvc")) ||
        SameFourCCIgnoringCase(handler, FourCC("cram"))) {
        handler = kVideo1;
    }
    if (SameFourCCIgnoringCase(handler, avi::kUncompressedHandler)) {
        handler = avi::kUncompressedHandler;
    }
    if (handler == avi::kUncompressedHandler &&
        source.biSizeImage > reading.index.video.front().size) {
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
bool SettleFormatExtent(ReadingFile& reading) {
    BITMAPINFOHEADER& source = reading.streamFormat.header;
    source.biClrUsed = std::min<DWORD>(source.biClrUsed, 256);
    return uint64_t(source.biSize) + 4 * ColourTableEntries(source) <= sizeof(BitmapInfo);
}

// Uncompressed frames may be stored top row first (a negative height) and may leave the image
// size 0 or too small; both are settled here so that every later step sees a positive height and
// a true image size. A header whose sizes overflow, or any other negative size, is refused; so is
// the one height, -2^31, that has no positive counterpart (even with a width of 0).
bool SettleBitmapSize(ReadingFile& reading) {
    BITMAPINFOHEADER& source = reading.streamFormat.header;
    const bool uncompressed = reading.videoHandler == avi::kUncompressedHandler;
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
        reading.topDownRows = true;
    }
    if (uncompressed) {
        // Safe narrowing: the image is below kLargestImageBytes.
        source.biSizeImage = std::max(source.biSizeImage, uint32_t(BitmapImageBytes(source)));
    }
    return true;
}

void FillVideoFormat(ReadingFile& reading) {
    const BITMAPINFOHEADER& source = reading.streamFormat.header;
    ImageFormatStruct& format = reading.videoFormat;
    format.size = sizeof(ImageFormatStruct);
    format.width = source.biWidth;
    format.height = source.biHeight;
    format.flags = reading.videoHandler == kDigitalVideo ? kDigitalVideoImageFlags : kImageFlags;
    char text[2 * kTextSize];  // room for the whole text; the description keeps what fits
    snprintf(text, sizeof text, "%i X %i %i Bit %s", int(source.biWidth), int(source.biHeight),
             int(source.biBitCount), reading.decompressorName);
    CopyText(format.description, text);
}

void Offer(ReadingFile& reading, const ImageLayout& layout) {
    ImageFormatStruct& offered = reading.offered.video[reading.offered.videoCount++];
    offered = reading.videoFormat;
    CopyText(offered.formatId, layout.formatId);
    offered.imageSize = uint32_t(reading.videoFormat.width) * uint32_t(reading.videoFormat.height) *
                        layout.bytesPerPixel;
}

void StoreDecompressorName(ReadingFile& reading, const vfw::Compressor& decompressor) {
    ICINFO info{};
    info.dwSize = sizeof info;
    char* name = reading.decompressorName;
    if (ICGetInfo(decompressor.get(), &info, sizeof info) == 0) {
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
void PrepareOutputFormat(ReadingFile& reading) {
    const BitmapInfo& source = reading.streamFormat;
    BitmapInfo& output = reading.outputFormat;
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
bool NegotiateLayouts(ReadingFile& reading, const vfw::Compressor& decompressor) {
    BITMAPINFOHEADER& output = reading.outputFormat.header;
    reading.offered.videoCount = 0;
    if (SendFormats(decompressor, ICM_DECOMPRESS_QUERY, reading) != ICERR_OK) {
        SendFormats(decompressor, ICM_DECOMPRESS_GET_FORMAT, reading);
    }
    for (const ImageLayout& candidate : kImageLayouts) {
        output.biCompression = candidate.compression;
        output.biBitCount = candidate.bits;
        output.biSizeImage = uint32_t(std::min(BitmapImageBytes(output), kLargestImageBytes));
        const bool accepted = SendFormats(decompressor, ICM_DECOMPRESS_QUERY, reading) == ICERR_OK;
        if (!accepted) {
            SendFormats(decompressor, ICM_DECOMPRESS_GET_FORMAT, reading);
        }
        const bool widened = candidate.bits == 32 && reading.offered.videoCount > 0;
        if (accepted || widened) {
            Offer(reading, candidate);
        }
    }
    return reading.offered.videoCount > 0;
}

// The decompressor is opened here only to negotiate; frame reading opens its own.
bool DescribeCompressedVideo(ReadingFile& reading) {
    const vfw::Compressor decompressor(reading.videoHandler, ICMODE_DECOMPRESS);
    if (!decompressor) {
        return false;
    }
    StoreDecompressorName(reading, decompressor);
    PrepareOutputFormat(reading);
    FillVideoFormat(reading);
    return NegotiateLayouts(reading, decompressor);
}

void DescribeUncompressedVideo(ReadingFile& reading) {
    reading.outputFormat = reading.streamFormat;
    CopyText(reading.decompressorName, kUncompressedName);
    FillVideoFormat(reading);
    reading.offered.videoCount = 0;
    Offer(reading, *FindImageLayout(FORMAT_ID_RGB24));
    Offer(reading, *FindImageLayout(FORMAT_ID_RGB32));
}

bool DescribeVideo(ReadingFile& reading) {
    SettleHandler(reading);
    if (!SettleFormatExtent(reading) || !SettleBitmapSize(reading)) {
        return false;
    }
    if (reading.videoHandler != avi::kUncompressedHandler) {
        return DescribeCompressedVideo(reading);
    }
    DescribeUncompressedVideo(reading);
    return true;
}

// A decoded track is described as the 16-bit PCM it is delivered as, at the decoder's rate and
// channels.
void DescribeAudio(ReadingFile& reading) {
    const PCMWAVEFORMAT& wave = reading.waveFormat;
    const audio::AudioDecoder* decoder = reading.audioDecoding.decoder.get();
    const uint32_t channels = decoder ? uint32_t(decoder->channels()) : wave.nChannels;
    const uint32_t rate = decoder ? uint32_t(decoder->sampleRate()) : wave.nSamplesPerSec;
    AudioFormatRecord& format = reading.audioFormat;
    const bool sixteenBits = wave.wBitsPerSample == 16 || decoder;
    format.size = sizeof(AudioFormatRecord);
    format.channels = channels;
    format.sampleRate = rate;
    CopyText(format.formatId, sixteenBits ? FORMAT_ID_PCM16 : FORMAT_ID_PCM8);
    format.frameBytes = sixteenBits ? channels * 2u : channels;
    snprintf(format.description, sizeof format.description, "%iKHz%s%s", int(rate / 1000),
             sixteenBits ? " 16bit" : " 8bit", channels == 2 ? " Stereo" : " Mono");
}

// 8-bit audio is offered as stored and widened to 16 bits.
void OfferAudio(ReadingFile& reading) {
    if (reading.audioLength == 0) {
        return;
    }
    Layouts& offered = reading.offered;
    offered.audio[0] = reading.audioFormat;
    offered.audioCount = 1;
    if (SameText(reading.audioFormat.formatId, FORMAT_ID_PCM16)) {
        return;
    }
    AudioFormatRecord& widened = offered.audio[1];
    widened = reading.audioFormat;
    CopyText(widened.formatId, FORMAT_ID_PCM16);
    widened.frameBytes = reading.audioFormat.channels * 2;
    offered.audioCount = 2;
}

bool ReadFileTime(ReadingFile& reading) {
    HANDLE file = CreateFileA(reading.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME lastWrite{};
    GetFileTime(file, nullptr, nullptr, &lastWrite);
    CloseHandle(file);
    reading.lastWriteTime[0] = lastWrite.dwLowDateTime;
    reading.lastWriteTime[1] = lastWrite.dwHighDateTime;
    return true;
}

}  // namespace

bool OpenFileForRead(void** result, const char* path) {
    *result = nullptr;
    auto reading = std::make_unique<ReadingFile>();
    // A memo left by a closed handle must not attach itself to a new one at the same address.
    TheFrameCache().forget(*reading);
    reading->tag = kHandleTag;
    SetPath(*reading, path);
    if (!ParseAviFile(*reading) || (reading->frameCount > 0 && !DescribeVideo(*reading))) {
        return false;
    }
    FindRebuiltKeyFrames(*reading);
    SetUpAudioDecoding(*reading);
    IndexAudioFrames(*reading);
    DescribeAudio(*reading);
    OfferAudio(*reading);
    if (!ReadFileTime(*reading)) {
        return false;
    }
    *result = static_cast<HandleHead*>(reading.release());
    return true;
}

bool GetReadingFileInfo(ReadingFile& reading, ReadingFileInfo& info) {
    if (!StartFileInfo(info, reading.offered)) {
        return false;
    }
    info.lastWriteTime[0] = reading.lastWriteTime[0];
    info.lastWriteTime[1] = reading.lastWriteTime[1];
    info.infoFlags = reading.videoHandler == kDigitalVideo ? kDigitalVideoInfoFlags : 0;
    info.frameCount = reading.frameCount;
    info.audioLength = reading.audioLength;
    info.path = reading.path;
    return true;
}

// The decompressor and the file go with their owners.
bool CloseReadingFile(ReadingFile* reading) {
    TheFrameCache().forget(*reading);
    delete reading;
    return true;
}

}  // namespace zedadu::reader
