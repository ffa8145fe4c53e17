// AVX2 span functions. Each loop moves eight pixels at a time through one register of 32-bit
// lanes (byte k of pixel i in byte k of lane i): a loader brings them in from the source layout and
// a storer writes them out in the target layout, so a chain such as 64 -> 32 -> 24 costs one pass.
// Pixels left over at the end of a span go through the portable code. Every function here carries
// the target attribute and is reached only through Avx2Spans(), which the kernels pick only when
// the processor has AVX2.
#include <immintrin.h>

#include "convert/spans.h"

#define ZEDADU_AVX2 __attribute__((target("avx2")))

namespace zedadu::convert {
namespace {

constexpr int32_t kOpaque = static_cast<int32_t>(0xFF000000u);

ZEDADU_AVX2 __m128i Load128(const uint8_t* in) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
}

ZEDADU_AVX2 __m256i Load256(const uint8_t* in) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
}

ZEDADU_AVX2 void Store128(uint8_t* out, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
}

ZEDADU_AVX2 void Store256(uint8_t* out, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
}

ZEDADU_AVX2 __m256i Load8From8(const uint8_t* in) {
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1,  //
                                            4, 4, 4, -1, 5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1);
    const __m128i grey = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
    const __m256i pixels = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(grey), spread);
    return _mm256_or_si256(pixels, _mm256_set1_epi32(kOpaque));
}

// Pixels 0-3 come from the 16 bytes at in, pixels 4-7 from the 16 bytes at in + 8 (offset 4 in
// that lane), so exactly the 24 bytes of the eight pixels are read.
ZEDADU_AVX2 __m256i Load8From24(const uint8_t* in) {
    const __m256i spread =
        _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                         4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    const __m256i bytes =
        _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(in)), Load128(in + 8), 1);
    return _mm256_or_si256(_mm256_shuffle_epi8(bytes, spread), _mm256_set1_epi32(kOpaque));
}

ZEDADU_AVX2 __m256i Load8From32(const uint8_t* in) {
    return Load256(in);
}

// High bytes of 32 words, in word order.
ZEDADU_AVX2 __m256i HighBytesOf32Words(const uint8_t* in) {
    const __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(Load256(in), 8),
                                             _mm256_srli_epi16(Load256(in + 32), 8));
    return _mm256_permute4x64_epi64(high, _MM_SHUFFLE(3, 1, 2, 0));
}

ZEDADU_AVX2 __m256i Load8From64(const uint8_t* in) {
    return HighBytesOf32Words(in);
}

ZEDADU_AVX2 void Store8As32(uint8_t* out, __m256i pixels) {
    Store256(out, pixels);
}

ZEDADU_AVX2 void Store8As64(uint8_t* out, __m256i pixels) {
    const __m256i low = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(pixels));
    const __m256i high = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(pixels, 1));
    Store256(out, _mm256_slli_epi16(low, 8));
    Store256(out + 32, _mm256_slli_epi16(high, 8));
}

ZEDADU_AVX2 void Store8As24(uint8_t* out, __m256i pixels) {
    const __m256i drop =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                         0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, drop), join);
    Store128(out, _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
}

ZEDADU_AVX2 void Store8As16(uint8_t* out, __m256i pixels) {
    const __m256i field = _mm256_set1_epi32(0x1F);
    const __m256i low = _mm256_and_si256(_mm256_srli_epi32(pixels, 3), field);
    const __m256i middle =
        _mm256_and_si256(_mm256_srli_epi32(pixels, 6), _mm256_slli_epi32(field, 5));
    const __m256i high =
        _mm256_and_si256(_mm256_srli_epi32(pixels, 9), _mm256_slli_epi32(field, 10));
    const __m256i words = _mm256_or_si256(low, _mm256_or_si256(middle, high));
    const __m256i packed =
        _mm256_permute4x64_epi64(_mm256_packus_epi32(words, words), _MM_SHUFFLE(3, 1, 2, 0));
    Store128(out, _mm256_castsi256_si128(packed));
}

// Byte K of each 32-bit lane, as doubles (exact: the values are 0 to 255).
template <int K>
ZEDADU_AVX2 __m256d ByteAsDouble(__m128i pixels) {
    return _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(pixels, 8 * K), _mm_set1_epi32(0xFF)));
}

// The grey level of four pixels: b1 x 0.7154, plus b2 x 0.0721, plus b0 x 0.2125, in that order.
ZEDADU_AVX2 __m128i GreyOf4(__m128i pixels) {
    __m256d t = _mm256_mul_pd(ByteAsDouble<1>(pixels), _mm256_set1_pd(0.7154));
    t = _mm256_add_pd(t, _mm256_mul_pd(ByteAsDouble<2>(pixels), _mm256_set1_pd(0.0721)));
    t = _mm256_add_pd(t, _mm256_mul_pd(ByteAsDouble<0>(pixels), _mm256_set1_pd(0.2125)));
    return _mm256_cvttpd_epi32(t);
}

// Grey levels lie in 0..255, so saturating packs keep them as they are.
ZEDADU_AVX2 void Store8AsGrey(uint8_t* out, __m256i pixels) {
    const __m128i low = GreyOf4(_mm256_castsi256_si128(pixels));
    const __m128i high = GreyOf4(_mm256_extracti128_si256(pixels, 1));
    const __m128i words = _mm_packs_epi32(low, high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
}

// p1 x 0.587, plus p0 x 0.299, plus p2 x 0.114.
ZEDADU_AVX2 __m128i YOf4(__m256d p0, __m256d p1, __m256d p2) {
    __m256d t = _mm256_mul_pd(p1, _mm256_set1_pd(0.587));
    t = _mm256_add_pd(t, _mm256_mul_pd(p0, _mm256_set1_pd(0.299)));
    t = _mm256_add_pd(t, _mm256_mul_pd(p2, _mm256_set1_pd(0.114)));
    return _mm256_cvttpd_epi32(t);
}

// m2 x 0.436798, minus the sum of m0 x 0.147407 and m1 x 0.289391.
ZEDADU_AVX2 __m128i UOf4(__m256d m0, __m256d m1, __m256d m2) {
    const __m256d sum = _mm256_add_pd(_mm256_mul_pd(m0, _mm256_set1_pd(0.147407)),
                                      _mm256_mul_pd(m1, _mm256_set1_pd(0.289391)));
    return _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_mul_pd(m2, _mm256_set1_pd(0.436798)), sum));
}

// m0 x 0.614777, minus m2 x 0.099978, minus m1 x 0.514799.
ZEDADU_AVX2 __m128i VOf4(__m256d m0, __m256d m1, __m256d m2) {
    __m256d t = _mm256_mul_pd(m0, _mm256_set1_pd(0.614777));
    t = _mm256_sub_pd(t, _mm256_mul_pd(m2, _mm256_set1_pd(0.099978)));
    t = _mm256_sub_pd(t, _mm256_mul_pd(m1, _mm256_set1_pd(0.514799)));
    return _mm256_cvttpd_epi32(t);
}

// Byte K of the first (A) and second (B) pixel of four pairs, and their integer mean, rounded
// down like the scalar division of non-negative values. `split` holds the four A pixels in its
// low half and the four B pixels in its high half.
struct PairChannel {
    __m256d a, b, mean;
};

template <int K>
ZEDADU_AVX2 PairChannel ChannelOfPairs(__m256i split) {
    const __m256i channel =
        _mm256_and_si256(_mm256_srli_epi32(split, 8 * K), _mm256_set1_epi32(0xFF));
    const __m128i first = _mm256_castsi256_si128(channel);
    const __m128i second = _mm256_extracti128_si256(channel, 1);
    return {_mm256_cvtepi32_pd(first), _mm256_cvtepi32_pd(second),
            _mm256_cvtepi32_pd(_mm_srli_epi32(_mm_add_epi32(first, second), 1))};
}

// Four Y0 U Y1 V groups from eight pixels.
ZEDADU_AVX2 __m128i GroupsOf8(__m256i pixels) {
    const __m256i split =
        _mm256_permutevar8x32_epi32(pixels, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    const PairChannel c0 = ChannelOfPairs<0>(split), c1 = ChannelOfPairs<1>(split),
                      c2 = ChannelOfPairs<2>(split);
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    const __m128i ys =
        _mm_and_si128(_mm_packs_epi32(YOf4(c0.a, c1.a, c2.a), YOf4(c0.b, c1.b, c2.b)), lowByte);
    const __m128i uv = _mm_and_si128(
        _mm_packs_epi32(UOf4(c0.mean, c1.mean, c2.mean), VOf4(c0.mean, c1.mean, c2.mean)), lowByte);
    const __m128i order = _mm_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15);
    return _mm_shuffle_epi8(_mm_packus_epi16(ys, uv), order);
}

template <size_t In, auto Load, PairRun Spans::*Rest>
ZEDADU_AVX2 void Pairs422(uint8_t* out, const uint8_t* in, size_t pairs) {
    size_t k = 0;
    for (; pairs - k >= 4; k += 4) {
        Store128(out + 4 * k, GroupsOf8(Load(in + 2 * In * k)));
    }
    (PortableSpans().*Rest)(out + 4 * k, in + 2 * In * k, pairs - k);
}

template <size_t In, size_t Out, auto Load, auto Store, Span Spans::*Rest>
ZEDADU_AVX2 void WidenSpan(uint8_t* buffer, size_t first, size_t end) {
    size_t i = end;
    for (; i - first >= 8; i -= 8) {
        Store(buffer + Out * (i - 8), Load(buffer + In * (i - 8)));
    }
    (PortableSpans().*Rest)(buffer, first, i);
}

template <size_t In, size_t Out, auto Load, auto Store, Span Spans::*Rest>
ZEDADU_AVX2 void NarrowSpan(uint8_t* buffer, size_t first, size_t end) {
    size_t i = first;
    for (; end - i >= 8; i += 8) {
        Store(buffer + Out * i, Load(buffer + In * i));
    }
    (PortableSpans().*Rest)(buffer, i, end);
}

ZEDADU_AVX2 void NarrowWordsToHighBytes(uint8_t* buffer, size_t first, size_t end) {
    size_t i = first;
    for (; end - i >= 32; i += 32) {
        Store256(buffer + i, HighBytesOf32Words(buffer + 2 * i));
    }
    PortableSpans().narrowWordsToHighBytes(buffer, i, end);
}

// Shuffle masks that spread 16 channel values over 48 bytes of three-byte pixels, per code.
struct ExpandMasks {
    uint8_t bytes[4][48];
};

constexpr ExpandMasks MakeExpandMasks() {
    ExpandMasks masks{};
    for (int code = 1; code <= 4; ++code) {
        for (int q = 0; q < 48; ++q) {
            const bool used = code == 4 || q % 3 == code - 1;
            masks.bytes[code - 1][q] = used ? static_cast<uint8_t>(q / 3) : 0x80;
        }
    }
    return masks;
}

constexpr ExpandMasks kExpandMasks = MakeExpandMasks();

ZEDADU_AVX2 void ExpandChannel(uint8_t* buffer, size_t first, size_t end, int32_t channel) {
    const uint8_t* masks = kExpandMasks.bytes[channel - 1];
    const __m128i spread[3] = {Load128(masks), Load128(masks + 16), Load128(masks + 32)};
    size_t i = end;
    for (; i - first >= 16; i -= 16) {
        const __m128i values = Load128(buffer + i - 16);
        uint8_t* out = buffer + 3 * (i - 16);
        for (int part = 0; part < 3; ++part) {
            Store128(out + 16 * part, _mm_shuffle_epi8(values, spread[part]));
        }
    }
    PortableSpans().expandChannel(buffer, first, i, channel);
}

constexpr Spans kAvx2 = {
    WidenSpan<1, 2, Load8From8, Store8As16, &Spans::widen8To16>,
    WidenSpan<1, 4, Load8From8, Store8As32, &Spans::widen8To32>,
    WidenSpan<1, 8, Load8From8, Store8As64, &Spans::widen8To64>,
    WidenSpan<3, 4, Load8From24, Store8As32, &Spans::widen24To32>,
    WidenSpan<3, 8, Load8From24, Store8As64, &Spans::widen24To64>,
    WidenSpan<4, 8, Load8From32, Store8As64, &Spans::widen32To64>,
    ExpandChannel,
    NarrowSpan<3, 1, Load8From24, Store8AsGrey, &Spans::narrow24To8>,
    NarrowSpan<4, 1, Load8From32, Store8AsGrey, &Spans::narrow32To8>,
    NarrowSpan<8, 1, Load8From64, Store8AsGrey, &Spans::narrow64To8>,
    NarrowSpan<3, 2, Load8From24, Store8As16, &Spans::narrow24To16>,
    NarrowSpan<4, 2, Load8From32, Store8As16, &Spans::narrow32To16>,
    NarrowSpan<8, 2, Load8From64, Store8As16, &Spans::narrow64To16>,
    NarrowSpan<4, 3, Load8From32, Store8As24, &Spans::narrow32To24>,
    NarrowSpan<8, 3, Load8From64, Store8As24, &Spans::narrow64To24>,
    NarrowWordsToHighBytes,
    Pairs422<3, Load8From24, &Spans::pairs24To422>,
    Pairs422<4, Load8From32, &Spans::pairs32To422>,
};

}  // namespace

const Spans& Avx2Spans() {
    return kAvx2;
}

}  // namespace zedadu::convert
