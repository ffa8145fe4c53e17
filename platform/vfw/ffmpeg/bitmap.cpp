#include "platform/vfw/ffmpeg/bitmap.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zedadu::vfw::ffmpeg {
namespace {

AVPixelFormat RgbFormat(WORD bitCount) {
    switch (bitCount) {
        case 16:
            return AV_PIX_FMT_RGB555LE;
        case 24:
            return AV_PIX_FMT_BGR24;
        case 32:
            return AV_PIX_FMT_BGRA;
        default:
            return AV_PIX_FMT_NONE;
    }
}

// Matrices libswscale knows by the same numbers as the frame's colour space.
bool KnownMatrix(AVColorSpace space) {
    switch (space) {
        case AVCOL_SPC_BT709:
        case AVCOL_SPC_FCC:
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_SMPTE240M:
        case AVCOL_SPC_BT2020_NCL:
            return true;
        default:
            return false;
    }
}

bool IsRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
}

}  // namespace

int ScaleFlags(AVPixelFormat source, int sourceWidth, int sourceHeight, AVPixelFormat target,
               int targetWidth, int targetHeight) {
    const bool sameSize = sourceWidth == targetWidth && sourceHeight == targetHeight;
    return sameSize && IsRgb(source) && IsRgb(target) ? SWS_POINT : SWS_BICUBIC;
}

std::optional<BitmapLayout> UncompressedLayout(const BITMAPINFOHEADER& header) {
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == INT32_MIN) {
        return std::nullopt;
    }
    AVPixelFormat format = AV_PIX_FMT_NONE;
    if (header.biCompression == BI_RGB) {
        format = RgbFormat(header.biBitCount);
    } else if (header.biCompression == kYuy2 && header.biBitCount == 16) {
        format = AV_PIX_FMT_YUYV422;
    }
    const int width = header.biWidth;
    const int height = std::abs(header.biHeight);
    if (format == AV_PIX_FMT_NONE || av_image_check_size(width, height, 0, nullptr) < 0) {
        return std::nullopt;
    }
    // av_image_check_size keeps (width + 128) * (height + 128) below INT_MAX / 8, so the row and
    // image sizes fit comfortably.
    const int stride = (header.biBitCount * width + 31) / 32 * 4;
    const bool bottomUp = header.biCompression == BI_RGB && header.biHeight > 0;
    return BitmapLayout{format, width, height, stride, bottomUp};
}

void BitmapPlanes(const BitmapLayout& layout, const uint8_t* bits, uint8_t* planes[4],
                  int strides[4]) {
    auto* first = const_cast<uint8_t*>(bits);
    if (layout.bottomUp) {
        first += ptrdiff_t(layout.height - 1) * layout.stride;
    }
    planes[0] = first;
    strides[0] = layout.bottomUp ? -layout.stride : layout.stride;
    for (int i = 1; i < 4; ++i) {
        planes[i] = nullptr;
        strides[i] = 0;
    }
}

void SetFrameColorDetails(SwsContext* scaler, const AVFrame& frame) {
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceRange = 0;
    int targetRange = 0;
    int brightness = 0;
    int contrast = 0;
    int saturation = 0;
    if (sws_getColorspaceDetails(scaler, &inverse, &sourceRange, &table, &targetRange, &brightness,
                                 &contrast, &saturation) < 0) {
        return;
    }
    const int space = KnownMatrix(frame.colorspace) ? int(frame.colorspace) : SWS_CS_DEFAULT;
    if (frame.color_range == AVCOL_RANGE_JPEG) {
        sourceRange = 1;
    }
    sws_setColorspaceDetails(scaler, sws_getCoefficients(space), sourceRange, table, targetRange,
                             brightness, contrast, saturation);
}

PictureScaler::~PictureScaler() {
    sws_freeContext(context_);
}

SwsContext* PictureScaler::Prepare(int sourceWidth, int sourceHeight, AVPixelFormat sourceFormat,
                                   int targetWidth, int targetHeight, AVPixelFormat targetFormat) {
    const Geometry wanted{sourceWidth, sourceHeight, sourceFormat,
                          targetWidth, targetHeight, targetFormat};
    if (context_ && wanted == geometry_) {
        return context_;
    }
    sws_freeContext(context_);
    context_ = sws_getContext(sourceWidth, sourceHeight, sourceFormat, targetWidth, targetHeight,
                              targetFormat,
                              ScaleFlags(sourceFormat, sourceWidth, sourceHeight, targetFormat,
                                         targetWidth, targetHeight),
                              nullptr, nullptr, nullptr);
    geometry_ = wanted;
    colorSpace_ = -1;
    colorRange_ = -1;
    return context_;
}

bool PictureScaler::FrameToBitmap(const AVFrame& frame, const BitmapLayout& layout, uint8_t* bits) {
    SwsContext* scaler = Prepare(frame.width, frame.height, AVPixelFormat(frame.format),
                                 layout.width, layout.height, layout.pixelFormat);
    if (!scaler) {
        return false;
    }
    if (frame.colorspace != colorSpace_ || frame.color_range != colorRange_) {
        SetFrameColorDetails(scaler, frame);
        colorSpace_ = frame.colorspace;
        colorRange_ = frame.color_range;
    }
    uint8_t* planes[4];
    int strides[4];
    BitmapPlanes(layout, bits, planes, strides);
    return sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides) ==
           layout.height;
}

bool PictureScaler::BitmapToFrame(const BitmapLayout& layout, const uint8_t* bits, int width,
                                  int height, AVFrame& frame) {
    SwsContext* scaler =
        Prepare(width, height, layout.pixelFormat, width, height, AVPixelFormat(frame.format));
    if (!scaler) {
        return false;
    }
    uint8_t* planes[4];
    int strides[4];
    BitmapPlanes(layout, bits, planes, strides);
    return sws_scale(scaler, planes, strides, 0, height, frame.data, frame.linesize) == height;
}

void RepeatEdges(AVFrame& frame, int width, int height) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    constexpr int kSampleWidth = 64;  // a width every plane of a format divides into whole units
    int unitRows[4];
    if (!descriptor || width <= 0 || height <= 0 ||
        av_image_fill_linesizes(unitRows, format, kSampleWidth) < 0) {
        return;
    }
    const int planes = av_pix_fmt_count_planes(format);
    for (int plane = 0; plane < planes; ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int shiftX = chroma ? descriptor->log2_chroma_w : 0;
        const int shiftY = chroma ? descriptor->log2_chroma_h : 0;
        const int unit = unitRows[plane] / (kSampleWidth >> shiftX);
        const int used = AV_CEIL_RSHIFT(width, shiftX);
        const int all = AV_CEIL_RSHIFT(frame.width, shiftX);
        const int usedRows = AV_CEIL_RSHIFT(height, shiftY);
        const int allRows = AV_CEIL_RSHIFT(frame.height, shiftY);
        const ptrdiff_t stride = frame.linesize[plane];
        for (int y = 0; y < usedRows; ++y) {
            uint8_t* row = frame.data[plane] + y * stride;
            for (int x = used; x < all; ++x) {
                memcpy(row + ptrdiff_t(x) * unit, row + ptrdiff_t(used - 1) * unit, size_t(unit));
            }
        }
        const uint8_t* last = frame.data[plane] + (usedRows - 1) * stride;
        for (int y = usedRows; y < allRows; ++y) {
            memcpy(frame.data[plane] + y * stride, last, size_t(all) * unit);
        }
    }
}

}  // namespace zedadu::vfw::ffmpeg
