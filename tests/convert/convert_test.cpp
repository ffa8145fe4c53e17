// The dispatcher through its one entry: worked examples as golden bytes, refusals, equal pairs
// and the edges of image sizes.
#include <gtest/gtest.h>

#include <vector>

#include "convert/convert.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/test_support.h"

namespace {

using zedadu::ConvertColorSpace;
using zedadu::kLayout422;
using Bytes = std::vector<uint8_t>;

Bytes Converted(Bytes buffer, int32_t width, int32_t height, int32_t source, int32_t target) {
    EXPECT_EQ(ConvertColorSpace(buffer.data(), width, height, source, target), 1);
    return buffer;
}

void ExpectRefused(zedadu::test::MessageRecorder& recorder, size_t count) {
    ASSERT_EQ(recorder.shown().size(), count);
    const auto& shown = recorder.shown().back();
    EXPECT_EQ(
        shown.text,
        "The specified color space is not supported by the current version of Corvana software");
    EXPECT_EQ(shown.caption, "Corvana Color Convertor");
    EXPECT_EQ(shown.flags, 0x12030u);
}

TEST(ConvertColorSpace, WorkedExamplesOfTheKernels) {
    EXPECT_EQ(Converted({255, 128, 0}, 1, 1, 24, 16), Bytes({0x1F, 0x02, 0}));
    EXPECT_EQ(Converted({0, 0, 255}, 1, 1, 24, 16), Bytes({0x00, 0x7C, 255}));
    EXPECT_EQ(Converted({255, 0, 0, 7, 0, 255, 0, 255, 0, 0, 255, 0}, 3, 1, 32, 8),
              Bytes({54, 182, 18, 7, 0, 255, 0, 255, 0, 0, 255, 0}));
    EXPECT_EQ(Converted({200, 0}, 1, 1, 8, 16), Bytes({0x39, 0x67}));
    EXPECT_EQ(Converted({200, 0, 0, 0}, 1, 1, 8, 32), Bytes({200, 200, 200, 255}));
    EXPECT_EQ(Converted({0xAB, 0x12, 0xCD, 0x34, 0xEF, 0x56, 0xFF, 0x78}, 1, 1, 64, 24),
              Bytes({0x12, 0x34, 0x56, 0x78, 0xEF, 0x56, 0xFF, 0x78}));
    EXPECT_EQ(Converted({1, 2, 3, 4, 5, 6, 7, 8}, 1, 1, 64, 32), Bytes({2, 4, 6, 8, 5, 6, 7, 8}));
    EXPECT_EQ(Converted({7, 9, 0, 0, 0, 0}, 2, 1, 2, 24), Bytes({0, 7, 0, 0, 9, 0}));
    EXPECT_EQ(Converted({77, 0, 0, 0}, 1, 1, 1, 32), Bytes({77, 0, 0, 255}));
    EXPECT_EQ(Converted({233, 0, 0}, 1, 1, 4, 8), Bytes({232, 233, 233}));
    EXPECT_EQ(Converted(Bytes(6, 255), 2, 1, 24, kLayout422), Bytes({255, 0, 255, 0, 255, 255}));
    // Primary pairs: Y of each primary, then U = 111 for byte 2, V = 156 and -131 (byte 125).
    EXPECT_EQ(Converted({0, 0, 255, 0, 0, 255}, 2, 1, 24, kLayout422),
              Bytes({29, 111, 29, 231, 0, 255}));
    EXPECT_EQ(Converted({255, 0, 0, 255, 0, 0}, 2, 1, 24, kLayout422),
              Bytes({76, 219, 76, 156, 0, 0}));
    EXPECT_EQ(Converted({0, 255, 0, 0, 255, 0}, 2, 1, 24, kLayout422),
              Bytes({149, 183, 149, 125, 255, 0}));
}

TEST(ConvertColorSpace, GreyLevelsOfGreyPixels) {
    Bytes pixels;
    for (int v = 0; v < 256; ++v) {
        pixels.insert(pixels.end(), {uint8_t(v), uint8_t(v), uint8_t(v)});
    }
    const Bytes grey = Converted(pixels, 16, 16, 24, 8);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(grey[v], v == 233 ? 232 : v) << v;
    }
}

TEST(ConvertColorSpace, RoundTripThroughSixtyFourBits) {
    Bytes pixels(8 * 37);
    for (size_t i = 0; i < pixels.size() / 2; ++i) {
        pixels[i] = uint8_t(i * 7 + 3);
    }
    Bytes wide = Converted(pixels, 37, 1, 32, 64);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[1], pixels[0]);
    const Bytes back = Converted(wide, 37, 1, 64, 32);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.begin() + 4 * 37, back.begin()));
}

TEST(ConvertColorSpace, EqualPairsReturnAtOnceUntouched) {
    zedadu::test::MessageRecorder recorder;
    const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const int32_t code : {24, 16, int32_t(kLayout422), 5, 2, 0, -3}) {
        EXPECT_EQ(Converted(pixels, 2, 1, code, code), pixels) << code;
    }
    EXPECT_EQ(Converted(pixels, -2, 1, 24, 24), pixels);
    EXPECT_TRUE(recorder.shown().empty());
}

TEST(ConvertColorSpace, UnsupportedPairsAreRefusedWithTheMessage) {
    zedadu::test::MessageRecorder recorder;
    const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::pair<int32_t, int32_t> refused[] = {{16, 24}, {kLayout422, 24}, {24, 1},  {8, 4},
                                                   {0, 24},  {-1, 8},          {24, 48}, {32, 0}};
    size_t count = 0;
    for (const auto& [source, target] : refused) {
        Bytes buffer = pixels;
        EXPECT_EQ(ConvertColorSpace(buffer.data(), 2, 1, source, target), 0) << source << target;
        EXPECT_EQ(buffer, pixels);
        ExpectRefused(recorder, ++count);
    }
    // A channel source expands to code 24 before the nested call refuses.
    Bytes buffer = pixels;
    EXPECT_EQ(ConvertColorSpace(buffer.data(), 2, 1, 2, 3), 0);
    EXPECT_EQ(buffer, Bytes({0, 1, 0, 0, 2, 0, 7, 8, 9, 10, 11, 12}));
    ExpectRefused(recorder, ++count);
}

TEST(ConvertColorSpace, EmptyImagesConvertNothing) {
    zedadu::test::MessageRecorder recorder;
    const Bytes pixels(16, 0xA5);
    for (const int32_t source : {1, 4, 8, 24, 32, 64}) {
        for (const int32_t target : {8, 16, 24, 32, 64, int32_t(kLayout422)}) {
            EXPECT_EQ(Converted(pixels, 0, 9, source, target), pixels);
            EXPECT_EQ(Converted(pixels, 9, 0, source, target), pixels);
        }
    }
    EXPECT_TRUE(recorder.shown().empty());
}

TEST(ConvertColorSpace, NegativeSizesAreRefusedSilentlyAndUntouched) {
    zedadu::test::MessageRecorder recorder;
    const Bytes pixels(64, 0x5A);
    for (const auto& [width, height] : {std::pair{-1, 4}, {4, -1}, {-3, -3}, {INT32_MIN, 1}}) {
        for (const auto& [source, target] : {std::pair{24, 32}, {2, 24}, {16, 24}, {64, 8}}) {
            Bytes buffer = pixels;
            EXPECT_EQ(ConvertColorSpace(buffer.data(), width, height, source, target), 0);
            EXPECT_EQ(buffer, pixels);
        }
    }
    Bytes buffer = pixels;
    EXPECT_EQ(ConvertColorSpace(buffer.data(), INT32_MAX, INT32_MAX, 24, 32), 0);
    EXPECT_EQ(buffer, pixels);
    EXPECT_TRUE(recorder.shown().empty());
}

TEST(ConvertColorSpace, OddWidthsPairTheLastPixelOfEachRowWithItself) {
    // Rows of 3: (255,0,0) (0,255,0) (0,0,255), then (0,0,255) (255,0,0) (0,255,0).
    const Bytes pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 0, 0, 0, 255, 0};
    const Bytes out = Converted(pixels, 3, 2, 24, kLayout422);
    const Bytes expected = {76,  201, 149, 12, 29,  111, 29,  231,  // row 0: pairs (R,G), (B,B)
                            29,  36,  76,  65, 149, 183, 149, 125,  // row 1: pairs (B,R), (G,G)
                            255, 0};                                // tail left as it was
    EXPECT_EQ(out, expected);
    // A one-pixel row has no room for a pair: nothing is written.
    EXPECT_EQ(Converted({9, 8, 7, 6, 5, 4}, 1, 2, 24, kLayout422), Bytes({9, 8, 7, 6, 5, 4}));
}

TEST(ConvertColorSpace, ConversionsNeverAllocate) {
    Bytes buffer(8 * 1000, 0x3C);
    const size_t before = zedadu::test::AllocationCount();
    for (const auto& [source, target] : {std::pair{24, 32},
                                         {32, 64},
                                         {64, 422},
                                         {8, 422},
                                         {3, 64},
                                         {32, 422},
                                         {64, 8},
                                         {24, 16}}) {
        ConvertColorSpace(buffer.data(), 25, 40, source, target);
    }
    EXPECT_EQ(zedadu::test::AllocationCount(), before);
}

}  // namespace
