// Uncompressed bitmaps as the compressor layer exchanges them (BI_RGB with 16 bits in 5-5-5, 24 or
// 32 bits, and packed YUY2) and their conversion to and from libavcodec's pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/win32/types.h"

namespace zedadu::vfw::ffmpeg {

// The libswscale flags of a conversion; tests build their reference pictures with them.
// Same-size conversions between RGB layouts only repack, widen or truncate pixels: the point
// sampler selects libswscale's direct converters, where its filtering modes would pass through YUV
// with halved chroma (and lose 5-5-5 pixels on the way back). Everything else is bicubic.
int ScaleFlags(AVPixelFormat source, int sourceWidth, int sourceHeight, AVPixelFormat target,
               int targetWidth, int targetHeight);

inline constexpr FOURCC kYuy2 = FourCC("YUY2");

struct BitmapLayout {
    AVPixelFormat pixelFormat;  // AV_PIX_FMT_RGB555LE, BGR24, BGRA or YUYV422
    int width;
    int height;     // always positive
    int stride;     // bytes per row, rounded up to whole 32-bit words
    bool bottomUp;  // the last row is stored first (BI_RGB with a positive biHeight)

    size_t ImageSize() const { return size_t(stride) * size_t(height); }
};

// The layout a header describes, or nothing when it is none of the four or too large for
// libavutil. For 32 bits the fourth byte is alpha on output (255 where the source has none).
std::optional<BitmapLayout> UncompressedLayout(const BITMAPINFOHEADER& header);

// Row pointers and strides as libswscale takes them: a bottom-up bitmap starts at its last row
// and steps backwards.
void BitmapPlanes(const BitmapLayout& layout, const uint8_t* bits, uint8_t* planes[4],
                  int strides[4]);

// Tells the scaler the colour matrix and range of a decoded frame (BT.601 when the frame says
// nothing), so that signalled BT.709 or full-range pictures keep their colours.
void SetFrameColorDetails(SwsContext* scaler, const AVFrame& frame);

// Fills a frame beyond its top-left width x height pixels by repeating the last column and the
// last row, in every plane of its format.
void RepeatEdges(AVFrame& frame, int width, int height);

// Converts pictures with libswscale, keeping its context while the geometry stays the same.
class PictureScaler {
  public:
    PictureScaler() = default;
    ~PictureScaler();
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // The whole frame, scaled to the bitmap's size.
    bool FrameToBitmap(const AVFrame& frame, const BitmapLayout& layout, uint8_t* bits);
    // The top-left width x height pixels of the bitmap into the top left of the frame, unscaled;
    // the frame must be writable and at least that large.
    bool BitmapToFrame(const BitmapLayout& layout, const uint8_t* bits, int width, int height,
                       AVFrame& frame);

  private:
    SwsContext* Prepare(int sourceWidth, int sourceHeight, AVPixelFormat sourceFormat,
                        int targetWidth, int targetHeight, AVPixelFormat targetFormat);

    struct Geometry {
        int sourceWidth, sourceHeight, sourceFormat, targetWidth, targetHeight, targetFormat;
        bool operator==(const Geometry&) const = default;
    };

    SwsContext* context_ = nullptr;
    Geometry geometry_{};
    // The colour details last set on the context; setting them rebuilds its tables.
    int colorSpace_ = -1;
    int colorRange_ = -1;
};

}  // namespace zedadu::vfw::ffmpeg
