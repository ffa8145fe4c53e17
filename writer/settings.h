// The writing settings' seam to the settings dialog.
#pragma once

#include <cstdint>

#include "dialog/session.h"
#include "platform/win32/types.h"

namespace zedadu::writer {

// Runs a dialog template modally on a session's working copies; 1 means OK. The settings call
// runs the settings dialog through this; tests substitute a scripted dialog (null restores the
// real one).
using SettingsDialogRunner = intptr_t (*)(const char* templateName, HWND parent,
                                          dialog::SettingsDialogSession& session);
void SetSettingsDialogRunnerForTesting(SettingsDialogRunner runner);

}  // namespace zedadu::writer
