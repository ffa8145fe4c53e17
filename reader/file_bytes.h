// Reading bytes at a 64-bit file position for the index readers that work beyond what the chunk
// descent of a legacy file reaches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avi/ids.h"
#include "platform/mmio/mmio.h"
#include "reader/bitmap.h"

namespace zedadu::reader {

// Reads up to count bytes (at most what one read can ask for) at an absolute position; answers
// how many were read, 0 when the position cannot be reached.
inline size_t ReadAt(HMMIO file, uint64_t position, uint8_t* out, size_t count) {
    if (position > uint64_t(INT64_MAX) || count > 0x7FFFFFFF ||
        mmioSeek(file, int64_t(position), SEEK_SET) < 0) {
        return 0;
    }
    const LONG got = mmioRead(file, reinterpret_cast<char*>(out), LONG(count));
    return got > 0 ? size_t(got) : 0;
}

using avi::PrintableCode;
using avi::TwoDigitStream;

}  // namespace zedadu::reader
