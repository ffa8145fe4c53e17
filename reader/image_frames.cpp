// Delivering one video frame: the decompressor set up for the wanted size and layout, decoding
// continued from the frame decoded last or begun at the nearest key frame, the frames on the way
// decoded without being drawn, and the frame itself drawn straight into the host's buffer, or into
// the module-wide decode buffer when it is widened or converted on the way to the host.
#include <algorithm>
#include <cstring>

#include "avi/ids.h"
#include "convert/convert.h"
#include "core/module.h"
#include "core/text.h"
#include "reader/bitmap.h"
#include "reader/frame_cache.h"
#include "reader/internal.h"
#include "reader/reader.h"

namespace zedadu::reader {
namespace {

constexpr uint32_t kDigitalVideoRequest = 0x100;

// The requested box grows to the source's aspect ratio, never shrinks. A box that is not positive
// or too large for any buffer asks for the source size instead.
void FitToSourceAspect(const BITMAPINFOHEADER& source, ImageFormatStruct& result) {
    const int64_t sourceWidth = source.biWidth;
    const int64_t sourceHeight = source.biHeight;
    int64_t width = result.width;
    int64_t height = result.height;
    const int64_t fittedWidth = height * sourceWidth / sourceHeight;
    if (width >= fittedWidth) {
        height = sourceHeight * width / sourceWidth;
    } else {
        width = fittedWidth;
    }
    if (width <= 0 || height <= 0 ||
        BitmapRowBytes(uint64_t(width), 32) * uint64_t(height) > kLargestImageBytes) {
        width = sourceWidth;
        height = sourceHeight;
    }
    result.width = int32_t(width);
    result.height = int32_t(height);
}

void SetImageSize(BITMAPINFOHEADER& header) {
    header.biSizeImage = uint32_t(std::min(BitmapImageBytes(header), kLargestImageBytes));
}

bool SameSize(const BITMAPINFOHEADER& header, const ImageFormatStruct& format) {
    return header.biWidth == format.width && header.biHeight == format.height;
}

// A decompressor that refused to scale to the size asked for last is not asked again: the
// request gets the size it delivers.
void KeepTheSizeTheDecompressorDelivers(const ReadingFile& reading, ImageFormatStruct& result) {
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    const Decoding& decoding = reading.decoding;
    if (result.width == decoding.lastRequestedWidth &&
        result.height == decoding.lastRequestedHeight && !SameSize(output, result)) {
        result.width = output.biWidth;
        result.height = output.biHeight;
    }
}

// Asks for the wanted size and layout; a decompressor that cannot scale gets the source size, and
// one that cannot deliver the layout falls back to 24 bits.
bool NegotiateOutput(ReadingFile& reading, const ImageFormatStruct& result,
                     const ImageLayout& wanted) {
    BITMAPINFOHEADER& output = reading.outputFormat.header;
    const BITMAPINFOHEADER& source = reading.streamFormat.header;
    const vfw::Compressor& decompressor = reading.decoding.decompressor;
    output.biCompression = wanted.compression;
    output.biHeight = result.height;
    output.biWidth = result.width;
    output.biBitCount = wanted.bits;
    SetImageSize(output);
    reading.decoding.lastRequestedHeight = result.height;
    reading.decoding.lastRequestedWidth = result.width;
    if (SendFormats(decompressor, ICM_DECOMPRESS_QUERY, reading) == ICERR_OK) {
        return true;
    }
    output.biWidth = source.biWidth;
    output.biHeight = source.biHeight;
    SetImageSize(output);
    SendFormats(decompressor, ICM_DECOMPRESS_GET_FORMAT, reading);
    if (output.biBitCount == wanted.bits && output.biCompression == wanted.compression) {
        return true;
    }
    output.biBitCount = 24;
    output.biCompression = BI_RGB;
    SetImageSize(output);
    return SendFormats(decompressor, ICM_DECOMPRESS_QUERY, reading) == ICERR_OK;
}

// The output a decompressor chose must describe an image the buffers can hold, bottom row first.
bool UsableOutput(BITMAPINFOHEADER& output) {
    if (output.biWidth <= 0 || output.biHeight <= 0 ||
        BitmapImageBytes(output) > kLargestImageBytes) {
        return false;
    }
    output.biSizeImage = std::max(output.biSizeImage, uint32_t(BitmapImageBytes(output)));
    return true;
}

bool SetUpDecompressor(ReadingFile& reading, const ImageFormatStruct& result,
                       const ImageLayout& wanted) {
    Decoding& decoding = reading.decoding;
    decoding.setUpFor = nullptr;
    decoding.decompressor.close();
    decoding.decompressor = vfw::Compressor(reading.videoHandler, ICMODE_DECOMPRESS);
    if (!decoding.decompressor || !NegotiateOutput(reading, result, wanted) ||
        !UsableOutput(reading.outputFormat.header)) {
        return false;
    }
    decoding.setUpFor = &wanted;
    return true;
}

// The open decompressor serves the request when its output has the size asked for and either
// the layout asked for or the fallback it chose for that same layout.
bool DecompressorServes(const ReadingFile& reading, const ImageFormatStruct& result,
                        const ImageLayout& wanted) {
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    const bool sameLayout =
        output.biBitCount == wanted.bits && output.biCompression == wanted.compression;
    const bool sameFallback = reading.decoding.setUpFor == &wanted;
    return reading.decoding.decompressor && SameSize(output, result) &&
           (sameLayout || sameFallback);
}

bool ServedAsYuy2(const BITMAPINFOHEADER& output, const ImageLayout& wanted) {
    return wanted.compression == avi::kYuy2Compression && output.biCompression == BI_RGB &&
           output.biBitCount == 24;
}

// Whether the host gets the decompressor's output as it is, so that it can be drawn there.
bool DeliveredAsDecoded(const BITMAPINFOHEADER& output, const ImageLayout& wanted) {
    return !(wanted.bits == 32 && output.biBitCount != 32) && !ServedAsYuy2(output, wanted);
}

// The bytes the delivered image takes in the host's buffer: 32-bit requests are widened, YUY2
// requests served with 24-bit output are converted, everything else is the output as decoded.
uint64_t DeliveredBytes(const BITMAPINFOHEADER& output, const ImageLayout& wanted) {
    const uint64_t width = uint64_t(output.biWidth);
    const uint64_t height = uint64_t(output.biHeight);
    if (wanted.bits == 32 && output.biBitCount != 32) {
        return width * height * 4;
    }
    if (ServedAsYuy2(output, wanted)) {
        return (width + 1) / 2 * 4 * height;
    }
    return output.biSizeImage;
}

// A new decompressor for the request. An image the host's buffer cannot take is refused before
// anything is begun, allocated or decoded for it. What the decode buffer held continues nothing
// the new decompressor decodes. Asking how far to feed ahead tells the decompressor that the
// reader feeds chunks ahead, so that reading on may move onto frame threads also for codecs that
// hold no picture back.
bool StartDecompressor(ReadingFile& reading, const ImageFrameRequest& request,
                       const ImageLayout& wanted, FrameCache& cache) {
    cache.forget();
    if (!SetUpDecompressor(reading, request.result, wanted)) {
        return false;
    }
    if (DeliveredBytes(reading.outputFormat.header, wanted) > request.bufferSize) {
        reading.decoding.decompressor.close();
        return false;
    }
    SendFormats(reading.decoding.decompressor, ICM_DECOMPRESS_BEGIN, reading);
    reading.decoding.heldBack = AskHeldBack(reading.decoding);
    return true;
}

}  // namespace

// Decodes one frame's chunk into the target; with ICDECOMPRESS_PREROLL among the flags nothing is
// drawn.
Decoded DecodeFrame(ReadingFile& reading, uint32_t frame, FrameCache& cache, DWORD drawFlags,
                    uint8_t* target) {
    const ChunkPlace chunk = ChunkAt(reading.index, Stream::Video, frame);
    if (chunk.size <= kDroppedFrameBytes) {
        return Decoded::Dropped;  // the previous image stands
    }
    // A chunk larger than the read span is larger than the file, so its read would be short.
    HMMIO file = reading.file.get();
    if (chunk.size > uint32_t(reading.index.readSpan) ||
        mmioSeek(file, chunk.position, SEEK_SET) < 0 ||
        mmioRead(file, reinterpret_cast<char*>(cache.chunk()), LONG(chunk.size)) !=
            LONG(chunk.size)) {
        return Decoded::Failed;
    }
    BITMAPINFOHEADER& source = reading.streamFormat.header;
    source.biSizeImage = chunk.size;
    const DWORD flags = reading.index.video[frame].flags & kIndexKeyFrame
                            ? drawFlags
                            : drawFlags | ICDECOMPRESS_NOTKEYFRAME;
    const DWORD result = ICDecompress(reading.decoding.decompressor.get(), flags, &source,
                                      cache.chunk(), &reading.outputFormat.header, target);
    return result == DWORD(ICERR_DONTDRAW) ? Decoded::NoPicture : Decoded::Done;
}

// The decompressor draws the newest picture it decoded again, decoding nothing.
void Redraw(ReadingFile& reading, uint8_t* target) {
    BITMAPINFOHEADER& source = reading.streamFormat.header;
    source.biSizeImage = 0;
    ICDecompress(reading.decoding.decompressor.get(), ICDECOMPRESS_UPDATE, &source, nullptr,
                 &reading.outputFormat.header, target);
}

namespace {

// A chunk that released no picture: the decompressor may hold pictures back, which it then says.
bool LearnsToHoldBack(ReadingFile& reading, Decoded decoded) {
    if (decoded != Decoded::NoPicture) {
        return false;
    }
    reading.decoding.heldBack = AskHeldBack(reading.decoding);
    return reading.decoding.heldBack > 0;
}

// Sequential reading continues from the cached frame; other frames start from the nearest key
// frame, or from the frame after the cached one when that comes first.
uint32_t FirstFrameToDecode(const ReadingFile& reading, uint32_t frame, int64_t cached) {
    if (frame == 0 || int64_t(frame) == cached + 1) {
        return frame;
    }
    uint32_t start = frame;
    while (!(reading.index.video[start].flags & kIndexKeyFrame) && start != 0 &&
           int64_t(start) != cached + 1) {
        --start;
    }
    return start;
}

// The target ends up holding the frame's image: the decode buffer's image of it when it holds one,
// else the frame drawn as it is decoded, else the decompressor's newest picture drawn again (the
// frame was drawn into the host's buffer before, or its chunk was dropped). The frames before it
// are decoded without being drawn.
bool DecodeUpTo(ReadingFile& reading, uint32_t frame, FrameCache& cache, uint8_t* target) {
    if (reading.decoding.heldBack > 0) {
        return DecodeHeldBack(reading, frame, cache, target);
    }
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    const int64_t cached = cache.lookUp(reading, output.biWidth, output.biHeight);
    bool drawn = cached >= 0 && cache.holdsImage() && target == cache.decoded();
    if (int64_t(frame) != cached) {
        const uint32_t first = FirstFrameToDecode(reading, frame, cached);
        cache.forget();
        if (cached >= 0 && int64_t(first) != cached + 1) {
            // A jump: the decompressor starts afresh, and counts the chunks read in order anew.
            SendFormats(reading.decoding.decompressor, ICM_DECOMPRESS_BEGIN, reading);
        }
        for (uint32_t i = first; i <= frame; ++i) {
            const Decoded decoded =
                DecodeFrame(reading, i, cache, i == frame ? 0 : ICDECOMPRESS_PREROLL, target);
            if (decoded == Decoded::Failed) {
                return false;
            }
            if (LearnsToHoldBack(reading, decoded)) {
                const bool releasedBefore = i > first || int64_t(first) == cached + 1;
                return ContinueHeldBack(reading, frame, i, releasedBefore, cache, target);
            }
            drawn = decoded == Decoded::Dropped ? drawn : i == frame;
        }
    }
    if (!drawn) {
        Redraw(reading, target);
    }
    cache.holdImage(target == cache.decoded());
    return true;
}

// A YUY2 request that the decompressor serves with 24-bit output gets YUY2 all the same, top
// row first as YUY2 is laid out; the decoded image stays intact for the next frame.
bool DeliverAsYuy2(const ReadingFile& reading, ImageFrameRequest& request, FrameCache& cache) {
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    const size_t width = size_t(output.biWidth);
    const size_t height = size_t(output.biHeight);
    const size_t bytes = (width + 1) / 2 * 4 * height;
    GrowOnlyBuffer& scratch = cache.scratch();
    if (!scratch.ensure(std::max(bytes, 3 * width * height))) {
        return false;
    }
    const size_t stride = BitmapRowBytes(width, 24);
    for (size_t row = 0; row < height; ++row) {
        memcpy(scratch.data() + 3 * width * row, cache.decoded() + stride * (height - 1 - row),
               3 * width);
    }
    ConvertColorSpace(scratch.data(), int32_t(width), int32_t(height), 24, kLayout422);
    memcpy(request.buffer, scratch.data(), bytes);
    request.result.imageSize = uint32_t(bytes);
    CopyText(request.result.formatId, FORMAT_ID_YUY2);
    return true;
}

bool DeliverDecoded(const ReadingFile& reading, ImageFrameRequest& request,
                    const ImageLayout& wanted, FrameCache& cache) {
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    ImageFormatStruct& result = request.result;
    if (wanted.bits == 32 && output.biBitCount != 32) {
        const uint64_t bytes = DeliveredBytes(output, wanted);
        WidenBitmap(reading.outputFormat, cache.decoded(), static_cast<uint8_t*>(request.buffer),
                    bytes, 4, false);
        result.imageSize = uint32_t(bytes);
        CopyText(result.formatId, FORMAT_ID_RGB32);
        return true;
    }
    if (ServedAsYuy2(output, wanted)) {
        return DeliverAsYuy2(reading, request, cache);
    }
    // Drawn straight into the host's buffer.
    result.imageSize = output.biSizeImage;
    if (const char* formatId = FormatIdOfBits(output.biBitCount)) {
        CopyText(result.formatId, formatId);
    }
    return true;
}

bool ReadCompressedFrame(ReadingFile& reading, ImageFrameRequest& request,
                         const ImageLayout& wanted, FrameCache& cache) {
    ImageFormatStruct& result = request.result;
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    KeepTheSizeTheDecompressorDelivers(reading, result);
    if (!DecompressorServes(reading, result, wanted) &&
        !StartDecompressor(reading, request, wanted, cache)) {
        return false;
    }
    const bool intoHostBuffer = DeliveredAsDecoded(output, wanted);
    if (DeliveredBytes(output, wanted) > request.bufferSize ||
        !cache.makeRoom(intoHostBuffer ? 0 : size_t(output.biSizeImage),
                        size_t(reading.index.readSpan))) {
        return false;
    }
    uint8_t* target = intoHostBuffer ? static_cast<uint8_t*>(request.buffer) : cache.decoded();
    if (!DecodeUpTo(reading, request.frameNumber, cache, target)) {
        return false;
    }
    result.width = output.biWidth;
    result.height = output.biHeight;
    result.flags =
        request.requested.flags & kDigitalVideoRequest ? kDigitalVideoImageFlags : kImageFlags;
    return DeliverDecoded(reading, request, wanted, cache);
}

// The bytes per pixel that stored pixels are widened to for this request, or 0 to deliver them as
// stored: 32-bit requests always get 32 bits; 24-bit requests of palette and 5-5-5 frames are
// widened too rather than handed over in a layout the request did not name.
int WidenedBytes(const BITMAPINFOHEADER& stored, const ImageLayout& wanted) {
    if (wanted.bits == 32 && stored.biBitCount != 32) {
        return 4;
    }
    if (wanted.bits == 24 && (stored.biBitCount == 8 || stored.biBitCount == 16)) {
        return 3;
    }
    return 0;
}

bool ReadStoredPixels(ReadingFile& reading, uint8_t* out, uint64_t count) {
    return mmioRead(reading.file.get(), reinterpret_cast<char*>(out), LONG(count)) == LONG(count);
}

bool DeliverWidened(ReadingFile& reading, ImageFrameRequest& request, uint64_t count, int outBytes,
                    FrameCache& cache) {
    const BITMAPINFOHEADER& stored = reading.outputFormat.header;
    const uint64_t width = uint64_t(stored.biWidth);
    const uint64_t height = uint64_t(stored.biHeight);
    const uint64_t bytes = outBytes == 4 ? width * height * 4 : BitmapRowBytes(width, 24) * height;
    if (bytes > request.bufferSize) {
        return false;
    }
    cache.forget();  // the decode buffer changes from here on
    if (!cache.makeRoom(std::max(count, BitmapImageBytes(stored)), 0) ||
        !ReadStoredPixels(reading, cache.decoded(), count)) {
        return false;
    }
    WidenBitmap(reading.outputFormat, cache.decoded(), static_cast<uint8_t*>(request.buffer), bytes,
                outBytes, reading.topDownRows);
    request.result.imageSize = uint32_t(bytes);
    CopyText(request.result.formatId, outBytes == 4 ? FORMAT_ID_RGB32 : FORMAT_ID_RGB24);
    return true;
}

// The whole image must fit the host's buffer, even when the chunk holds less of it: the size
// reported is the image's.
bool DeliverAsStored(ReadingFile& reading, ImageFrameRequest& request, uint64_t count) {
    const BITMAPINFOHEADER& stored = reading.outputFormat.header;
    auto* buffer = static_cast<uint8_t*>(request.buffer);
    if (stored.biSizeImage > request.bufferSize || !ReadStoredPixels(reading, buffer, count)) {
        return false;
    }
    // Rows stored top row first reach the host bottom row first, like every other bitmap.
    if (reading.topDownRows && count == BitmapImageBytes(stored)) {
        ReverseRows(buffer, BitmapRowBytes(uint64_t(stored.biWidth), stored.biBitCount),
                    size_t(stored.biHeight));
    }
    request.result.imageSize = stored.biSizeImage;
    if (stored.biBitCount == 32 || stored.biBitCount == 24) {
        CopyText(request.result.formatId, FormatIdOfBits(stored.biBitCount));
    }
    return true;
}

bool ReadUncompressedFrame(ReadingFile& reading, ImageFrameRequest& request,
                           const ImageLayout& wanted, FrameCache& cache) {
    const BITMAPINFOHEADER& stored = reading.outputFormat.header;
    const ChunkPlace chunk = ChunkAt(reading.index, Stream::Video, request.frameNumber);
    request.result.height = stored.biHeight;
    request.result.width = stored.biWidth;
    request.result.flags = kImageFlags;
    const uint64_t count = std::min<uint64_t>(stored.biSizeImage, chunk.size);
    // A chunk larger than the read span is larger than the file, so its read would be short.
    if (count > uint64_t(reading.index.readSpan) ||
        mmioSeek(reading.file.get(), chunk.position, SEEK_SET) < 0) {
        return false;
    }
    if (const int outBytes = WidenedBytes(stored, wanted)) {
        return DeliverWidened(reading, request, count, outBytes, cache);
    }
    return DeliverAsStored(reading, request, count);
}

}  // namespace

LRESULT SendFormats(const vfw::Compressor& decompressor, UINT message, ReadingFile& reading) {
    return decompressor.send(message, &reading.streamFormat.header, &reading.outputFormat.header);
}

bool ReadImageFrame(ReadingFile& reading, ImageFrameRequest& request) {
    if (request.frameNumber >= reading.frameCount) {
        return false;
    }
    AccessLockGuard lock;
    if (!lock.acquired() || !EnsureFileOpen(reading)) {
        return false;
    }
    request.result = request.requested;
    const ImageLayout* wanted = FindImageLayout(request.result.formatId);
    const BITMAPINFOHEADER& source = reading.streamFormat.header;
    if (!wanted || source.biWidth == 0 || source.biHeight == 0) {
        return false;
    }
    FitToSourceAspect(source, request.result);
    FrameCache& cache = TheFrameCache();
    const bool delivered = reading.videoHandler == avi::kUncompressedHandler
                               ? ReadUncompressedFrame(reading, request, *wanted, cache)
                               : ReadCompressedFrame(reading, request, *wanted, cache);
    if (!delivered) {
        return false;
    }
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    cache.remember(reading, request.frameNumber, output.biWidth, output.biHeight);
    return true;
}

}  // namespace zedadu::reader
