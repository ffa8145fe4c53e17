// Span functions: the loops behind the kernels, one table per instruction set. Each converts the
// pixels [first, end) of an image that starts at buffer, in place: pixel i is read at
// i x (input bytes) and written at i x (output bytes). Widening spans walk from end down to first,
// narrowing spans from first up to end, so no pixel is overwritten before it is read; nothing
// outside the input and output bytes of those pixels is read or written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zedadu::convert {

using Span = void (*)(uint8_t* buffer, size_t first, size_t end);
using ChannelSpan = void (*)(uint8_t* buffer, size_t first, size_t end, int32_t channel);
// Writes `pairs` Y0 U Y1 V groups at out from 2 x pairs pixels at in; out never runs ahead of in.
using PairRun = void (*)(uint8_t* out, const uint8_t* in, size_t pairs);

struct Spans {
    Span widen8To16;
    Span widen8To32;
    Span widen8To64;
    Span widen24To32;
    Span widen24To64;
    Span widen32To64;
    ChannelSpan expandChannel;
    Span narrow24To8;
    Span narrow32To8;
    Span narrow64To8;
    Span narrow24To16;
    Span narrow32To16;
    Span narrow64To16;
    Span narrow32To24;
    Span narrow64To24;
    // Counts 16-bit words, not pixels: word i's high byte goes to byte i.
    Span narrowWordsToHighBytes;
    PairRun pairs24To422;
    PairRun pairs32To422;
};

const Spans& PortableSpans();
// Only to be used where the processor has AVX2.
const Spans& Avx2Spans();

}  // namespace zedadu::convert
