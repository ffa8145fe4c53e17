// The settings of one conversion given on the command line, each in the unit the settings dialog
// shows and the summary prints: quality 0 to 100, data rate in KB/s, padding in bytes. They change
// the formats handed to the plug-in for that conversion only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/commands/option_values.h"
#include "host/hosting/request_formats.h"

namespace CLI {
class App;
}

namespace zedadu::host {

// The options as typed, parsed only when the command runs so that each wrong value gets its own
// sentence.
struct ConversionOptionTexts {
    std::optional<std::string> compressor;
    std::optional<std::string> quality;
    std::optional<std::string> keyFrames;
    std::optional<std::string> dataRate;
    std::optional<std::string> size;
    std::optional<std::string> rate;
    std::optional<std::string> depth;
    std::optional<std::string> padding;
    bool audioLead = false;
    bool noAudioLead = false;
    std::optional<std::string> audio;
};

struct ConversionChoices {
    std::optional<std::string> compressor;  // a code or a name
    std::optional<uint32_t> quality;        // 0 to 100
    std::optional<uint32_t> keyFrames;      // 0: where the compressor puts them
    std::optional<uint32_t> dataRate;       // KB/s, 0: no limit
    std::optional<FrameSize> size;
    std::optional<FrameRateValue> rate;
    std::optional<uint32_t> depth;  // 16, 24 or 32
    std::optional<uint32_t> padding;
    std::optional<bool> audioLead;
    std::optional<AudioValue> audio;
};

void AddConversionOptions(CLI::App& command, ConversionOptionTexts& texts);

// Throws UsageError for the first value out of range.
ConversionChoices ParseChoices(const ConversionOptionTexts& texts);

// Applies the choices to the formats; throws UsageError when the compressor is not installed or
// does not take a setting given.
void ApplyChoices(const ConversionChoices& choices, HostFormats& formats);

// Throws UsageError when the compressor of the settings does not take their frame size or colour
// depth, naming the usual sizes it takes.
void CheckCompressorTakes(const ImageFormatStruct& video, const CompressionSettings& compression);

// Throws UsageError when the data rate of the settings is too low to carry the audio slot and the
// padding of every frame, which the plug-in would answer by writing without a limit. `audio` is
// null when the output has none.
void CheckDataRateCarriesTheRecords(const ImageFormatStruct& video, const AudioFormatRecord* audio,
                                    const CompressionSettings& compression);

}  // namespace zedadu::host
