// Pictures as the host handles them: 8-bit RGB, top row first, and the bitmaps that cross the
// boundary (bottom row first, rows padded to whole 32-bit words, blue before green before red).
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.h"
#include "host/media/layouts.h"

namespace zedadu::host {

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes, top row first

    Image() = default;
    Image(int32_t w, int32_t h) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3) {}
    uint8_t* pixel(int32_t x, int32_t y) {
        return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    }
    const uint8_t* pixel(int32_t x, int32_t y) const {
        return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    }
};

// The picture as an RGB24 or RGB32 bitmap (the fourth byte 255), into `bitmap`, which keeps at
// least `capacity` bytes so that the plug-in can convert in place into a wider layout.
void ToBitmap(const Image& image, const Layout& layout, std::vector<uint8_t>& bitmap,
              size_t capacity);
// A delivered RGB24 or RGB32 bitmap of `format`'s size; false when the format is neither or the
// bytes are too few.
bool FromBitmap(const ImageFormatStruct& format, const uint8_t* bitmap, size_t bytes, Image& image);

// The picture at another size, resampled bicubically with libswscale; throws HostError.
Image Resized(const Image& image, int32_t width, int32_t height);
// Copies `tile` into `sheet` with its top left corner at (x, y), clipped to the sheet.
void Paste(Image& sheet, const Image& tile, int32_t x, int32_t y);

// Peak signal-to-noise ratio over all samples in dB; infinity for equal pictures, and 0 for
// pictures of different sizes.
double Psnr(const Image& a, const Image& b);

}  // namespace zedadu::host
