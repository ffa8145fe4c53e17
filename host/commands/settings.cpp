// zedadu-host settings [--dialog] [--audio] [--video]: the writing settings the plug-in keeps,
// edited in its settings dialog when asked.
#include <cstdio>
#include <filesystem>
#include <optional>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/commands/option_values.h"
#include "host/hosting/dialog_choice.h"
#include "host/hosting/request_formats.h"
#include "host/hosting/settings_file.h"

namespace zedadu::host {
namespace {

struct SettingsOptions {
    DialogOptions dialog;
    bool audio = false;
    bool video = false;
    std::optional<std::string> openDml;
    Answers answers;
};

std::string OpenDmlText(std::optional<bool> on) {
    return !on ? "off (not set)" : *on ? "on" : "off";
}

uint32_t SettingsRequest(const SettingsOptions& options, bool dialog) {
    const bool both = !options.audio && !options.video;
    return kSettingsLoadIni | (dialog ? kSettingsShowDialog : 0) |
           (options.audio || both ? kSettingsAudio : 0) |
           (options.video || both ? kSettingsVideo : 0);
}

int RunSettingsCommand(const SettingsOptions& options) {
    const bool openDmlOn = options.openDml && ParseOnOff("--opendml", *options.openDml);
    const bool dialog = PrepareDialog(options.dialog);
    Plugin plugin;
    WritingSettings settings(plugin);
    const uint32_t request = SettingsRequest(options, dialog);
    const std::string file = SettingsFilePath();
    const bool existed = std::filesystem::exists(file);
    RunSettings(settings, request, DefaultFormats());
    if (!settings.accepted()) {
        DialogEndedWithoutOk("nothing was saved");
    }
    if (options.openDml) {
        SetOpenDmlSetting(openDmlOn);
    }
    Section section(dialog ? "Writing settings accepted and saved"
                           : "Writing settings the plug-in loads");
    DescribeSettings(section, settings);
    section.Row("OpenDML", OpenDmlText(OpenDmlSetting()));
    section.Row("settings file",
                file + (dialog || existed ? "" : " (not there yet: the defaults apply)"));
    section.Print();
    return kExitOk;
}

void AddSettingsOptions(CLI::App& command, SettingsOptions& options) {
    AddDialogOptions(command, options.dialog);
    command.add_flag("--audio", options.audio, "the audio settings (default: audio and video)");
    command.add_flag("--video", options.video, "the video settings (default: audio and video)");
    command
        .add_option("--opendml", options.openDml,
                    "switch the plug-in's OpenDML (AVI 2.0) writing on or off in ZEDADU.ini")
        ->type_name("on|off");
}

}  // namespace

Command AddSettingsCommand(CLI::App& command) {
    return Subcommand(command, AddSettingsOptions, RunSettingsCommand);
}

}  // namespace zedadu::host
