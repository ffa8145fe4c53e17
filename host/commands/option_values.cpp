#include "host/commands/option_values.h"

#include <cmath>

#include <limits>
#include <numeric>

#include "host/cli/errors.h"
#include "host/cli/text.h"

namespace zedadu::host {
namespace {

constexpr int32_t kLargestSide = 16384;
constexpr uint64_t kFastestFrameRate = 1000;

// Digits only, and a value that fits 64 bits.
std::optional<uint64_t> Digits(const std::string& text) {
    return DecimalDigits(text, 19);
}

[[noreturn]] void Refuse(const char* option, const std::string& takes, const std::string& text) {
    throw UsageError(Text("%s takes %s, not \"%s\"", option, takes.c_str(), text.c_str()));
}

// "12.5" as 125/10; nothing for anything but digits with at most six decimals.
std::optional<FrameRateValue> Decimal(const std::string& text) {
    constexpr int kMostDecimals = 6;
    const size_t point = text.find('.');
    const auto whole = Digits(text.substr(0, point));
    if (point == std::string::npos || !whole) {
        return std::nullopt;
    }
    const std::string decimals = text.substr(point + 1);
    const auto fraction = Digits(decimals);
    if (!fraction || decimals.size() > kMostDecimals || *whole > kFastestFrameRate) {
        return std::nullopt;
    }
    uint64_t scale = 1;
    for (size_t i = 0; i < decimals.size(); ++i) {
        scale *= 10;
    }
    const uint64_t rate = *whole * scale + *fraction;
    const uint64_t common = std::gcd(rate, scale);
    return FrameRateValue{uint32_t(rate / common), uint32_t(scale / common)};
}

// "N" or "N/D" with both parts fitting 32 bits.
std::optional<FrameRateValue> Fraction(const std::string& text) {
    const size_t slash = text.find('/');
    const auto rate = Digits(text.substr(0, slash));
    const auto scale =
        slash == std::string::npos ? std::optional<uint64_t>(1) : Digits(text.substr(slash + 1));
    constexpr uint64_t kMost = std::numeric_limits<uint32_t>::max();
    if (!rate || !scale || *rate > kMost || *scale > kMost) {
        return std::nullopt;
    }
    return FrameRateValue{uint32_t(*rate), uint32_t(*scale)};
}

}  // namespace

uint64_t ParseWhole(const char* option, const std::string& text, uint64_t least, uint64_t most) {
    const auto value = Digits(text);
    if (!value || *value < least || *value > most) {
        Refuse(option,
               Text("a whole number from %llu to %llu", static_cast<unsigned long long>(least),
                    static_cast<unsigned long long>(most)),
               text);
    }
    return *value;
}

std::optional<uint64_t> ParseWhole(const char* option, const std::optional<std::string>& text,
                                   uint64_t least, uint64_t most) {
    if (!text) {
        return std::nullopt;
    }
    return ParseWhole(option, *text, least, most);
}

FrameSize ParseSize(const char* option, const std::string& text) {
    const size_t x = text.find_first_of("xX");
    const auto width = Digits(text.substr(0, x));
    const auto height = x == std::string::npos ? std::nullopt : Digits(text.substr(x + 1));
    if (!width || !height || *width < 1 || *height < 1 || *width > kLargestSide ||
        *height > kLargestSide) {
        Refuse(option, Text("a frame size WIDTHxHEIGHT (each 1 to %i), e.g. 640x480", kLargestSide),
               text);
    }
    return FrameSize{int32_t(*width), int32_t(*height)};
}

// A decimal that rounds one of the NTSC rates (23.976, 29.97, 59.94, ...) to its decimals means
// that rate's 1001 fraction.
std::optional<FrameRateValue> NtscRate(const std::string& text, const FrameRateValue& value) {
    const size_t decimals = text.size() - text.find('.') - 1;
    if (decimals < 2) {
        return std::nullopt;
    }
    const double given = double(value.rate) / value.scale;
    const double half = 0.5 * std::pow(10.0, -double(decimals));
    for (const uint32_t whole : {24u, 30u, 48u, 60u, 120u}) {
        if (std::fabs(given - whole * 1000.0 / 1001.0) < half) {
            return FrameRateValue{whole * 1000, 1001};
        }
    }
    return std::nullopt;
}

FrameRateValue ParseFrameRate(const char* option, const std::string& text) {
    auto value = text.find('.') != std::string::npos ? Decimal(text) : Fraction(text);
    if (value && text.find('.') != std::string::npos) {
        value = NtscRate(text, *value).value_or(*value);
    }
    if (!value || value->rate == 0 || value->scale == 0 ||
        value->rate / value->scale >= kFastestFrameRate) {
        Refuse(option,
               "frames per second as N, N/D or a decimal below 1000, e.g. 25, 30000/1001 or 12.5",
               text);
    }
    return *value;
}

AudioValue ParseAudio(const char* option, const std::string& text) {
    constexpr uint32_t kSlowestSampleRate = 1000;
    constexpr uint32_t kFastestSampleRate = 192000;
    constexpr uint32_t kMostChannels = 8;
    const std::string takes = Text(
        "RATE[:CHANNELS[:BITS]], a rate from %u to %u Hz, 1 to %u channels and 8 or 16 bits, "
        "e.g. 48000:2:16",
        kSlowestSampleRate, kFastestSampleRate, kMostChannels);
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    const auto rate = Digits(text.substr(0, first));
    const auto channels = first == std::string::npos
                              ? std::optional<uint64_t>(0)
                              : Digits(text.substr(first + 1, second - first - 1));
    const auto bits =
        second == std::string::npos ? std::optional<uint64_t>(0) : Digits(text.substr(second + 1));
    if (!rate || !channels || !bits || *rate < kSlowestSampleRate || *rate > kFastestSampleRate ||
        *channels > kMostChannels || (first != std::string::npos && *channels == 0) ||
        (second != std::string::npos && *bits != 8 && *bits != 16)) {
        Refuse(option, takes, text);
    }
    AudioValue value{uint32_t(*rate), std::nullopt, std::nullopt};
    if (*channels) {
        value.channels = uint32_t(*channels);
    }
    if (*bits) {
        value.bits = uint32_t(*bits);
    }
    return value;
}

bool ParseOnOff(const char* option, const std::string& text) {
    if (text != "on" && text != "off") {
        Refuse(option, "on or off", text);
    }
    return text == "on";
}

}  // namespace zedadu::host
