// The INI file of the writing settings: "ZEDADU.ini" in the directory of the host executable
// (not beside the plug-in).
#pragma once

#include <string>

namespace zedadu {

inline constexpr char kAudioSettingsSection[] = "AudioWritingSettings";
inline constexpr char kVideoSettingsSection[] = "VideoWritingSettings";

// The running program's path cut after its last directory separator, then "ZEDADU.ini".
std::string SettingsIniPath();

}  // namespace zedadu
