#include "host/hosting/dialog_choice.h"

#include <cstdlib>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/errors.h"
#include "host/hosting/plugin.h"
#include "platform/hostlib/host_api.h"

namespace zedadu::host {
namespace {

// The window front-end the dialog layer loads when the host names none.
constexpr char kWindowFrontEnd[] = "libzedadu-dialog-qt.so";

bool DisplayIsThere() {
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

void AddDialogOptions(CLI::App& command, DialogOptions& options) {
    command.add_flag("--dialog", options.dialog,
                     "edit the settings in the plug-in's settings dialog (a window: needs a "
                     "display)");
    command
        .add_option("--dialog-script", options.script,
                    "run the settings dialog from these user actions instead of a window, e.g. "
                    "\"select 101 'Uncompressed RGB'; press enter\"")
        ->type_name("ACTIONS");
}

bool PrepareDialog(const DialogOptions& options) {
    if (!options.script.empty()) {
        ZedaduHost_SetDialogScript(options.script.c_str());
        return true;
    }
    if (!options.dialog) {
        return false;
    }
    if (!DisplayIsThere()) {
        throw HostError(
            "the settings dialog needs a display (DISPLAY or WAYLAND_DISPLAY); without one, "
            "give its actions with --dialog-script");
    }
    const auto frontEnd =
        std::filesystem::path(Plugin::DefaultPath()).parent_path() / kWindowFrontEnd;
    if (!std::filesystem::exists(frontEnd)) {
        throw HostError(std::string("the settings dialog's window front-end (") + kWindowFrontEnd +
                        " beside the plug-in) is not installed; give the dialog's actions with "
                        "--dialog-script");
    }
    ZedaduHost_SetInteractiveDialogs(nullptr);
    return true;
}

void DialogEndedWithoutOk(const std::string& outcome) {
    if (ZedaduHost_DialogScriptFailed()) {
        throw UsageError("the --dialog-script could not go on (said above); " + outcome);
    }
    throw HostError("the settings dialog was cancelled; " + outcome);
}

}  // namespace zedadu::host
