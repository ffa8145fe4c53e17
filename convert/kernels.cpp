// The kernels over whole images: each picks the span functions of the processor's instruction set
// and runs them over the width x height pixels. Chains that have a fused span run in one pass and
// then rebuild, behind their output, what their intermediate layout leaves there.
#include "convert/kernels.h"

#include <atomic>

#include "convert/formulas.h"
#include "convert/spans.h"

namespace zedadu::convert {
namespace {

bool DetectAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// The one piece of module state of the converter: which span table the kernels use. Chosen once
// from the processor; only tests change it.
std::atomic<const Spans*>& ActiveSpans() {
    static std::atomic<const Spans*> active{DetectAvx2() ? &Avx2Spans() : &PortableSpans()};
    return active;
}

const Spans& Use() {
    return *ActiveSpans().load(std::memory_order_relaxed);
}

size_t PixelCount(int32_t width, int32_t height) {
    return size_t(width) * size_t(height);
}

void RunSpan(Span Spans::*span, uint8_t* buffer, int32_t width, int32_t height) {
    (Use().*span)(buffer, 0, PixelCount(width, height));
}

// A 64 -> 32 -> X chain leaves the 32-bit intermediate behind the X image: bytes from outBytes
// on up to 4 x n are the high bytes of the 64-bit words with the same numbers.
void RebuildIntermediate32(uint8_t* buffer, size_t outBytes, size_t pixels) {
    Use().narrowWordsToHighBytes(buffer, outBytes, 4 * pixels);
}

template <Span Spans::*Fused, size_t OutBytes>
void Run64Chain(uint8_t* buffer, int32_t width, int32_t height) {
    const size_t n = PixelCount(width, height);
    (Use().*Fused)(buffer, 0, n);
    RebuildIntermediate32(buffer, OutBytes * n, n);
}

// The width/2 complete pairs of a row, then for an odd width its last pixel paired with itself.
// Output never runs ahead of input: a row yields at most 2 x (width + 1) bytes from at least
// 3 x width, and only widths of 2 or more yield anything.
size_t Rows422(uint8_t* buffer, int32_t width, int32_t height, size_t inBytes, PairRun pairs) {
    if (width < 2) {
        return 0;
    }
    const size_t w = size_t(width), full = w / 2;
    uint8_t* out = buffer;
    for (size_t row = 0; row < size_t(height); ++row) {
        const uint8_t* in = buffer + row * w * inBytes;
        pairs(out, in, full);
        out += 4 * full;
        if (w % 2 != 0) {
            const uint8_t* last = in + (w - 1) * inBytes;
            WritePair422(out, last, last);
            out += 4;
        }
    }
    return size_t(out - buffer);
}

// Byte j of the three-byte image that 32 -> 24 makes, for j from `from` on, written in place.
void RebuildIntermediate24From32(uint8_t* buffer, size_t from, size_t pixels) {
    size_t pixel = from / 3;
    if (from % 3 != 0 && pixel < pixels) {
        for (size_t j = from; j < 3 * (pixel + 1); ++j) {
            buffer[j] = buffer[4 * pixel + j % 3];
        }
        ++pixel;
    }
    Use().narrow32To24(buffer, pixel, pixels);
}

}  // namespace

bool ProcessorHasAvx2() {
    return DetectAvx2();
}

void UseInstructionSetForTesting(InstructionSet instructionSet) {
    const bool avx2 = instructionSet == InstructionSet::kAvx2 && DetectAvx2();
    ActiveSpans().store(avx2 ? &Avx2Spans() : &PortableSpans(), std::memory_order_relaxed);
}

void Convert8To16(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen8To16, buffer, width, height);
}

void Convert8To24(uint8_t* buffer, int32_t width, int32_t height) {
    ExpandChannelTo24(buffer, width, height, 4);
}

void Convert8To32(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen8To32, buffer, width, height);
}

void Convert24To8(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::narrow24To8, buffer, width, height);
}

void Convert24To16(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::narrow24To16, buffer, width, height);
}

void Convert24To32(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen24To32, buffer, width, height);
}

void Convert32To8(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::narrow32To8, buffer, width, height);
}

void Convert32To16(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::narrow32To16, buffer, width, height);
}

void Convert32To24(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::narrow32To24, buffer, width, height);
}

void Convert32To64(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen32To64, buffer, width, height);
}

void Convert64To32(uint8_t* buffer, int32_t width, int32_t height) {
    Use().narrowWordsToHighBytes(buffer, 0, 4 * PixelCount(width, height));
}

void Convert24To422(uint8_t* buffer, int32_t width, int32_t height) {
    Rows422(buffer, width, height, 3, Use().pairs24To422);
}

void ExpandChannelTo24(uint8_t* buffer, int32_t width, int32_t height, int32_t channel) {
    Use().expandChannel(buffer, 0, PixelCount(width, height), channel);
}

// The 64-bit image covers every byte the 32-bit intermediate used, so nothing of it is left.
void Convert8To64(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen8To64, buffer, width, height);
}

void Convert24To64(uint8_t* buffer, int32_t width, int32_t height) {
    RunSpan(&Spans::widen24To64, buffer, width, height);
}

void Convert64To8(uint8_t* buffer, int32_t width, int32_t height) {
    Run64Chain<&Spans::narrow64To8, 1>(buffer, width, height);
}

void Convert64To16(uint8_t* buffer, int32_t width, int32_t height) {
    Run64Chain<&Spans::narrow64To16, 2>(buffer, width, height);
}

void Convert64To24(uint8_t* buffer, int32_t width, int32_t height) {
    Run64Chain<&Spans::narrow64To24, 3>(buffer, width, height);
}

void Convert8To422(uint8_t* buffer, int32_t width, int32_t height) {
    Convert8To24(buffer, width, height);
    Convert24To422(buffer, width, height);
}

// Reads four-byte pixels directly; what 32 -> 24 would have left behind the 4:2:2 image is then
// written from the pixels that are still in place there.
void Convert32To422(uint8_t* buffer, int32_t width, int32_t height) {
    const size_t written = Rows422(buffer, width, height, 4, Use().pairs32To422);
    RebuildIntermediate24From32(buffer, written, PixelCount(width, height));
}

void Convert64To422(uint8_t* buffer, int32_t width, int32_t height) {
    Convert64To24(buffer, width, height);
    Convert24To422(buffer, width, height);
}

}  // namespace zedadu::convert
