// The world of the settings-call tests, shared by the scripted and the window tests: three fake
// compressors and requests as a host makes them.
#pragma once

#include <vector>

#include "core/records.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {

constexpr uint32_t kEverything =
    kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio | kSettingsVideo;

// Quality and key frames, with an about box, taking 24 and 32 bits but not two of the listed
// sizes; data rate only, with options, proposing no output format (so 24 bits); everything, taking
// every depth.
inline std::vector<FakeCompressor> SettingsCallCompressors() {
    return {{.handler = FourCC("MSVC"),
             .flags = VIDCF_QUALITY | VIDCF_TEMPORAL,
             .description = u"Video 1",
             .stateSize = 16,
             .hasAboutBox = true,
             .acceptedDepths = {24, 32},
             .refusedSizes = {{720, 576}, {240, 240}}},
            {.handler = FourCC("RATE"),
             .flags = VIDCF_CRUNCH,
             .description = u"Rate Codec",
             .stateSize = 8,
             .hasConfigureBox = true,
             .proposesFormats = false},
            {.handler = FourCC("BOTH"),
             .flags = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL,
             .description = u"Both Codec",
             .stateSize = 1000,
             .hasConfigureBox = true,
             .hasAboutBox = true,
             .acceptedDepths = {16, 24, 32}}};
}

inline std::vector<std::string> SettingsCallDrivers() {
    return {"VIDC.MSVC", "VIDC.RATE", "VIDC.BOTH"};
}

inline WritingSettingsRecord SettingsRequest(uint32_t request) {
    WritingSettingsRecord record{};
    record.request = request;
    record.accepted = 7;
    record.currentVideo.size = record.resultVideo.size = sizeof(ImageFormatStruct);
    record.currentAudio.size = record.resultAudio.size = sizeof(AudioFormatRecord);
    return record;
}

inline const CompressionSettings& BlockOf(const WritingSettingsRecord& record) {
    return *static_cast<const CompressionSettings*>(record.resultVideo.settingsBlock);
}

}  // namespace zedadu::test
