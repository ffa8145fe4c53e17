// In-place conversion of an uncompressed image between pixel layouts. Layouts are named by codes:
// 8 grey, 16 5-5-5, 24 and 32 three and four bytes, 64 four 16-bit words, 422 packed Y0 U Y1 V,
// and 1 to 4 single-channel planes that expand into a three-byte pixel.
#pragma once

#include <cstdint>

namespace zedadu {

inline constexpr int32_t kLayout422 = 0x1A6;

// Converts width x height tightly packed pixels in place. Equal codes return 1 untouched; a pair
// the converter does not know is refused with a message box to the user and 0. The buffer must
// hold the image in the larger of the two layouts and of every layout a chain passes through.
int32_t ConvertColorSpace(void* buffer, int32_t width, int32_t height, int32_t source,
                          int32_t target);

}  // namespace zedadu
