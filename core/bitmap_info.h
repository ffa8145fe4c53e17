// A bitmap format as the reader and the writer hold it: the header, then any extra format bytes
// and the colour table, in a fixed 1120 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32/types.h"

namespace zedadu {

inline constexpr size_t kBitmapInfoSize = 1120;

struct BitmapInfo {
    BITMAPINFOHEADER header;
    uint8_t extra[kBitmapInfoSize - sizeof(BITMAPINFOHEADER)];
};
static_assert(sizeof(BitmapInfo) == kBitmapInfoSize);

}  // namespace zedadu
