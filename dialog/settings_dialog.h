// The writing-settings dialog as the settings call sees it: a session holding the working copies,
// which the call fills before the dialog and reads after OK, and the modal run of one template.
#pragma once

#include "dialog/session.h"
#include "platform/win32/types.h"

namespace zedadu::dialog {

inline constexpr char kTemplateBoth[] = "AVIFILESETTINGS_BOTH";
inline constexpr char kTemplateVideo[] = "AVIFILESETTINGS_VIDEO";
inline constexpr char kTemplateAudio[] = "AVIFILESETTINGS_AUDIO";

// Runs the named template modally with the host's window as owner, on the session's working
// copies. 1 means OK; anything else (cancel, or -1 when no dialog can be shown) means the
// settings stay as they were.
intptr_t RunSettingsDialog(const char* templateName, HWND parent, SettingsDialogSession& session);

}  // namespace zedadu::dialog
