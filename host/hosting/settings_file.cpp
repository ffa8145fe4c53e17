#include "host/hosting/settings_file.h"

#include <cerrno>
#include <filesystem>
#include <utility>

#include "core/settings_ini.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/walks/path_checks.h"
#include "platform/profile/profile.h"

namespace zedadu::host {
namespace {

using namespace settings;

// A key written, or a HostError naming the file and why it could not be.
void WriteKey(const char* section, const char* key, const char* value) {
    const std::string path = SettingsFilePath();
    errno = 0;
    if (!WritePrivateProfileStringA(section, key, value, path.c_str())) {
        throw HostError("cannot save the settings in " + path + ": " +
                        (errno ? SystemReason(errno) : std::string("it cannot be written")));
    }
}

// A key of either kind with its value as the plug-in writes it.
struct KeyValue {
    const char* section;
    const char* name;
    std::string value;

    KeyValue(const IntegerSetting& key, uint32_t number)
        : section(key.section), name(key.name), value(Text("%i", static_cast<int>(number))) {}
    KeyValue(const TextSetting& key, std::string text)
        : section(key.section), name(key.name), value(std::move(text)) {}
};

}  // namespace

std::string SettingsFilePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (executable.parent_path() / "ZEDADU.ini").string();
}

void SaveSettings(const ImageFormatStruct& video, const CompressionSettings& compression,
                  const AudioFormatRecord& audio) {
    const KeyValue keys[] = {
        {kVideoLayout, FieldText(video.formatId)},
        {kWidth, uint32_t(video.width)},
        {kHeight, uint32_t(video.height)},
        {kRate, video.rate},
        {kScale, video.scale},
        {kHandler, FourCCText(compression.fccHandler)},
        {kQuality, compression.quality},
        {kPaddingSize, compression.paddingSize},
        {kKeyFrameRate, compression.keyFrameRate},
        {kDataRate, compression.dataRate},
        {kAudioLead, uint32_t(compression.offsetAudioAndVideo)},
        {kFieldRendering, compression.fieldRendering},
        {kChannels, audio.channels},
        {kSampleRate, audio.sampleRate},
        {kAudioLayout, FieldText(audio.formatId)},
    };
    for (const KeyValue& key : keys) {
        WriteKey(key.section, key.name, key.value.c_str());
    }
}

std::optional<bool> OpenDmlSetting() {
    const std::string path = SettingsFilePath();
    constexpr int kMissing = -1;
    const auto value = static_cast<int>(
        GetPrivateProfileIntA(kOpenDml.section, kOpenDml.name, kMissing, path.c_str()));
    if (value == kMissing) {
        return std::nullopt;
    }
    return value != 0;
}

void SetOpenDmlSetting(std::optional<bool> on) {
    WriteKey(kOpenDml.section, kOpenDml.name, on ? (*on ? "1" : "0") : nullptr);
}

OpenDmlForOneFile::~OpenDmlForOneFile() {
    // Restored as far as the file lets it: a file that took the first write takes this one.
    WritePrivateProfileStringA(kOpenDml.section, kOpenDml.name,
                               previous_ ? (*previous_ ? "1" : "0") : nullptr,
                               SettingsFilePath().c_str());
}

}  // namespace zedadu::host
