// Delivering one video frame: the decompressor set up for the wanted size and layout, decoding
// through the module-wide frame cache (continuing from the frame decoded last, else from the
// nearest key frame), and copying, widening or converting into the host's buffer.
#include <algorithm>
#include <cstring>

#include "convert/convert.h"
#include "frame/avi_ids.h"
#include "frame/module.h"
#include "frame/text.h"
#include "reader/bitmap.h"
#include "reader/frame_cache.h"
#include "reader/internal.h"
#include "reader/reader.h"

namespace zedadu::reader {
namespace {

constexpr uint32_t kImageFlags = 2;
constexpr uint32_t kDigitalVideoRequest = 0x100;
constexpr uint32_t kDigitalVideoImageFlags = 0x102;
constexpr uint32_t kDroppedFrameBytes = 2;  // chunks this small hold no picture
// libswscale writes up to 16 bytes past the end of a bitmap row whose width is not a multiple of
// its vector width (450 pixels of 24 bits, for instance); the last row in memory would spill out
// of the decode buffer, so the buffer keeps that much room behind the image.
constexpr size_t kScalerOverrun = 64;

struct WantedLayout {
    const char* formatId;
    WORD bits;
    DWORD compression;
};
constexpr WantedLayout kWantedLayouts[] = {
    {FORMAT_ID_RGB32, 32, BI_RGB},
    {FORMAT_ID_RGB24, 24, BI_RGB},
    {FORMAT_ID_YUY2, 16, avi::kYuy2Compression},
};

const WantedLayout* FindWantedLayout(const char* formatId) {
    for (const WantedLayout& layout : kWantedLayouts) {
        if (SameText(formatId, layout.formatId)) {
            return &layout;
        }
    }
    return nullptr;
}

// The formatId that names output of this bit count, or null for a count no layout has.
const char* FormatIdOfBits(WORD bits) {
    for (const WantedLayout& layout : kWantedLayouts) {
        if (layout.bits == bits) {
            return layout.formatId;
        }
    }
    return nullptr;
}

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

// Asks for the wanted size and layout; a decompressor that cannot scale gets the source size, and
// one that cannot deliver the layout falls back to 24 bits.
bool NegotiateOutput(AviFileHandle& handle, const ImageFormatStruct& result,
                     const WantedLayout& wanted) {
    BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    const BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    output.biCompression = wanted.compression;
    output.biHeight = result.height;
    output.biWidth = result.width;
    output.biBitCount = wanted.bits;
    SetImageSize(output);
    handle.lastRequestedHeight = result.height;
    handle.lastRequestedWidth = result.width;
    if (SendFormats(handle.decompressor, ICM_DECOMPRESS_QUERY, handle) == ICERR_OK) {
        return true;
    }
    output.biWidth = source.biWidth;
    output.biHeight = source.biHeight;
    SetImageSize(output);
    SendFormats(handle.decompressor, ICM_DECOMPRESS_GET_FORMAT, handle);
    if (output.biBitCount == wanted.bits && output.biCompression == wanted.compression) {
        return true;
    }
    output.biBitCount = 24;
    output.biCompression = BI_RGB;
    SetImageSize(output);
    return SendFormats(handle.decompressor, ICM_DECOMPRESS_QUERY, handle) == ICERR_OK;
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

bool SetUpDecompressor(AviFileHandle& handle, const ImageFormatStruct& result,
                       const WantedLayout& wanted) {
    CloseDecompressor(handle);
    handle.decompressor = ICOpen(ICTYPE_VIDEO, handle.videoHandler, ICMODE_DECOMPRESS);
    if (!handle.decompressor || !NegotiateOutput(handle, result, wanted) ||
        !UsableOutput(handle.outputBitmapInfo.header)) {
        return false;
    }
    handle.decompressorWantedBits = wanted.bits;
    handle.decompressorWantedCompression = wanted.compression;
    return true;
}

// The open decompressor serves the request when its output has the size asked for and either
// the layout asked for or the fallback it chose for that same layout.
bool DecompressorServes(const AviFileHandle& handle, const ImageFormatStruct& result,
                        const WantedLayout& wanted) {
    const BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    const bool sameLayout =
        output.biBitCount == wanted.bits && output.biCompression == wanted.compression;
    const bool sameFallback = handle.decompressorWantedBits == wanted.bits &&
                              handle.decompressorWantedCompression == wanted.compression;
    return handle.decompressor && SameSize(output, result) && (sameLayout || sameFallback);
}

bool DecodeFrame(AviFileHandle& handle, uint32_t frame, FrameCache& cache) {
    const IndexEntry& entry = handle.videoIndex[frame];
    if (entry.size <= kDroppedFrameBytes) {
        return true;  // a dropped frame: the previous image stands
    }
    // A chunk larger than the read span is larger than the file, so its read would be short.
    if (entry.size > uint32_t(handle.readSpan) ||
        mmioSeek(handle.mmioFile, entry.offset, SEEK_SET) < 0 ||
        mmioRead(handle.mmioFile, reinterpret_cast<char*>(cache.read.data()), LONG(entry.size)) !=
            LONG(entry.size)) {
        return false;
    }
    BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    source.biSizeImage = entry.size;
    const DWORD flags = entry.flags & kIndexKeyFrame ? 0 : ICDECOMPRESS_NOTKEYFRAME;
    ICDecompress(handle.decompressor, flags, &source, cache.read.data(),
                 &handle.outputBitmapInfo.header, cache.decode.data());
    return true;
}

// Sequential reading continues from the cached frame; other frames start from the nearest key
// frame, or from the frame after the cached one when that comes first.
uint32_t FirstFrameToDecode(const AviFileHandle& handle, uint32_t frame, int64_t cached) {
    if (frame == 0 || int64_t(frame) == cached + 1) {
        return frame;
    }
    uint32_t start = frame;
    while (!(handle.videoIndex[start].flags & kIndexKeyFrame) && start != 0 &&
           int64_t(start) != cached + 1) {
        --start;
    }
    return start;
}

bool DecodeUpTo(AviFileHandle& handle, uint32_t frame, int64_t cached, FrameCache& cache) {
    if (int64_t(frame) == cached) {
        return true;
    }
    cache.frame = -1;  // the decode buffer changes from here on
    for (uint32_t i = FirstFrameToDecode(handle, frame, cached); i <= frame; ++i) {
        if (!DecodeFrame(handle, i, cache)) {
            return false;
        }
    }
    return true;
}

bool ServedAsYuy2(const BITMAPINFOHEADER& output, const WantedLayout& wanted) {
    return wanted.compression == avi::kYuy2Compression && output.biCompression == BI_RGB &&
           output.biBitCount == 24;
}

// The bytes the delivered image takes in the host's buffer: 32-bit requests are widened, YUY2
// requests served with 24-bit output are converted, everything else is the output as decoded.
uint64_t DeliveredBytes(const BITMAPINFOHEADER& output, const WantedLayout& wanted) {
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

// A YUY2 request that the decompressor serves with 24-bit output gets YUY2 all the same, top
// row first as YUY2 is laid out; the decoded image stays intact for the next frame.
bool DeliverAsYuy2(const AviFileHandle& handle, ImageFrameRequest& request, FrameCache& cache) {
    const BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    const size_t width = size_t(output.biWidth);
    const size_t height = size_t(output.biHeight);
    const size_t bytes = (width + 1) / 2 * 4 * height;
    if (!cache.scratch.ensure(std::max(bytes, 3 * width * height))) {
        return false;
    }
    const size_t stride = BitmapRowBytes(width, 24);
    for (size_t row = 0; row < height; ++row) {
        memcpy(cache.scratch.data() + 3 * width * row,
               cache.decode.data() + stride * (height - 1 - row), 3 * width);
    }
    ConvertColorSpace(cache.scratch.data(), int32_t(width), int32_t(height), 24, kLayout422);
    memcpy(request.buffer, cache.scratch.data(), bytes);
    request.result.imageSize = uint32_t(bytes);
    CopyText(request.result.formatId, FORMAT_ID_YUY2);
    return true;
}

bool DeliverDecoded(const AviFileHandle& handle, ImageFrameRequest& request,
                    const WantedLayout& wanted, FrameCache& cache) {
    const BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    ImageFormatStruct& result = request.result;
    if (wanted.bits == 32 && output.biBitCount != 32) {
        const uint64_t bytes = DeliveredBytes(output, wanted);
        WidenBitmap(handle.outputBitmapInfo, cache.decode.data(),
                    static_cast<uint8_t*>(request.buffer), bytes, 4, false);
        result.imageSize = uint32_t(bytes);
        CopyText(result.formatId, FORMAT_ID_RGB32);
        return true;
    }
    if (ServedAsYuy2(output, wanted)) {
        return DeliverAsYuy2(handle, request, cache);
    }
    memcpy(request.buffer, cache.decode.data(), output.biSizeImage);
    result.imageSize = output.biSizeImage;
    if (const char* formatId = FormatIdOfBits(output.biBitCount)) {
        CopyText(result.formatId, formatId);
    }
    return true;
}

bool ReadCompressedFrame(AviFileHandle& handle, ImageFrameRequest& request,
                         const WantedLayout& wanted, FrameCache& cache) {
    ImageFormatStruct& result = request.result;
    const BITMAPINFOHEADER& output = handle.outputBitmapInfo.header;
    int64_t cached = cache.handle.load() == &handle && cache.width == output.biWidth &&
                             cache.height == output.biHeight
                         ? cache.frame
                         : -1;
    // A decompressor that refused to scale to this size is not asked again.
    if (result.width == handle.lastRequestedWidth && result.height == handle.lastRequestedHeight &&
        !SameSize(output, result)) {
        result.width = output.biWidth;
        result.height = output.biHeight;
    }
    const bool fresh = !DecompressorServes(handle, result, wanted);
    if (fresh) {
        handle.decompressorWantedBits = 0;
        handle.decompressorWantedCompression = 0;
        if (!SetUpDecompressor(handle, result, wanted)) {
            return false;
        }
        cached = -1;
    }
    // An image the host's buffer cannot take is refused before anything is begun, allocated or
    // decoded for it.
    if (DeliveredBytes(output, wanted) > request.bufferSize) {
        if (fresh) {
            CloseDecompressor(handle);
        }
        return false;
    }
    if (fresh) {
        SendFormats(handle.decompressor, ICM_DECOMPRESS_BEGIN, handle);
    }
    const size_t decodeBytes = size_t(output.biSizeImage) + kScalerOverrun;
    if (cache.decode.size() < decodeBytes) {
        cached = -1;  // growing loses the decoded image
    }
    if (!cache.decode.ensure(decodeBytes) || !cache.read.ensure(size_t(handle.readSpan)) ||
        !DecodeUpTo(handle, request.frameNumber, cached, cache)) {
        return false;
    }
    result.width = output.biWidth;
    result.height = output.biHeight;
    result.flags =
        request.requested.flags & kDigitalVideoRequest ? kDigitalVideoImageFlags : kImageFlags;
    return DeliverDecoded(handle, request, wanted, cache);
}

// The bytes per pixel that stored pixels are widened to for this request, or 0 to deliver them as
// stored: 32-bit requests always get 32 bits; 24-bit requests of palette and 5-5-5 frames are
// widened too rather than handed over in a layout the request did not name.
int WidenedBytes(const BITMAPINFOHEADER& stored, const WantedLayout& wanted) {
    if (wanted.bits == 32 && stored.biBitCount != 32) {
        return 4;
    }
    if (wanted.bits == 24 && (stored.biBitCount == 8 || stored.biBitCount == 16)) {
        return 3;
    }
    return 0;
}

bool ReadStoredPixels(AviFileHandle& handle, uint8_t* out, uint64_t count) {
    return mmioRead(handle.mmioFile, reinterpret_cast<char*>(out), LONG(count)) == LONG(count);
}

bool DeliverWidened(AviFileHandle& handle, ImageFrameRequest& request, uint64_t count, int outBytes,
                    FrameCache& cache) {
    const BITMAPINFOHEADER& stored = handle.outputBitmapInfo.header;
    const uint64_t width = uint64_t(stored.biWidth);
    const uint64_t height = uint64_t(stored.biHeight);
    const uint64_t bytes = outBytes == 4 ? width * height * 4 : BitmapRowBytes(width, 24) * height;
    if (bytes > request.bufferSize) {
        return false;
    }
    cache.frame = -1;  // the decode buffer changes from here on
    if (!cache.decode.ensure(std::max(count, BitmapImageBytes(stored))) ||
        !ReadStoredPixels(handle, cache.decode.data(), count)) {
        return false;
    }
    WidenBitmap(handle.outputBitmapInfo, cache.decode.data(), static_cast<uint8_t*>(request.buffer),
                bytes, outBytes, handle.topDownRows);
    request.result.imageSize = uint32_t(bytes);
    CopyText(request.result.formatId, outBytes == 4 ? FORMAT_ID_RGB32 : FORMAT_ID_RGB24);
    return true;
}

// The whole image must fit the host's buffer, even when the chunk holds less of it: the size
// reported is the image's.
bool DeliverAsStored(AviFileHandle& handle, ImageFrameRequest& request, uint64_t count) {
    const BITMAPINFOHEADER& stored = handle.outputBitmapInfo.header;
    auto* buffer = static_cast<uint8_t*>(request.buffer);
    if (stored.biSizeImage > request.bufferSize || !ReadStoredPixels(handle, buffer, count)) {
        return false;
    }
    // Rows stored top row first reach the host bottom row first, like every other bitmap.
    if (handle.topDownRows && count == BitmapImageBytes(stored)) {
        ReverseRows(buffer, BitmapRowBytes(uint64_t(stored.biWidth), stored.biBitCount),
                    size_t(stored.biHeight));
    }
    request.result.imageSize = stored.biSizeImage;
    if (stored.biBitCount == 32 || stored.biBitCount == 24) {
        CopyText(request.result.formatId, FormatIdOfBits(stored.biBitCount));
    }
    return true;
}

bool ReadUncompressedFrame(AviFileHandle& handle, ImageFrameRequest& request,
                           const WantedLayout& wanted, FrameCache& cache) {
    const BITMAPINFOHEADER& stored = handle.outputBitmapInfo.header;
    const IndexEntry& entry = handle.videoIndex[request.frameNumber];
    request.result.height = stored.biHeight;
    request.result.width = stored.biWidth;
    request.result.flags = kImageFlags;
    const uint64_t count = std::min<uint64_t>(stored.biSizeImage, entry.size);
    // A chunk larger than the read span is larger than the file, so its read would be short.
    if (count > uint64_t(handle.readSpan) ||
        mmioSeek(handle.mmioFile, entry.offset, SEEK_SET) < 0) {
        return false;
    }
    if (const int outBytes = WidenedBytes(stored, wanted)) {
        return DeliverWidened(handle, request, count, outBytes, cache);
    }
    return DeliverAsStored(handle, request, count);
}

}  // namespace

LRESULT SendFormats(HIC decompressor, UINT message, AviFileHandle& handle) {
    return ICSendMessage(decompressor, message,
                         reinterpret_cast<DWORD_PTR>(&handle.sourceBitmapInfo.header),
                         reinterpret_cast<DWORD_PTR>(&handle.outputBitmapInfo.header));
}

void CloseDecompressor(AviFileHandle& handle) {
    if (handle.decompressor) {
        ICSendMessage(handle.decompressor, ICM_DECOMPRESS_END, 0, 0);
        ICClose(handle.decompressor);
        handle.decompressor = nullptr;
    }
}

bool ReadImageFrame(AviFileHandle& handle, ImageFrameRequest& request) {
    if (request.frameNumber >= handle.frameCount) {
        return false;
    }
    AccessLockGuard lock;
    if (!lock.acquired() || !EnsureFileOpen(handle)) {
        return false;
    }
    request.result = request.requested;
    const WantedLayout* wanted = FindWantedLayout(request.result.formatId);
    const BITMAPINFOHEADER& source = handle.sourceBitmapInfo.header;
    if (!wanted || source.biWidth == 0 || source.biHeight == 0) {
        return false;
    }
    FitToSourceAspect(source, request.result);
    FrameCache& cache = TheFrameCache();
    const bool delivered = handle.videoHandler == avi::kUncompressedHandler
                               ? ReadUncompressedFrame(handle, request, *wanted, cache)
                               : ReadCompressedFrame(handle, request, *wanted, cache);
    if (!delivered) {
        return false;
    }
    cache.handle.store(&handle);
    cache.frame = request.frameNumber;
    cache.width = handle.outputBitmapInfo.header.biWidth;
    cache.height = handle.outputBitmapInfo.header.biHeight;
    return true;
}

}  // namespace zedadu::reader
