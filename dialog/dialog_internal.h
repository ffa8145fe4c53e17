// What the parts of the settings dialog share: the INI keys it keeps live, the reading of its
// numbers and texts, and short forms of the control calls.
#pragma once

#include <string>

#include "core/records.h"
#include "dialog/session.h"
#include "platform/ui/dialog.h"
#include "platform/vfw/vfw.h"

namespace zedadu::dialog {

INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// OK: 1 after ending the dialog, 0 when the user chose to stay in it.
INT_PTR CommitSettingsDialog(HWND dialog, SettingsDialogSession& session);

// Frames per second of rate over scale, the two words taken as signed; a scale of 0
// gives 0, a rate that no preset matches.
double FrameRateOf(const ImageFormatStruct& format);

// The description of a compressor in the ANSI code page, at most maxBytes - 1 characters.
std::string DescriptionOf(const ICINFO& info, size_t maxBytes);

// Short forms of the control calls the handlers make.
inline void Enable(HWND dialog, int id, bool enable) {
    EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}
inline bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}
inline void Check(HWND dialog, int id, bool check) {
    CheckDlgButton(dialog, id, check ? BST_CHECKED : BST_UNCHECKED);
}
inline bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
// An unsigned number; a text that is not one reads as 0.
inline UINT Value(HWND dialog, int id) {
    return GetDlgItemInt(dialog, id, nullptr, FALSE);
}
inline void Clear(HWND dialog, int id) {
    SetDlgItemTextA(dialog, id, "");
}
inline int Selection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

}  // namespace zedadu::dialog
