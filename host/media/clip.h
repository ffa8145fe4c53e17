// The demonstration clip: a moving test pattern with the frame number in large digits, and a
// tone (440 Hz on the first channel, 660 Hz on the others).
#pragma once

#include <cstdint>
#include <vector>

#include "host/media/image.h"
#include "host/media/layouts.h"

namespace zedadu::host {

// Colour bars, a grey ramp scrolling to the left, a white block crossing the picture and the
// frame number, centred, in digits drawn with a 5 x 7 bitmap font.
Image TestPattern(int32_t width, int32_t height, uint32_t frame);

// `count` sample frames from sample frame `first` on, in the layout's bytes (16-bit signed or
// 8-bit unsigned), channels interleaved.
void Tone(uint64_t first, uint32_t count, uint32_t channels, uint32_t sampleRate,
          const Layout& layout, std::vector<uint8_t>& samples);

// Draws `number` with at least `digits` digits, each glyph pixel a `scale` x `scale` square.
void DrawNumber(Image& image, uint32_t number, int digits, int32_t x, int32_t y, int32_t scale);

}  // namespace zedadu::host
