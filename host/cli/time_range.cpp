#include "host/cli/time_range.h"

#include <CLI/CLI.hpp>

#include "host/cli/errors.h"
#include "host/cli/text.h"

namespace zedadu::host {
namespace {

constexpr uint64_t kMicroseconds = 1000000;
// Fields of at most nine digits keep every time, 999999999 hours included, within 64 bits of
// microseconds, and a start plus a duration too.
constexpr size_t kMostFieldDigits = 9;

using Wide = unsigned __int128;

// A run of one to nine digits.
std::optional<uint64_t> Field(const std::string& text) {
    return DecimalDigits(text, kMostFieldDigits);
}

// "5" (of ".5") as 500000 microseconds, digits past the sixth cut off; "" as 0.
std::optional<uint64_t> Fraction(const std::string& digits) {
    if (!digits.empty() && !Field(digits)) {
        return std::nullopt;
    }
    uint64_t value = 0, unit = kMicroseconds;
    for (const char c : digits) {
        unit /= 10;
        value += uint64_t(c - '0') * unit;
    }
    return value;
}

std::optional<uint64_t> Microseconds(const std::string& text) {
    const size_t point = text.find('.');
    const auto fraction = Fraction(point == std::string::npos ? "" : text.substr(point + 1));
    const std::string clock = text.substr(0, point);
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t colon = clock.find(':', at);
        fields.push_back(clock.substr(at, colon - at));
        if (colon == std::string::npos) {
            break;
        }
        at = colon + 1;
    }
    if (!fraction || fields.size() > 3) {
        return std::nullopt;
    }
    uint64_t seconds = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto value = Field(fields[i]);
        if (!value || (i > 0 && (fields[i].size() != 2 || *value >= 60))) {
            return std::nullopt;
        }
        seconds = seconds * 60 + *value;
    }
    return seconds * kMicroseconds + *fraction;
}

uint64_t ParseTime(const char* option, const std::string& text) {
    const auto time = Microseconds(text);
    if (!time) {
        throw UsageError(
            Text("%s takes a time in seconds (12.5) or as [HH:]MM:SS[.FRACTION] "
                 "(01:02:03.5), not \"%s\"",
                 option, text.c_str()));
    }
    return *time;
}

// The first unit at or after the time: ⌈microseconds × rate / (scale × 10^6)⌉.
uint64_t FirstUnitFrom(uint64_t microseconds, uint64_t rate, uint64_t scale) {
    const Wide denominator = Wide(scale) * kMicroseconds;
    const Wide units = (Wide(microseconds) * rate + denominator - 1) / denominator;
    return units > UINT64_MAX ? UINT64_MAX : uint64_t(units);
}

}  // namespace

void AddTimeRangeOptions(CLI::App& command, TimeRangeTexts& texts, CLI::Option* from,
                         CLI::Option* count) {
    CLI::Option* start =
        command.add_option("--ss", texts.start, "start at this time (ffmpeg's -ss is taken too)")
            ->type_name("TIME");
    CLI::Option* end =
        command.add_option("--to", texts.end, "end before this time (ffmpeg's -to is taken too)")
            ->type_name("TIME");
    CLI::Option* duration =
        command.add_option("-t,--duration", texts.duration, "this long from the start")
            ->type_name("TIME")
            ->excludes(end);
    if (from) {
        start->excludes(from);
    }
    if (count) {
        end->excludes(count);
        duration->excludes(count);
    }
}

std::optional<TimeRange> ParseTimeRange(const TimeRangeTexts& texts) {
    if (!texts.start && !texts.end && !texts.duration) {
        return std::nullopt;
    }
    TimeRange range;
    if (texts.start) {
        range.start = ParseTime("--ss", *texts.start);
    }
    if (texts.end) {
        range.end = ParseTime("--to", *texts.end);
        if (*range.end <= range.start) {
            throw UsageError(Text("--to %s does not come after the start (%s)", texts.end->c_str(),
                                  TimeText(range.start).c_str()));
        }
    }
    if (texts.duration) {
        const uint64_t duration = ParseTime("-t", *texts.duration);
        if (duration == 0) {
            throw UsageError("-t takes a duration above 0, not \"" + *texts.duration + "\"");
        }
        range.end = range.start + duration;
    }
    return range;
}

UnitSpan UnitsInRange(const TimeRange& range, uint64_t rate, uint64_t scale, uint64_t units,
                      const char* what) {
    const uint64_t first = std::min(FirstUnitFrom(range.start, rate, scale), units);
    const uint64_t end =
        range.end ? std::min(FirstUnitFrom(*range.end, rate, scale), units) : units;
    if (first >= end) {
        const double seconds = rate ? double(units) * double(scale) / double(rate) : 0.0;
        throw UsageError(Text("the time range from %s holds no %s (the stream has %s, %s)",
                              TimeText(range.start).c_str(), what, Counted(units, what).c_str(),
                              TimeText(uint64_t(seconds * kMicroseconds)).c_str()));
    }
    return {first, end - first};
}

std::string TimeText(uint64_t microseconds) {
    const uint64_t seconds = microseconds / kMicroseconds;
    std::string fraction =
        Text(".%06llu", static_cast<unsigned long long>(microseconds % kMicroseconds));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (fraction == ".") {
        fraction.clear();
    }
    if (seconds < 60) {
        return Text("%llu%s s", static_cast<unsigned long long>(seconds), fraction.c_str());
    }
    return Text("%llu:%02llu:%02llu%s", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60), fraction.c_str());
}

}  // namespace zedadu::host
