// Reading bytes at a 64-bit file position, and what chunk ids say, for the index readers that work
// beyond what the chunk descent of a legacy file reaches.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The stream a chunk id of two decimal digits and a two-character type names ("01wb" is stream
// 1), or -1 for any other id.
inline int TwoDigitStream(FOURCC id) {
    const int tens = int(id & 0xFF) - '0';
    const int units = int((id >> 8) & 0xFF) - '0';
    if (tens < 0 || tens > 9 || units < 0 || units > 9) {
        return -1;
    }
    return tens * 10 + units;
}

// Chunk ids and list types are four printable characters.
inline bool PrintableCode(FOURCC code) {
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = uint8_t(code >> shift);
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

}  // namespace zedadu::reader
