#include "host/media/clip.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace zedadu::host {
namespace {

constexpr int32_t kGlyphWidth = 5;
constexpr int32_t kGlyphHeight = 7;
constexpr const char* kDigits[10][kGlyphHeight] = {
    {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "},
    {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "},
    {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"},
    {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "},
    {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "},
    {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "},
    {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "},
    {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "},
    {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "},
    {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "},
};

// 75% colour bars: white, yellow, cyan, green, magenta, red, blue.
constexpr uint8_t kBars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                 {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};

void FillRectangle(Image& image, int32_t x, int32_t y, int32_t width, int32_t height,
                   const uint8_t rgb[3]) {
    const int32_t right = std::min(image.width, x + width);
    const int32_t bottom = std::min(image.height, y + height);
    for (int32_t row = std::max(0, y); row < bottom; ++row) {
        for (int32_t column = std::max(0, x); column < right; ++column) {
            memcpy(image.pixel(column, row), rgb, 3);
        }
    }
}

void DrawBarsAndRamp(Image& image, uint32_t frame) {
    const int32_t barsHeight = image.height * 2 / 3;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            uint8_t* rgb = image.pixel(x, y);
            if (y < barsHeight) {
                memcpy(rgb, kBars[int64_t(x) * 7 / image.width], 3);
            } else {
                const uint8_t grey =
                    uint8_t((int64_t(x) + int64_t(frame) * 6) * 255 / image.width % 256);
                rgb[0] = rgb[1] = rgb[2] = grey;
            }
        }
    }
}

void DrawGlyph(Image& image, int digit, int32_t x, int32_t y, int32_t scale) {
    static const uint8_t kWhite[3] = {255, 255, 255};
    for (int32_t row = 0; row < kGlyphHeight; ++row) {
        for (int32_t column = 0; column < kGlyphWidth; ++column) {
            if (kDigits[digit][row][column] == '#') {
                FillRectangle(image, x + column * scale, y + row * scale, scale, scale, kWhite);
            }
        }
    }
}

}  // namespace

void DrawNumber(Image& image, uint32_t number, int digits, int32_t x, int32_t y, int32_t scale) {
    std::string text = std::to_string(number);
    if (text.size() < size_t(digits)) {
        text.insert(0, size_t(digits) - text.size(), '0');
    }
    const int32_t advance = (kGlyphWidth + 1) * scale;
    for (size_t i = 0; i < text.size(); ++i) {
        DrawGlyph(image, text[i] - '0', x + int32_t(i) * advance, y, scale);
    }
}

Image TestPattern(int32_t width, int32_t height, uint32_t frame) {
    Image image(width, height);
    DrawBarsAndRamp(image, frame);
    static const uint8_t kWhite[3] = {255, 255, 255};
    static const uint8_t kBlack[3] = {16, 16, 16};
    const int32_t block = std::max(4, height / 8);
    const int32_t travel = std::max(1, width - block);
    const int32_t blockX = int32_t(int64_t(frame) * 12 % (2 * travel));
    FillRectangle(image, blockX < travel ? blockX : 2 * travel - blockX, height * 2 / 3 - block,
                  block, block, kWhite);
    const int32_t scale = std::max(1, height / 40);
    const int32_t boxWidth = (4 * (kGlyphWidth + 1) + 1) * scale;
    const int32_t boxHeight = (kGlyphHeight + 2) * scale;
    const int32_t boxX = (width - boxWidth) / 2, boxY = (height * 2 / 3 - boxHeight) / 2;
    FillRectangle(image, boxX, boxY, boxWidth, boxHeight, kBlack);
    DrawNumber(image, frame, 4, boxX + scale, boxY + scale, scale);
    return image;
}

void Tone(uint64_t first, uint32_t count, uint32_t channels, uint32_t sampleRate,
          const Layout& layout, std::vector<uint8_t>& samples) {
    samples.resize(size_t(count) * channels * layout.bytes);
    uint8_t* out = samples.data();
    for (uint32_t i = 0; i < count; ++i) {
        const double seconds = double(first + i) / double(sampleRate);
        for (uint32_t channel = 0; channel < channels; ++channel) {
            const double frequency = channel == 0 ? 440.0 : 660.0;
            const double value = 0.25 * std::sin(2.0 * std::numbers::pi * frequency * seconds);
            if (layout.bytes == 2) {
                const auto word = int16_t(std::lround(value * 32767.0));
                memcpy(out, &word, 2);
            } else {
                *out = uint8_t(128 + std::lround(value * 127.0));
            }
            out += layout.bytes;
        }
    }
}

}  // namespace zedadu::host
