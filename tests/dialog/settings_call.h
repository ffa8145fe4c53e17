// The world of the settings-call tests, shared by the scripted and the window tests: three fake
// compressors (quality only, data rate only, both) and requests as a host makes them.
#pragma once

#include <vector>

#include "frame/records.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {

constexpr uint32_t kEverything =
    kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio | kSettingsVideo;

inline std::vector<FakeCompressor> SettingsCallCompressors() {
    return {
        {FourCC("MSVC"), VIDCF_QUALITY | VIDCF_TEMPORAL, u"Video 1", 0, false, true, true, {24}},
        {FourCC("RATE"), VIDCF_CRUNCH, u"Rate Codec", 8, true, false, true, {24, 32}},
        {FourCC("BOTH"),
         VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL,
         u"Both Codec",
         1000,
         true,
         true,
         true,
         {16, 24, 32}}};
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
