// The host's image layouts as the reader delivers them: the table that names each by its
// identifier, bit count and compression, in the order a decompressor is asked for them when a
// file is opened.
#pragma once

#include <cstdint>

#include "avi/ids.h"
#include "core/records.h"
#include "core/text.h"

namespace zedadu::reader {

struct ImageLayout {
    const char* formatId;
    WORD bits;
    DWORD compression;
    uint32_t bytesPerPixel;
};

inline constexpr ImageLayout kImageLayouts[] = {
    {FORMAT_ID_YUY2, 16, avi::kYuy2Compression, 2},
    {FORMAT_ID_RGB24, 24, BI_RGB, 3},
    {FORMAT_ID_RGB32, 32, BI_RGB, 4},
};

// The layout a request names, or null for a formatId that names no image layout.
inline const ImageLayout* FindImageLayout(const char* formatId) {
    for (const ImageLayout& layout : kImageLayouts) {
        if (SameText(formatId, layout.formatId)) {
            return &layout;
        }
    }
    return nullptr;
}

// The formatId of output of this bit count, or null for a count no layout has.
inline const char* FormatIdOfBits(WORD bits) {
    for (const ImageLayout& layout : kImageLayouts) {
        if (layout.bits == bits) {
            return layout.formatId;
        }
    }
    return nullptr;
}

}  // namespace zedadu::reader
