// Time ranges of the command line as ffmpeg takes them: --ss START, and --to END or -t DURATION,
// each in seconds ("12.5") or [HH:]MM:SS[.FRACTION] ("01:02:03.5"). A range holds the frames or
// sample frames whose time is at or after its start and before its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace zedadu::host {

struct TimeRangeTexts {
    std::optional<std::string> start;
    std::optional<std::string> end;
    std::optional<std::string> duration;
};

// `from` and `count`, when given, are the options that choose the same units by number, which a
// range excludes.
void AddTimeRangeOptions(CLI::App& command, TimeRangeTexts& texts, CLI::Option* from = nullptr,
                         CLI::Option* count = nullptr);

// In microseconds; no end: to the end of the stream.
struct TimeRange {
    uint64_t start = 0;
    std::optional<uint64_t> end;
};

// Nothing when no option of a range was given; throws UsageError for a value that is no time and
// for an end that does not come after the start.
std::optional<TimeRange> ParseTimeRange(const TimeRangeTexts& texts);

// The units of a stream of `units`, unit i at i × scale / rate seconds, that the range holds:
// [first, first + count). Throws UsageError when it holds none, naming `what` ("frame") and the
// stream's length.
struct UnitSpan {
    uint64_t first;
    uint64_t count;
};
UnitSpan UnitsInRange(const TimeRange& range, uint64_t rate, uint64_t scale, uint64_t units,
                      const char* what);

// "12.5 s" or "1:02:03.5"
std::string TimeText(uint64_t microseconds);

}  // namespace zedadu::host
