// One run of the settings dialog: the working copies it edits and what it builds while it is
// open. The settings call makes a session for every run, fills the working copies, hands the
// session to the dialog procedure through DialogBoxParamA's initialisation value, and reads the
// working copies back after OK. The procedure keeps the session in the dialog's DWLP_USER word
// from WM_INITDIALOG on, so that every handler reaches it through the dialog window.
#pragma once

#include "core/records.h"
#include "dialog/compressors.h"
#include "dialog/format_probes.h"
#include "platform/ui/dialog.h"

namespace zedadu::dialog {

struct SettingsDialogSession {
    // The working copies. The block is a malloc'd CompressionSettings block (header and state),
    // null when the run concerns no video; the dialog may exchange it for a larger one and free
    // the old, so the opener takes this pointer back after every run.
    AudioFormatRecord audioFormat{};
    ImageFormatStruct videoFormat{};
    CompressionSettings* settingsBlock = nullptr;

    // Built while the dialog is open.
    char iniPath[kPathSize] = {};  // composed at initialisation as the settings call composes it
    float frameRate = 0.0f;        // frames per second under edit
    CompressorList compressors{};  // position i of the compressor list is entry i
    FormatLists formats{};         // what the probes found, entry k for list position k
};

// The session of a dialog window, from WM_INITDIALOG on; null before.
inline SettingsDialogSession* SessionOf(HWND dialog) {
    return reinterpret_cast<SettingsDialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

}  // namespace zedadu::dialog
