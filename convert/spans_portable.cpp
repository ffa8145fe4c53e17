// Portable span functions: one pixel at a time, each pixel copied out before its result is
// written, which is what makes the in-place walk safe where input and output bytes overlap.
#include <cstring>

#include "convert/formulas.h"
#include "convert/spans.h"

namespace zedadu::convert {
namespace {

template <size_t In, size_t Out, typename PixelFn>
void Walk(uint8_t* buffer, size_t first, size_t end, PixelFn convert) {
    uint8_t pixel[In];
    if constexpr (Out > In) {
        for (size_t i = end; i > first;) {
            --i;
            memcpy(pixel, buffer + In * i, In);
            convert(pixel, buffer + Out * i);
        }
    } else {
        for (size_t i = first; i < end; ++i) {
            memcpy(pixel, buffer + In * i, In);
            convert(pixel, buffer + Out * i);
        }
    }
}

template <size_t In, size_t Out, auto Pixel>
void WalkSpan(uint8_t* buffer, size_t first, size_t end) {
    Walk<In, Out>(buffer, first, end, Pixel);
}

// Where a 64-bit pixel's byte k sits: the high byte of word k.
constexpr size_t kHigh[] = {1, 3, 5, 7};

void Pixel8To16(const uint8_t* p, uint8_t* out) {
    StoreLittleEndian16(out, Pack555(p[0], p[0], p[0]));
}

// The pixel is already copied out, so results go straight to the buffer, byte by byte: building
// them in a local array first would make the compiler reload it as a word, which stalls.
void Store32(uint8_t* out, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    out[0] = b0, out[1] = b1, out[2] = b2, out[3] = b3;
}

// Each byte becomes the high byte of a little-endian word.
void Store64(uint8_t* out, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    out[0] = 0, out[1] = b0, out[2] = 0, out[3] = b1;
    out[4] = 0, out[5] = b2, out[6] = 0, out[7] = b3;
}

void Pixel8To32(const uint8_t* p, uint8_t* out) {
    Store32(out, p[0], p[0], p[0], 255);
}
void Pixel8To64(const uint8_t* p, uint8_t* out) {
    Store64(out, p[0], p[0], p[0], 255);
}
void Pixel24To32(const uint8_t* p, uint8_t* out) {
    Store32(out, p[0], p[1], p[2], 255);
}
void Pixel24To64(const uint8_t* p, uint8_t* out) {
    Store64(out, p[0], p[1], p[2], 255);
}
void Pixel32To64(const uint8_t* p, uint8_t* out) {
    Store64(out, p[0], p[1], p[2], p[3]);
}

// Byte k of a 3- or 4-byte pixel is at k; of a 64-bit pixel, at the high byte of word k.
template <size_t In>
uint8_t ByteOf(const uint8_t* p, size_t k) {
    return In == 8 ? p[kHigh[k]] : p[k];
}

template <size_t In>
void PixelToGrey(const uint8_t* p, uint8_t* out) {
    out[0] = GreyLevel(ByteOf<In>(p, 0), ByteOf<In>(p, 1), ByteOf<In>(p, 2));
}

template <size_t In>
void PixelTo16(const uint8_t* p, uint8_t* out) {
    StoreLittleEndian16(out, Pack555(ByteOf<In>(p, 0), ByteOf<In>(p, 1), ByteOf<In>(p, 2)));
}

template <size_t In>
void PixelTo24(const uint8_t* p, uint8_t* out) {
    out[0] = ByteOf<In>(p, 0), out[1] = ByteOf<In>(p, 1), out[2] = ByteOf<In>(p, 2);
}

void WordToHighByte(const uint8_t* p, uint8_t* out) {
    out[0] = p[1];
}

void ExpandChannel(uint8_t* buffer, size_t first, size_t end, int32_t channel) {
    Walk<1, 3>(buffer, first, end, [channel](const uint8_t* p, uint8_t* out) {
        const uint8_t v = p[0];
        out[0] = channel == 1 || channel == 4 ? v : 0;
        out[1] = channel == 2 || channel == 4 ? v : 0;
        out[2] = channel == 3 || channel == 4 ? v : 0;
    });
}

template <size_t In>
void Pairs422(uint8_t* out, const uint8_t* in, size_t pairs) {
    for (size_t k = 0; k < pairs; ++k, in += 2 * In, out += 4) {
        WritePair422(out, in, in + In);
    }
}

constexpr Spans kPortable = {
    WalkSpan<1, 2, Pixel8To16>,
    WalkSpan<1, 4, Pixel8To32>,
    WalkSpan<1, 8, Pixel8To64>,
    WalkSpan<3, 4, Pixel24To32>,
    WalkSpan<3, 8, Pixel24To64>,
    WalkSpan<4, 8, Pixel32To64>,
    ExpandChannel,
    WalkSpan<3, 1, PixelToGrey<3>>,
    WalkSpan<4, 1, PixelToGrey<4>>,
    WalkSpan<8, 1, PixelToGrey<8>>,
    WalkSpan<3, 2, PixelTo16<3>>,
    WalkSpan<4, 2, PixelTo16<4>>,
    WalkSpan<8, 2, PixelTo16<8>>,
    WalkSpan<4, 3, PixelTo24<4>>,
    WalkSpan<8, 3, PixelTo24<8>>,
    WalkSpan<2, 1, WordToHighByte>,
    Pairs422<3>,
    Pairs422<4>,
};

}  // namespace

const Spans& PortableSpans() {
    return kPortable;
}

}  // namespace zedadu::convert
