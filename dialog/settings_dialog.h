// The writing-settings dialog as the settings call sees it: three working copies that it fills
// before the dialog and reads after OK, and the modal run of one template.
#pragma once

#include "frame/records.h"

namespace zedadu::dialog {

// Module-level working copies, used on the host's user-interface thread only. The block is a
// malloc'd CompressionSettings block (header and state); the dialog may exchange it for a larger
// one and free the old, so the settings call takes this pointer back after every run.
extern AudioFormatRecord dialogAudioFormat;
extern ImageFormatStruct dialogVideoFormat;
extern CompressionSettings* dialogSettingsBlock;

inline constexpr char kTemplateBoth[] = "AVIFILESETTINGS_BOTH";
inline constexpr char kTemplateVideo[] = "AVIFILESETTINGS_VIDEO";
inline constexpr char kTemplateAudio[] = "AVIFILESETTINGS_AUDIO";

// Runs the named template modally with the host's window as owner. 1 means OK; anything else
// (cancel, or -1 when no dialog can be shown) means the settings stay as they were.
intptr_t RunSettingsDialog(const char* templateName, HWND parent);

}  // namespace zedadu::dialog
