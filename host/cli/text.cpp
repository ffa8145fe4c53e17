#include "host/cli/text.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zedadu::host {

std::string Text(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::optional<uint64_t> DecimalDigits(const std::string& text, size_t mostDigits) {
    if (text.empty() || text.size() > mostDigits) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (!isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        value = value * 10 + uint64_t(c - '0');
    }
    return value;
}

std::string SystemReason(int error) {
    std::string reason = strerror(error);
    if (!reason.empty()) {
        reason[0] = char(tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

std::string FourCCText(FOURCC code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((code >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

std::string Counted(uint64_t count, const char* singular, const char* plural) {
    const std::string word = count == 1 ? singular
                             : plural   ? std::string(plural)
                                        : std::string(singular) + "s";
    return Text("%llu %s", static_cast<unsigned long long>(count), word.c_str());
}

std::string ByteCount(uint64_t bytes) {
    if (bytes < 1000) {
        return Counted(bytes, "byte");
    }
    static const char* const kUnits[] = {"kB", "MB", "GB", "TB"};
    double value = double(bytes) / 1000.0;
    size_t unit = 0;
    while (value >= 1000.0 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    return Text("%.1f %s", value, kUnits[unit]);
}

std::string SampleRateText(uint32_t sampleRate) {
    return Text("%g kHz", sampleRate / 1000.0);
}

std::string AudioText(uint32_t sampleRate, uint32_t bits, uint32_t channels) {
    const std::string layout = channels == 1   ? "mono"
                               : channels == 2 ? "stereo"
                                               : Counted(channels, "channel");
    return Text("%s, %u-bit, %s", SampleRateText(sampleRate).c_str(), bits, layout.c_str());
}

std::string Duration(double seconds) {
    if (seconds < 60.0) {
        return Text("%.2f s", seconds);
    }
    const auto whole = static_cast<unsigned long long>(seconds);
    const double fraction = seconds - double(whole);
    return Text("%llu:%02llu:%02llu.%01d", whole / 3600, whole / 60 % 60, whole % 60,
                int(fraction * 10.0));
}

std::string FrameRate(uint32_t rate, uint32_t scale) {
    if (scale == 0) {
        return "no frame rate";
    }
    return Text("%.4g fps", double(rate) / double(scale));
}

}  // namespace zedadu::host
