// Little-endian numbers in file bytes, as RIFF stores them: loaded and stored byte by byte, so that
// no file byte is ever read or written through a cast and the host's byte order does not matter.
#pragma once

#include <cstdint>

namespace zedadu {

inline uint16_t LoadU16(const uint8_t* bytes) {
    return uint16_t(bytes[0] | bytes[1] << 8);
}

inline uint32_t LoadU32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

inline uint64_t LoadU64(const uint8_t* bytes) {
    return uint64_t(LoadU32(bytes)) | uint64_t(LoadU32(bytes + 4)) << 32;
}

inline void StoreU16(uint8_t* bytes, uint16_t value) {
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
}

inline void StoreU32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = uint8_t(value >> (8 * i));
    }
}

}  // namespace zedadu
