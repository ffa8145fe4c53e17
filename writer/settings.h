// The writing settings' seam to the settings dialog.
#pragma once

#include <cstdint>

#include "platform/win32/types.h"

namespace zedadu::writer {

// Runs a dialog template modally; 1 means OK. The settings call runs the settings dialog through
// this; tests substitute a scripted dialog (null restores the real one).
using SettingsDialogRunner = intptr_t (*)(const char* templateName, HWND parent);
void SetSettingsDialogRunnerForTesting(SettingsDialogRunner runner);

}  // namespace zedadu::writer
