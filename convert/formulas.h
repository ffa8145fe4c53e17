// The per-pixel formulas, evaluated exactly as they are defined: products and sums in double
// precision, one rounding each, in the order written; the result truncated toward zero and its low
// eight bits kept. The vector paths reproduce these lane by lane; nothing here may be reordered or
// fused into a multiply-add (the build turns contraction off).
#pragma once

#include <cstdint>

namespace zedadu::convert {

// Weighted grey level: 233, 233, 233 gives 232 because of the rounding of these steps.
inline uint8_t GreyLevel(int32_t b0, int32_t b1, int32_t b2) {
    double t = b1 * 0.7154;
    t = t + b2 * 0.0721;
    t = t + b0 * 0.2125;
    return static_cast<uint8_t>(static_cast<int32_t>(t));
}

inline uint8_t ComputeY(int32_t p0, int32_t p1, int32_t p2) {
    double t = p1 * 0.587;
    t = t + p0 * 0.299;
    t = t + p2 * 0.114;
    return static_cast<uint8_t>(static_cast<int32_t>(t));
}

// U and V are signed; their low eight bits are stored without an offset.
inline uint8_t ComputeU(int32_t m0, int32_t m1, int32_t m2) {
    const double sum = m0 * 0.147407 + m1 * 0.289391;
    const double t = m2 * 0.436798 - sum;
    return static_cast<uint8_t>(static_cast<int32_t>(t));
}

inline uint8_t ComputeV(int32_t m0, int32_t m1, int32_t m2) {
    double t = m0 * 0.614777;
    t = t - m2 * 0.099978;
    t = t - m1 * 0.514799;
    return static_cast<uint8_t>(static_cast<int32_t>(t));
}

// 5-5-5 word: byte 2 in bits 10-14, byte 1 in bits 5-9, byte 0 in bits 0-4, bit 15 clear.
inline uint16_t Pack555(uint8_t b0, uint8_t b1, uint8_t b2) {
    return static_cast<uint16_t>((b2 >> 3) << 10 | (b1 >> 3) << 5 | (b0 >> 3));
}

inline void StoreLittleEndian16(uint8_t* out, uint16_t word) {
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
}

// One Y0 U Y1 V group from pixels a and b (three bytes each are read). Both are read before
// anything is written, because in place the group lands on bytes of a.
inline void WritePair422(uint8_t* out, const uint8_t* a, const uint8_t* b) {
    const uint8_t a0 = a[0], a1 = a[1], a2 = a[2], c0 = b[0], c1 = b[1], c2 = b[2];
    const int32_t m0 = (a0 + c0) / 2, m1 = (a1 + c1) / 2, m2 = (a2 + c2) / 2;
    out[0] = ComputeY(a0, a1, a2);
    out[1] = ComputeU(m0, m1, m2);
    out[2] = ComputeY(c0, c1, c2);
    out[3] = ComputeV(m0, m1, m2);
}

}  // namespace zedadu::convert
