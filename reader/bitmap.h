// Bitmap arithmetic and row handling shared by the reading steps: row sizes, the colour table,
// widening stored pixels to 24 or 32 bits, and flipping row order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bitmap_info.h"
#include "platform/win32/byte_order.h"

namespace zedadu::reader {

// The largest image the reader handles, in bytes, in any layout it delivers.
inline constexpr uint64_t kLargestImageBytes = 0x7FFFFFFF;

// Bitmap rows are padded to whole 32-bit words.
inline uint64_t BitmapRowBytes(uint64_t width, uint64_t bits) {
    return (width * bits + 31) / 32 * 4;
}

// Row size x height, whatever the signs of width and height say about the row order.
inline uint64_t BitmapImageBytes(const BITMAPINFOHEADER& header) {
    const auto magnitude = [](int32_t value) {
        return uint64_t(value < 0 ? -int64_t(value) : value);
    };
    return BitmapRowBytes(magnitude(header.biWidth), header.biBitCount) *
           magnitude(header.biHeight);
}

// Widens a bottom-up (or, with flipRows, top-down) bitmap described by format into pixels of
// outBytes (3 or 4) bytes, bottom row first. 4-byte rows have no padding; 3-byte rows are padded
// like bitmap rows. 8-bit pixels go through the colour table, 16-bit ones are 5-5-5, 24-bit ones
// are copied; any other depth is copied byte for byte, at most outCapacity bytes.
void WidenBitmap(const BitmapInfo& format, const uint8_t* pixels, uint8_t* out, size_t outCapacity,
                 int outBytes, bool flipRows);

// Reverses the order of rows in place.
void ReverseRows(uint8_t* image, size_t rowBytes, size_t rows);

}  // namespace zedadu::reader
