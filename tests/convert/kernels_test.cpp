// The shipped kernels against the plain reference: every route on random images of awkward sizes,
// and the double-precision formulas over every input they can receive. Each check runs with the
// portable code and, where the processor has it, with AVX2.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "convert/convert.h"
#include "convert/kernels.h"
#include "tests/convert/reference.h"

namespace {

using zedadu::convert::InstructionSet;
using Bytes = std::vector<uint8_t>;

std::vector<InstructionSet> InstructionSets() {
    std::vector<InstructionSet> sets = {InstructionSet::kPortable};
    if (zedadu::convert::ProcessorHasAvx2()) {
        sets.push_back(InstructionSet::kAvx2);
    }
    return sets;
}

// Switches the kernels for one scope and back to the processor's best afterwards.
class UsingInstructionSet {
  public:
    explicit UsingInstructionSet(InstructionSet set) {
        zedadu::convert::UseInstructionSetForTesting(set);
    }
    ~UsingInstructionSet() { zedadu::convert::UseInstructionSetForTesting(InstructionSet::kAvx2); }
};

size_t BytesPerPixel(int code) {
    switch (code) {
        case 16:
        case 422:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        case 64:
            return 8;
        default:
            return 1;
    }
}

// The buffer a route needs: the widest layout it passes through.
size_t RouteBytesPerPixel(int source, int target) {
    const int from = source <= 4 ? 24 : source;
    size_t widest = std::max(BytesPerPixel(from), BytesPerPixel(target));
    if (from == target) {
        return widest;
    }
    for (const int layout : zedadu::test::reference::Routes().at({from, target})) {
        widest = std::max(widest, BytesPerPixel(layout));
    }
    return widest;
}

Bytes RandomBytes(size_t size, std::mt19937& random) {
    Bytes bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return uint8_t(random()); });
    return bytes;
}

TEST(ConvertKernels, EveryRouteMatchesTheReferenceOnRandomImages) {
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 7},  {2, 3},  {3, 3},  {5, 4},
                                         {7, 2},  {8, 1},  {15, 3}, {16, 2}, {17, 5},
                                         {33, 2}, {64, 3}, {127, 9}};
    std::vector<std::pair<int, int>> routes;
    for (const auto& [route, layouts] : zedadu::test::reference::Routes()) {
        routes.push_back(route);
    }
    for (const int channel : {1, 2, 3, 4}) {
        for (const int target : {8, 16, 32, 64, 422}) {
            routes.push_back({channel, target});
        }
        routes.push_back({channel, 24});
    }
    std::mt19937 random(20240611);
    for (const InstructionSet set : InstructionSets()) {
        UsingInstructionSet using_(set);
        for (const auto& [source, target] : routes) {
            for (const auto& [width, height] : sizes) {
                // Exactly the bytes the route needs (so the sanitizers see any stray access), and
                // then a spare tail that must come back untouched.
                const size_t needed = RouteBytesPerPixel(source, target) * width * height;
                for (const size_t spare : {size_t(0), size_t(41)}) {
                    Bytes shipped = RandomBytes(needed + spare, random);
                    Bytes expected = shipped;
                    ASSERT_TRUE(
                        zedadu::test::reference::Convert(expected, width, height, source, target));
                    EXPECT_EQ(
                        zedadu::ConvertColorSpace(shipped.data(), width, height, source, target),
                        1);
                    EXPECT_EQ(shipped, expected) << source << " -> " << target << " at " << width
                                                 << "x" << height << " with " << int(set);
                }
            }
        }
    }
}

constexpr uint32_t kAllPixels = 1u << 24;
constexpr uint32_t kChunk = 1u << 20;

void FillWithPixelValues(Bytes& chunk, uint32_t first, size_t repeat) {
    for (uint32_t i = 0; i < kChunk; ++i) {
        const uint32_t v = first + i;
        for (size_t copy = 0; copy < repeat; ++copy) {
            uint8_t* pixel = &chunk[(i * repeat + copy) * 3];
            pixel[0] = uint8_t(v), pixel[1] = uint8_t(v >> 8), pixel[2] = uint8_t(v >> 16);
        }
    }
}

TEST(ConvertKernels, GreyLevelMatchesTheFormulaForEveryPixel) {
    namespace ref = zedadu::test::reference;
    for (const InstructionSet set : InstructionSets()) {
        UsingInstructionSet using_(set);
        size_t mismatches = 0;
        Bytes chunk(3 * kChunk);
        for (uint32_t first = 0; first < kAllPixels; first += kChunk) {
            FillWithPixelValues(chunk, first, 1);
            zedadu::convert::Convert24To8(chunk.data(), 1024, kChunk / 1024);
            for (uint32_t i = 0; i < kChunk; ++i) {
                const uint32_t v = first + i;
                mismatches += chunk[i] != ref::Grey(v & 255, (v >> 8) & 255, v >> 16);
            }
        }
        EXPECT_EQ(mismatches, 0u) << int(set);
    }
}

// Pairs of equal pixels: Y sees every pixel value and U and V every mean.
TEST(ConvertKernels, LumaAndChromaMatchTheFormulasForEveryInput) {
    namespace ref = zedadu::test::reference;
    for (const InstructionSet set : InstructionSets()) {
        UsingInstructionSet using_(set);
        size_t mismatches = 0;
        Bytes chunk(6 * kChunk);
        for (uint32_t first = 0; first < kAllPixels; first += kChunk) {
            FillWithPixelValues(chunk, first, 2);
            zedadu::convert::Convert24To422(chunk.data(), 2048, 2 * kChunk / 2048);
            for (uint32_t i = 0; i < kChunk; ++i) {
                const uint32_t v = first + i;
                const int p0 = v & 255, p1 = (v >> 8) & 255, p2 = v >> 16;
                const uint8_t* group = &chunk[4 * i];
                mismatches += group[0] != ref::Y(p0, p1, p2) || group[2] != group[0];
                mismatches += group[1] != ref::U(p0, p1, p2) || group[3] != ref::V(p0, p1, p2);
            }
        }
        EXPECT_EQ(mismatches, 0u) << int(set);
    }
}

// Every pair of byte values meets in a mean, in each of the three positions.
TEST(ConvertKernels, PairMeansMatchTheReferenceForEveryPairOfValues) {
    Bytes pixels(6 * 65536);
    for (uint32_t k = 0; k < 65536; ++k) {
        const uint8_t a = uint8_t(k >> 8), c = uint8_t(k);
        const uint8_t pair[6] = {a, c, uint8_t(a ^ c), c, a, uint8_t(255 - c)};
        std::copy(pair, pair + 6, &pixels[6 * k]);
    }
    Bytes expected = pixels;
    zedadu::test::reference::To422(expected, 512, 256);
    for (const InstructionSet set : InstructionSets()) {
        UsingInstructionSet using_(set);
        Bytes shipped = pixels;
        zedadu::convert::Convert24To422(shipped.data(), 512, 256);
        EXPECT_EQ(shipped, expected) << int(set);
    }
}

}  // namespace
