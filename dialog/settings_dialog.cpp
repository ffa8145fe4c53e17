#include "dialog/settings_dialog.h"

namespace zedadu::dialog {

AudioFormatRecord dialogAudioFormat{};
ImageFormatStruct dialogVideoFormat{};
CompressionSettings* dialogSettingsBlock = nullptr;

intptr_t RunSettingsDialog(const char*, HWND) { return -1; }

}  // namespace zedadu::dialog
