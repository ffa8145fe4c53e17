// The vector path against the portable one, which evaluates the formulas as they are defined (its
// bytes are pinned by the worked examples): every route on random images of awkward sizes, and the
// per-pixel formulas over every input they can receive. Skipped on processors without AVX2.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "convert/convert.h"
#include "convert/kernels.h"

namespace {

using zedadu::convert::InstructionSet;
using Bytes = std::vector<uint8_t>;

// Every layout is at most 8 bytes a pixel; what lies past the image must come back untouched.
constexpr size_t kWidestPixel = 8;
constexpr size_t kSpareTail = 41;

// The converted bytes with one instruction set; the processor's best is used again afterwards.
template <typename Conversion>
Bytes ConvertedWith(InstructionSet set, Bytes bytes, Conversion conversion) {
    zedadu::convert::UseInstructionSetForTesting(set);
    conversion(bytes.data());
    zedadu::convert::UseInstructionSetForTesting(InstructionSet::kAvx2);
    return bytes;
}

class VectorPath : public testing::Test {
  protected:
    void SetUp() override {
        if (!zedadu::convert::ProcessorHasAvx2()) {
            GTEST_SKIP() << "no AVX2 on this processor";
        }
    }
};

TEST_F(VectorPath, EveryRouteConvertsAsThePortableOneOnRandomImages) {
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 7},  {2, 3},  {3, 3},  {5, 4},
                                         {7, 2},  {8, 1},  {15, 3}, {16, 2}, {17, 5},
                                         {33, 2}, {64, 3}, {127, 9}};
    const int layouts[] = {8, 16, 24, 32, 64, zedadu::kLayout422};
    std::mt19937 random(20240611);
    for (const int source : {1, 2, 3, 4, 8, 24, 32, 64}) {
        for (const int target : layouts) {
            for (const auto& [width, height] : sizes) {
                Bytes image(kWidestPixel * width * height + kSpareTail);
                std::generate(image.begin(), image.end(), [&] { return uint8_t(random()); });
                const auto conversion = [&](uint8_t* bytes) {
                    EXPECT_EQ(zedadu::ConvertColorSpace(bytes, width, height, source, target), 1);
                };
                const Bytes portable = ConvertedWith(InstructionSet::kPortable, image, conversion);
                EXPECT_EQ(ConvertedWith(InstructionSet::kAvx2, image, conversion), portable)
                    << source << " -> " << target << " at " << width << "x" << height;
                EXPECT_TRUE(
                    std::equal(image.end() - kSpareTail, image.end(), portable.end() - kSpareTail));
            }
        }
    }
}

// Every three-byte pixel value once (the grey level), and twice in a row (Y sees every value, U
// and V every mean of a pair), a million values at a time.
TEST_F(VectorPath, GreyLevelLumaAndChromaMatchThePortablePathForEveryPixelValue) {
    constexpr uint32_t kAllPixels = 1u << 24, kChunk = 1u << 20;
    const auto grey = [](uint8_t* bytes) { zedadu::convert::Convert24To8(bytes, 1024, 1024); };
    const auto packed = [](uint8_t* bytes) { zedadu::convert::Convert24To422(bytes, 2048, 1024); };
    Bytes once(3 * kChunk), twice(6 * kChunk);
    for (uint32_t first = 0; first < kAllPixels; first += kChunk) {
        for (uint32_t i = 0; i < kChunk; ++i) {
            const uint32_t v = first + i;
            const uint8_t pixel[3] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
            std::copy(pixel, pixel + 3, &once[3 * i]);
            std::copy(pixel, pixel + 3, &twice[6 * i]);
            std::copy(pixel, pixel + 3, &twice[6 * i + 3]);
        }
        ASSERT_EQ(ConvertedWith(InstructionSet::kAvx2, once, grey),
                  ConvertedWith(InstructionSet::kPortable, once, grey))
            << first;
        ASSERT_EQ(ConvertedWith(InstructionSet::kAvx2, twice, packed),
                  ConvertedWith(InstructionSet::kPortable, twice, packed))
            << first;
    }
}

// Every pair of byte values meets in a mean, in each of the three positions.
TEST_F(VectorPath, PairMeansMatchThePortablePathForEveryPairOfValues) {
    Bytes pixels(6 * 65536);
    for (uint32_t k = 0; k < 65536; ++k) {
        const uint8_t a = uint8_t(k >> 8), c = uint8_t(k);
        const uint8_t pair[6] = {a, c, uint8_t(a ^ c), c, a, uint8_t(255 - c)};
        std::copy(pair, pair + 6, &pixels[6 * k]);
    }
    const auto packed = [](uint8_t* bytes) { zedadu::convert::Convert24To422(bytes, 512, 256); };
    EXPECT_EQ(ConvertedWith(InstructionSet::kAvx2, pixels, packed),
              ConvertedWith(InstructionSet::kPortable, pixels, packed));
}

}  // namespace
