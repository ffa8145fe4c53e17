#include "host/settings_file.h"

#include <cerrno>
#include <filesystem>
#include <utility>

#include "host/errors.h"
#include "host/file_checks.h"
#include "host/text.h"
#include "platform/profile/profile.h"

namespace zedadu::host {
namespace {

constexpr char kVideoSection[] = "VideoWritingSettings";
constexpr char kAudioSection[] = "AudioWritingSettings";
constexpr char kOpenDmlKey[] = "OpenDML";

// A key written, or a HostError naming the file and why it could not be.
void WriteKey(const char* section, const char* key, const char* value) {
    const std::string path = SettingsFilePath();
    errno = 0;
    if (!WritePrivateProfileStringA(section, key, value, path.c_str())) {
        throw HostError("cannot save the settings in " + path + ": " +
                        (errno ? SystemReason(errno) : std::string("it cannot be written")));
    }
}

void Write(const char* section, const char* key, const std::string& value) {
    WriteKey(section, key, value.c_str());
}

// Integers as the plug-in writes them: signed decimal.
std::string Integer(uint32_t value) {
    return Text("%i", static_cast<int>(value));
}

}  // namespace

std::string SettingsFilePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (executable.parent_path() / "ZEDADU.ini").string();
}

void SaveSettings(const ImageFormatStruct& video, const CompressionSettings& compression,
                  const AudioFormatRecord& audio) {
    const std::pair<const char*, std::string> videoKeys[] = {
        {"Compression", FieldText(video.formatId)},
        {"Width", Integer(uint32_t(video.width))},
        {"Height", Integer(uint32_t(video.height))},
        {"Rate", Integer(video.rate)},
        {"Scale", Integer(video.scale)},
        {"fccHandler", FourCCText(compression.fccHandler)},
        {"Quality", Integer(compression.quality)},
        {"PaddingSize", Integer(compression.paddingSize)},
        {"KeyFrameRate", Integer(compression.keyFrameRate)},
        {"DataRate", Integer(compression.dataRate)},
        {"offsetAudioandVideo", Integer(uint32_t(compression.offsetAudioAndVideo))},
        {"FieldRendering", Integer(compression.fieldRendering)},
    };
    for (const auto& [key, value] : videoKeys) {
        Write(kVideoSection, key, value);
    }
    Write(kAudioSection, "Channels", Integer(audio.channels));
    Write(kAudioSection, "SamplesPerSecond", Integer(audio.sampleRate));
    Write(kAudioSection, "Compression", FieldText(audio.formatId));
}

std::optional<bool> OpenDmlSetting() {
    const std::string path = SettingsFilePath();
    constexpr int kMissing = -1;
    const auto value =
        static_cast<int>(GetPrivateProfileIntA(kVideoSection, kOpenDmlKey, kMissing, path.c_str()));
    if (value == kMissing) {
        return std::nullopt;
    }
    return value != 0;
}

void SetOpenDmlSetting(std::optional<bool> on) {
    WriteKey(kVideoSection, kOpenDmlKey, on ? (*on ? "1" : "0") : nullptr);
}

OpenDmlForOneFile::~OpenDmlForOneFile() {
    // Restored as far as the file lets it: a file that took the first write takes this one.
    WritePrivateProfileStringA(kVideoSection, kOpenDmlKey,
                               previous_ ? (*previous_ ? "1" : "0") : nullptr,
                               SettingsFilePath().c_str());
}

}  // namespace zedadu::host
