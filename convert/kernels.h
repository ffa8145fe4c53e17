// The conversion kernels, one per pair of layouts, and the chains the dispatcher runs as one step.
// Every kernel converts width x height tightly packed pixels in place, without a scratch copy:
// widening kernels walk the image from its end, narrowing ones from its start, so a pixel is
// always read before its bytes are overwritten. Width and height must not be negative.
//
// Results are those of the per-pixel formulas evaluated as defined (double precision, the stated
// order of products and sums, truncation toward zero, low eight bits stored); vector paths keep
// that order lane by lane. A kernel writes nothing beyond the bytes of its own output image; a
// chain leaves behind its output exactly what its steps run one after the other leave there.
#pragma once

#include <cstdint>

namespace zedadu::convert {

void Convert8To16(uint8_t* buffer, int32_t width, int32_t height);
void Convert8To24(uint8_t* buffer, int32_t width, int32_t height);
void Convert8To32(uint8_t* buffer, int32_t width, int32_t height);
void Convert24To8(uint8_t* buffer, int32_t width, int32_t height);
void Convert24To16(uint8_t* buffer, int32_t width, int32_t height);
void Convert24To32(uint8_t* buffer, int32_t width, int32_t height);
void Convert32To8(uint8_t* buffer, int32_t width, int32_t height);
void Convert32To16(uint8_t* buffer, int32_t width, int32_t height);
void Convert32To24(uint8_t* buffer, int32_t width, int32_t height);
void Convert32To64(uint8_t* buffer, int32_t width, int32_t height);
void Convert64To32(uint8_t* buffer, int32_t width, int32_t height);

// Rows of an odd width end in a pair made of their last pixel twice, so a row of 3 or more
// pixels yields width + 1 output pixels; a one-pixel row has no room for a pair and yields none.
// Every row starts at its own first pixel.
void Convert24To422(uint8_t* buffer, int32_t width, int32_t height);

// Channel codes 1, 2, 3 put each value into byte 0, 1 or 2 of a zeroed three-byte pixel; code 4
// into all three bytes.
void ExpandChannelTo24(uint8_t* buffer, int32_t width, int32_t height, int32_t channel);

// Chains: 8 -> 32 -> 64, 24 -> 32 -> 64, 64 -> 32 -> 8 / 16 / 24, 8 -> 24 -> 422,
// 32 -> 24 -> 422 and 64 -> 32 -> 24 -> 422.
void Convert8To64(uint8_t* buffer, int32_t width, int32_t height);
void Convert24To64(uint8_t* buffer, int32_t width, int32_t height);
void Convert64To8(uint8_t* buffer, int32_t width, int32_t height);
void Convert64To16(uint8_t* buffer, int32_t width, int32_t height);
void Convert64To24(uint8_t* buffer, int32_t width, int32_t height);
void Convert8To422(uint8_t* buffer, int32_t width, int32_t height);
void Convert32To422(uint8_t* buffer, int32_t width, int32_t height);
void Convert64To422(uint8_t* buffer, int32_t width, int32_t height);

// The kernels use AVX2 where the processor has it and portable code elsewhere. Tests switch to
// the portable code to check it on a processor that has both.
enum class InstructionSet { kPortable, kAvx2 };
bool ProcessorHasAvx2();
void UseInstructionSetForTesting(InstructionSet instructionSet);

}  // namespace zedadu::convert
