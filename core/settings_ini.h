// The INI file of the writing settings: "ZEDADU.ini" in the directory of the host executable
// (not beside the plug-in), its sections, and every key with the value a file without it gives.
// The writer, the settings dialog and the host read and write the file through these keys alone.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"

namespace zedadu {

inline constexpr char kAudioSettingsSection[] = "AudioWritingSettings";
inline constexpr char kVideoSettingsSection[] = "VideoWritingSettings";

// An integer key: read as its leading signed decimal number, written as a signed decimal number.
struct IntegerSetting {
    const char* section;
    const char* name;
    int fallback;
};

// A text key, read into a buffer of the caller's size.
struct TextSetting {
    const char* section;
    const char* name;
    const char* fallback;
};

namespace settings {

inline constexpr TextSetting kAudioLayout{kAudioSettingsSection, "Compression", FORMAT_ID_PCM16};
inline constexpr IntegerSetting kChannels{kAudioSettingsSection, "Channels", 2};
inline constexpr IntegerSetting kSampleRate{kAudioSettingsSection, "SamplesPerSecond", 44100};

inline constexpr TextSetting kVideoLayout{kVideoSettingsSection, "Compression", FORMAT_ID_RGB24};
inline constexpr IntegerSetting kWidth{kVideoSettingsSection, "Width", 720};
inline constexpr IntegerSetting kHeight{kVideoSettingsSection, "Height", 486};
inline constexpr IntegerSetting kRate{kVideoSettingsSection, "Rate", 29970026};
inline constexpr IntegerSetting kScale{kVideoSettingsSection, "Scale", 1000000};
inline constexpr TextSetting kHandler{kVideoSettingsSection, "fccHandler", "MSVC"};
inline constexpr IntegerSetting kQuality{kVideoSettingsSection, "Quality", 7500};
inline constexpr IntegerSetting kPaddingSize{kVideoSettingsSection, "PaddingSize", 512};
inline constexpr IntegerSetting kKeyFrameRate{kVideoSettingsSection, "KeyFrameRate", 4};
inline constexpr IntegerSetting kDataRate{kVideoSettingsSection, "DataRate", 800};
inline constexpr IntegerSetting kAudioLead{kVideoSettingsSection, "offsetAudioandVideo", 0};
inline constexpr IntegerSetting kFieldRendering{kVideoSettingsSection, "FieldRendering", 0};
// Any value but 0 writes the OpenDML form.
inline constexpr IntegerSetting kOpenDml{kVideoSettingsSection, "OpenDML", 0};

}  // namespace settings

// The running program's path cut after its last directory separator, then "ZEDADU.ini".
std::string SettingsIniPath();

// The settings file at a path, read and written key by key.
class SettingsFile {
  public:
    explicit SettingsFile(std::string path = SettingsIniPath()) : path_(std::move(path)) {}

    uint32_t read(const IntegerSetting& key) const;
    void read(const TextSetting& key, char* buffer, uint32_t size) const;
    void write(const IntegerSetting& key, uint32_t value) const;
    void write(const TextSetting& key, const char* value) const;

  private:
    std::string path_;
};

}  // namespace zedadu
