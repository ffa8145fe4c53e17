// A plain reference converter for the tests, written straight from the formulas: every step takes
// a scratch copy of its source image and walks it pixel by pixel; chains run their steps in order.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace zedadu::test::reference {

inline uint8_t Grey(int b0, int b1, int b2) {
    double t = b1 * 0.7154;
    t = t + b2 * 0.0721;
    t = t + b0 * 0.2125;
    return static_cast<uint8_t>(static_cast<int>(t));
}

inline uint8_t Y(int p0, int p1, int p2) {
    double t = p1 * 0.587;
    t = t + p0 * 0.299;
    t = t + p2 * 0.114;
    return static_cast<uint8_t>(static_cast<int>(t));
}

inline uint8_t U(int m0, int m1, int m2) {
    return static_cast<uint8_t>(static_cast<int>(m2 * 0.436798 - (m0 * 0.147407 + m1 * 0.289391)));
}

inline uint8_t V(int m0, int m1, int m2) {
    double t = m0 * 0.614777;
    t = t - m2 * 0.099978;
    t = t - m1 * 0.514799;
    return static_cast<uint8_t>(static_cast<int>(t));
}

using Image = std::vector<uint8_t>;
using PixelFn = void (*)(const uint8_t* in, uint8_t* out);

// One step of the common frame: scratch copy of n input pixels, results written from the start.
inline void Step(Image& buffer, size_t n, size_t in, size_t out, PixelFn pixel) {
    const Image scratch(buffer.begin(), buffer.begin() + n * in);
    for (size_t i = 0; i < n; ++i) {
        pixel(&scratch[i * in], &buffer[i * out]);
    }
}

inline void Word555(uint8_t* out, int b0, int b1, int b2) {
    const int word = (b2 >> 3) << 10 | (b1 >> 3) << 5 | (b0 >> 3);
    out[0] = uint8_t(word);
    out[1] = uint8_t(word >> 8);
}

struct StepSpec {
    size_t in, out;
    PixelFn pixel;
};

inline const std::map<std::pair<int, int>, StepSpec>& Steps() {
    static const std::map<std::pair<int, int>, StepSpec> steps = {
        {{8, 24}, {1, 3, [](const uint8_t* p, uint8_t* o) { o[0] = o[1] = o[2] = p[0]; }}},
        {{8, 32},
         {1, 4, [](const uint8_t* p, uint8_t* o) { o[0] = o[1] = o[2] = p[0], o[3] = 255; }}},
        {{8, 16}, {1, 2, [](const uint8_t* p, uint8_t* o) { Word555(o, p[0], p[0], p[0]); }}},
        {{24, 32}, {3, 4, [](const uint8_t* p, uint8_t* o) { memcpy(o, p, 3), o[3] = 255; }}},
        {{32, 24}, {4, 3, [](const uint8_t* p, uint8_t* o) { memcpy(o, p, 3); }}},
        {{24, 16}, {3, 2, [](const uint8_t* p, uint8_t* o) { Word555(o, p[0], p[1], p[2]); }}},
        {{32, 16}, {4, 2, [](const uint8_t* p, uint8_t* o) { Word555(o, p[0], p[1], p[2]); }}},
        {{24, 8}, {3, 1, [](const uint8_t* p, uint8_t* o) { o[0] = Grey(p[0], p[1], p[2]); }}},
        {{32, 8}, {4, 1, [](const uint8_t* p, uint8_t* o) { o[0] = Grey(p[0], p[1], p[2]); }}},
        {{32, 64},
         {4, 8,
          [](const uint8_t* p, uint8_t* o) {
              for (int k = 0; k < 4; ++k) {
                  o[2 * k] = 0, o[2 * k + 1] = p[k];
              }
          }}},
        {{64, 32},
         {8, 4,
          [](const uint8_t* p, uint8_t* o) {
              for (int k = 0; k < 4; ++k) {
                  o[k] = p[2 * k + 1];
              }
          }}},
    };
    return steps;
}

// Rows kept apart; an odd row of three or more pixels ends with its last pixel paired with itself.
inline void To422(Image& buffer, int width, int height) {
    const Image in(buffer.begin(), buffer.begin() + size_t(width) * height * 3);
    const int pairs = width < 2 ? 0 : (width + 1) / 2;
    size_t out = 0;
    for (int row = 0; row < height; ++row) {
        for (int pair = 0; pair < pairs; ++pair) {
            const int first = 2 * pair, second = first + 1 < width ? first + 1 : first;
            const uint8_t* a = &in[(size_t(row) * width + first) * 3];
            const uint8_t* b = &in[(size_t(row) * width + second) * 3];
            const int m0 = (a[0] + b[0]) / 2, m1 = (a[1] + b[1]) / 2, m2 = (a[2] + b[2]) / 2;
            buffer[out++] = Y(a[0], a[1], a[2]);
            buffer[out++] = U(m0, m1, m2);
            buffer[out++] = Y(b[0], b[1], b[2]);
            buffer[out++] = V(m0, m1, m2);
        }
    }
}

inline void Expand(Image& buffer, size_t n, int channel) {
    const Image in(buffer.begin(), buffer.begin() + n);
    memset(buffer.data(), 0, 3 * n);
    for (size_t i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (channel == 4 || k == channel - 1) {
                buffer[3 * i + k] = in[i];
            }
        }
    }
}

// The layouts each supported pair passes through, source first.
inline const std::map<std::pair<int, int>, std::vector<int>>& Routes() {
    static const std::map<std::pair<int, int>, std::vector<int>> routes = {
        {{8, 16}, {8, 16}},         {{8, 24}, {8, 24}},
        {{8, 32}, {8, 32}},         {{8, 64}, {8, 32, 64}},
        {{8, 422}, {8, 24, 422}},   {{24, 8}, {24, 8}},
        {{24, 16}, {24, 16}},       {{24, 32}, {24, 32}},
        {{24, 64}, {24, 32, 64}},   {{24, 422}, {24, 422}},
        {{32, 8}, {32, 8}},         {{32, 16}, {32, 16}},
        {{32, 24}, {32, 24}},       {{32, 64}, {32, 64}},
        {{32, 422}, {32, 24, 422}}, {{64, 8}, {64, 32, 8}},
        {{64, 16}, {64, 32, 16}},   {{64, 24}, {64, 32, 24}},
        {{64, 32}, {64, 32}},       {{64, 422}, {64, 32, 24, 422}},
    };
    return routes;
}

// Runs a supported route (a channel source expands to 24 first). Returns false where the
// converter refuses.
inline bool Convert(Image& buffer, int width, int height, int source, int target) {
    const size_t n = size_t(width) * height;
    if (source >= 1 && source <= 4) {
        Expand(buffer, n, source);
        source = 24;
    }
    if (source == target) {
        return true;
    }
    const auto route = Routes().find({source, target});
    if (route == Routes().end()) {
        return false;
    }
    const std::vector<int>& layouts = route->second;
    for (size_t k = 0; k + 1 < layouts.size(); ++k) {
        if (layouts[k + 1] == 422) {
            To422(buffer, width, height);
        } else {
            const StepSpec& step = Steps().at({layouts[k], layouts[k + 1]});
            Step(buffer, n, step.in, step.out, step.pixel);
        }
    }
    return true;
}

}  // namespace zedadu::test::reference
