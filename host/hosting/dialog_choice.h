// How the plug-in's settings dialog reaches the user of this host: as a window when a display is
// there (the window front-end beside the plug-in), or run from a script of user actions.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace zedadu::host {

struct DialogOptions {
    bool dialog = false;
    std::string script;  // user actions; implies the dialog
};

void AddDialogOptions(CLI::App& command, DialogOptions& options);

// Whether the settings call is to show the dialog, with the host library told how; throws
// HostError when the dialog is asked for and cannot be shown.
bool PrepareDialog(const DialogOptions& options);

// After a settings call that was not accepted: throws UsageError when a --dialog-script could not
// go on (a wrong request, which the dialog layer has named), else HostError saying that the
// dialog was cancelled and what `outcome` follows.
[[noreturn]] void DialogEndedWithoutOk(const std::string& outcome);

}  // namespace zedadu::host
