// The dispatcher and the kernels, written as the formulas read. Each kernel converts through a
// scratch copy of the source image.
#include "convert/convert.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ui/message_box.h"

namespace zedadu {
namespace {

using Kernel = void (*)(uint8_t* buffer, size_t pixels);

constexpr char kRefusalText[] =
    "The specified color space is not supported by the current version of Corvana software";
constexpr char kRefusalCaption[] = "Corvana Color Convertor";
constexpr UINT kRefusalFlags = MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND;

uint8_t Grey(uint8_t b0, uint8_t b1, uint8_t b2) {
    double t = b1 * 0.7154;
    t = t + b2 * 0.0721;
    t = t + b0 * 0.2125;
    return static_cast<uint8_t>(static_cast<int>(t));
}

uint16_t Pack555(uint8_t b0, uint8_t b1, uint8_t b2) {
    return static_cast<uint16_t>((b2 >> 3) << 10 | (b1 >> 3) << 5 | (b0 >> 3));
}

void Store16(uint8_t* out, uint16_t word) {
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
}

void Convert8To24(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + n);
    for (size_t i = 0; i < n; ++i) {
        memset(buffer + 3 * i, in[i], 3);
    }
}

void Convert8To32(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + n);
    for (size_t i = 0; i < n; ++i) {
        memset(buffer + 4 * i, in[i], 3);
        buffer[4 * i + 3] = 255;
    }
}

void Convert8To16(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + n);
    for (size_t i = 0; i < n; ++i) {
        Store16(buffer + 2 * i, Pack555(in[i], in[i], in[i]));
    }
}

void Convert24To32(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + 3 * n);
    for (size_t i = 0; i < n; ++i) {
        memcpy(buffer + 4 * i, &in[3 * i], 3);
        buffer[4 * i + 3] = 255;
    }
}

void Convert32To24(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + 4 * n);
    for (size_t i = 0; i < n; ++i) {
        memcpy(buffer + 3 * i, &in[4 * i], 3);
    }
}

template <size_t In>
void ConvertTo16(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + In * n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = &in[In * i];
        Store16(buffer + 2 * i, Pack555(p[0], p[1], p[2]));
    }
}

template <size_t In>
void ConvertTo8(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + In * n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = &in[In * i];
        buffer[i] = Grey(p[0], p[1], p[2]);
    }
}

void Convert32To64(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + 4 * n);
    for (size_t i = 0; i < 4 * n; ++i) {
        Store16(buffer + 2 * i, static_cast<uint16_t>(in[i] << 8));
    }
}

void Convert64To32(uint8_t* buffer, size_t n) {
    std::vector<uint8_t> in(buffer, buffer + 8 * n);
    for (size_t i = 0; i < 4 * n; ++i) {
        buffer[i] = in[2 * i + 1];
    }
}

uint8_t ComputeY(int p0, int p1, int p2) {
    double t = p1 * 0.587;
    t = t + p0 * 0.299;
    t = t + p2 * 0.114;
    return static_cast<uint8_t>(static_cast<int>(t));
}

uint8_t ComputeU(int m0, int m1, int m2) {
    const double t = m2 * 0.436798 - (m0 * 0.147407 + m1 * 0.289391);
    return static_cast<uint8_t>(static_cast<int>(t));
}

uint8_t ComputeV(int m0, int m1, int m2) {
    double t = m0 * 0.614777;
    t = t - m2 * 0.099978;
    t = t - m1 * 0.514799;
    return static_cast<uint8_t>(static_cast<int>(t));
}

// Rows are walked separately; an odd width's last pixel pairs with itself.
void Convert24To422(uint8_t* buffer, int32_t width, int32_t height) {
    const size_t n = size_t(width) * size_t(height);
    std::vector<uint8_t> in(buffer, buffer + 3 * n);
    uint8_t* out = buffer;
    const int32_t pairs = (width + 1) / 2;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* line = &in[size_t(row) * size_t(width) * 3];
        for (int32_t pair = 0; pair < pairs; ++pair) {
            const uint8_t* a = line + size_t(pair) * 6;
            const uint8_t* b = 2 * pair + 1 < width ? a + 3 : a;
            const int m0 = (a[0] + b[0]) / 2, m1 = (a[1] + b[1]) / 2, m2 = (a[2] + b[2]) / 2;
            out[0] = ComputeY(a[0], a[1], a[2]);
            out[1] = ComputeU(m0, m1, m2);
            out[2] = ComputeY(b[0], b[1], b[2]);
            out[3] = ComputeV(m0, m1, m2);
            out += 4;
        }
    }
}

void ExpandChannelTo24(uint8_t* buffer, size_t n, int32_t channel) {
    std::vector<uint8_t> in(buffer, buffer + n);
    memset(buffer, 0, 3 * n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t* out = buffer + 3 * i;
        if (channel == 4) {
            memset(out, in[i], 3);
        } else {
            out[channel - 1] = in[i];
        }
    }
}

struct Route {
    int32_t source;
    int32_t target;
    Kernel steps[3];
};

constexpr Route kRoutes[] = {
    {8, 16, {Convert8To16}},
    {8, 24, {Convert8To24}},
    {8, 32, {Convert8To32}},
    {8, 64, {Convert8To32, Convert32To64}},
    {24, 8, {ConvertTo8<3>}},
    {24, 16, {ConvertTo16<3>}},
    {24, 32, {Convert24To32}},
    {24, 64, {Convert24To32, Convert32To64}},
    {32, 8, {ConvertTo8<4>}},
    {32, 16, {ConvertTo16<4>}},
    {32, 24, {Convert32To24}},
    {32, 64, {Convert32To64}},
    {64, 8, {Convert64To32, ConvertTo8<4>}},
    {64, 16, {Convert64To32, ConvertTo16<4>}},
    {64, 24, {Convert64To32, Convert32To24}},
    {64, 32, {Convert64To32}},
};

// Steps that end in 4:2:2 first bring the image to code 24.
constexpr Route kRoutesTo422[] = {
    {8, kLayout422, {Convert8To24}},
    {24, kLayout422, {}},
    {32, kLayout422, {Convert32To24}},
    {64, kLayout422, {Convert64To32, Convert32To24}},
};

template <size_t N>
const Route* FindRoute(const Route (&routes)[N], int32_t source, int32_t target) {
    for (const Route& route : routes) {
        if (route.source == source && route.target == target) {
            return &route;
        }
    }
    return nullptr;
}

int32_t Refuse() {
    MessageBoxA(GetForegroundWindow(), kRefusalText, kRefusalCaption, kRefusalFlags);
    return 0;
}

void RunSteps(const Route& route, uint8_t* buffer, size_t n) {
    for (Kernel step : route.steps) {
        if (step) {
            step(buffer, n);
        }
    }
}

}  // namespace

int32_t ConvertColorSpace(void* buffer, int32_t width, int32_t height, int32_t source,
                          int32_t target) {
    if (source == target) {
        return 1;
    }
    if (width < 0 || height < 0) {
        return 0;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    const size_t n = size_t(width) * size_t(height);
    if (source >= 1 && source <= 4) {
        ExpandChannelTo24(bytes, n, source);
        return ConvertColorSpace(buffer, width, height, 24, target);
    }
    if (const Route* route = FindRoute(kRoutes, source, target)) {
        RunSteps(*route, bytes, n);
        return 1;
    }
    if (const Route* route = FindRoute(kRoutesTo422, source, target)) {
        RunSteps(*route, bytes, n);
        Convert24To422(bytes, width, height);
        return 1;
    }
    return Refuse();
}

}  // namespace zedadu
