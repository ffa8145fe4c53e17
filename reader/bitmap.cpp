#include "reader/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace zedadu::reader {
namespace {

static_assert(std::endian::native == std::endian::little, "pixels are widened as words");

struct Colour {
    uint8_t blue, green, red;
};

// The colour table starts at the header's own size, which is larger than 40 when extra format
// bytes follow the header. Entries the format does not hold are black.
void LoadColourTable(const BitmapInfo& format, Colour (&table)[256]) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&format);
    const size_t start =
        std::clamp<size_t>(format.header.biSize, sizeof(BITMAPINFOHEADER), sizeof(BitmapInfo));
    const size_t available = std::min<size_t>(256, (sizeof(BitmapInfo) - start) / 4);
    for (size_t i = 0; i < 256; ++i) {
        table[i] = {};
        if (i < available) {
            const uint8_t* entry = bytes + start + 4 * i;
            table[i] = {entry[0], entry[1], entry[2]};
        }
    }
}

void Put(uint8_t* out, int outBytes, uint8_t blue, uint8_t green, uint8_t red) {
    out[0] = blue;
    out[1] = green;
    out[2] = red;
    if (outBytes == 4) {
        out[3] = 255;
    }
}

void WidenRow8(const uint8_t* in, uint8_t* out, size_t width, int outBytes,
               const Colour (&table)[256]) {
    for (size_t x = 0; x < width; ++x, out += outBytes) {
        const Colour& c = table[in[x]];
        Put(out, outBytes, c.blue, c.green, c.red);
    }
}

void WidenRow16(const uint8_t* in, uint8_t* out, size_t width, int outBytes) {
    for (size_t x = 0; x < width; ++x, out += outBytes) {
        const uint16_t word = LoadU16(in + 2 * x);
        Put(out, outBytes, uint8_t((word & 0x1F) << 3), uint8_t((word >> 5 & 0x1F) << 3),
            uint8_t((word >> 10 & 0x1F) << 3));
    }
}

void WidenRow24(const uint8_t* in, uint8_t* out, size_t width, int outBytes) {
    if (outBytes == 3) {
        memcpy(out, in, 3 * width);
        return;
    }
    // Four pixels from three 32-bit words at a time.
    size_t x = 0;
    for (; x + 4 <= width; x += 4) {
        uint32_t in3[3];
        memcpy(in3, in + 3 * x, sizeof in3);
        const uint32_t out4[4] = {
            in3[0] | 0xFF000000,
            in3[0] >> 24 | in3[1] << 8 | 0xFF000000,
            in3[1] >> 16 | in3[2] << 16 | 0xFF000000,
            in3[2] >> 8 | 0xFF000000,
        };
        memcpy(out + 4 * x, out4, sizeof out4);
    }
    for (; x < width; ++x) {
        Put(out + 4 * x, 4, in[3 * x], in[3 * x + 1], in[3 * x + 2]);
    }
}

}  // namespace

void WidenBitmap(const BitmapInfo& format, const uint8_t* pixels, uint8_t* out, size_t outCapacity,
                 int outBytes, bool flipRows) {
    const BITMAPINFOHEADER& header = format.header;
    const int bits = header.biBitCount;
    if (bits != 8 && bits != 16 && bits != 24) {
        std::copy_n(pixels, std::min<size_t>(header.biSizeImage, outCapacity), out);
        return;
    }
    const size_t width = size_t(header.biWidth);
    const size_t height = size_t(header.biHeight);
    const size_t inStride = BitmapRowBytes(width, bits);
    const size_t outStride = outBytes == 4 ? 4 * width : BitmapRowBytes(width, 24);
    Colour table[256];
    if (bits == 8) {
        LoadColourTable(format, table);
    }
    for (size_t row = 0; row < height; ++row) {
        const uint8_t* in = pixels + inStride * (flipRows ? height - 1 - row : row);
        uint8_t* line = out + outStride * row;
        if (bits == 8) {
            WidenRow8(in, line, width, outBytes, table);
        } else if (bits == 16) {
            WidenRow16(in, line, width, outBytes);
        } else {
            WidenRow24(in, line, width, outBytes);
        }
        memset(line + outBytes * width, 0, outStride - outBytes * width);
    }
}

void ReverseRows(uint8_t* image, size_t rowBytes, size_t rows) {
    if (rowBytes == 0) {
        return;
    }
    std::vector<uint8_t> spare(rowBytes);
    for (size_t top = 0, bottom = rows; top + 1 < bottom; ++top, --bottom) {
        uint8_t* a = image + rowBytes * top;
        uint8_t* b = image + rowBytes * (bottom - 1);
        memcpy(spare.data(), a, rowBytes);
        memcpy(a, b, rowBytes);
        memcpy(b, spare.data(), rowBytes);
    }
}

}  // namespace zedadu::reader
