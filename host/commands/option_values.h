// The values of command-line options, parsed by the host itself so that every wrong value gets
// one plain sentence naming the option, what it takes and what was given (UsageError).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/media/layouts.h"

namespace zedadu::host {

// A whole number from `least` to `most`.
uint64_t ParseWhole(const char* option, const std::string& text, uint64_t least, uint64_t most);
std::optional<uint64_t> ParseWhole(const char* option, const std::optional<std::string>& text,
                                   uint64_t least, uint64_t most);

// "WIDTHxHEIGHT", each from 1 to 16384.
FrameSize ParseSize(const char* option, const std::string& text);

// Frames per second as "N", "N/D" or a decimal such as "12.5", held as the fraction rate/scale.
struct FrameRateValue {
    uint32_t rate;
    uint32_t scale;
};
FrameRateValue ParseFrameRate(const char* option, const std::string& text);

// "RATE[:CHANNELS[:BITS]]": sample rate in Hz, 1 to 8 channels, 8 or 16 bits.
struct AudioValue {
    uint32_t sampleRate;
    std::optional<uint32_t> channels;
    std::optional<uint32_t> bits;
};
AudioValue ParseAudio(const char* option, const std::string& text);

// "on" or "off".
bool ParseOnOff(const char* option, const std::string& text);

}  // namespace zedadu::host
