// The settings file ZEDADU.ini beside this host's executable, which the plug-in reads its writing
// settings from: the host saves a conversion's settings there on request (--save) and switches
// the plug-in's OpenDML writing, an integer key of the video section that the plug-in reads when
// it opens a file for writing.
#pragma once

#include <optional>
#include <string>

#include "core/records.h"

namespace zedadu::host {

// "ZEDADU.ini" beside the running executable.
std::string SettingsFilePath();

// Writes every key the plug-in loads its writing settings from, as the plug-in's dialog does.
void SaveSettings(const ImageFormatStruct& video, const CompressionSettings& compression,
                  const AudioFormatRecord& audio);

// The OpenDML key: nothing when the file does not set it. Saving throws HostError naming the file
// and the cause when the file cannot be written, as SaveSettings does.
std::optional<bool> OpenDmlSetting();
void SetOpenDmlSetting(std::optional<bool> on);

// OpenDML writing switched on while the owner lives, the key's previous state restored after.
class OpenDmlForOneFile {
  public:
    OpenDmlForOneFile() : previous_(OpenDmlSetting()) { SetOpenDmlSetting(true); }
    ~OpenDmlForOneFile();
    OpenDmlForOneFile(const OpenDmlForOneFile&) = delete;
    OpenDmlForOneFile& operator=(const OpenDmlForOneFile&) = delete;

  private:
    std::optional<bool> previous_;
};

}  // namespace zedadu::host
