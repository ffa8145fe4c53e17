// zedadu-host: a host application that loads the plug-in with dlopen and drives it through its
// 22 entry points only. Exit status 0 on success, 1 when the work failed, 2 for a wrong request.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/commands.h"
#include "host/errors.h"
#include "host/file_checks.h"

namespace {

using namespace zedadu::host;

constexpr char kVersion[] = "zedadu-host " ZEDADU_VERSION;

int Run(const Command& command) {
    try {
        return command.run();
    } catch (const UsageError& error) {
        fprintf(stderr, "zedadu-host: %s\n", error.what());
        return kExitUsage;
    } catch (const std::filesystem::filesystem_error& error) {
        fprintf(stderr, "zedadu-host: cannot use %s: %s\n", error.path1().c_str(),
                SystemReason(error.code().value()).c_str());
        return kExitFailed;
    } catch (const std::exception& error) {
        fprintf(stderr, "zedadu-host: %s\n", error.what());
        return kExitFailed;
    }
}

// Help and --version end the run with status 0; anything else wrong on the command line is one
// sentence and status 2.
int ParseFailure(CLI::App& application, const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
        application.exit(error);
        return kExitOk;
    }
    std::string command = "zedadu-host";
    for (const CLI::App* subcommand : application.get_subcommands()) {
        command += " " + subcommand->get_name();
    }
    fprintf(stderr, "zedadu-host: %s\nRun \"%s --help\" for the options.\n", error.what(),
            command.c_str());
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App application(
        "A host application for the zedadu AVI plug-in: it records, reads, checks and converts AVI "
        "files through the plug-in's entry points. Without a command it runs the demonstration.",
        "zedadu-host");
    application.require_subcommand(0, 1);
    application.set_version_flag("--version", kVersion, "print the version and exit");
    const std::vector<Command> commands = {
        AddDemoCommand(application),        AddInfoCommand(application),
        AddCheckCommand(application),       AddFramesCommand(application),
        AddAudioCommand(application),       AddConvertCommand(application),
        AddCompressorsCommand(application), AddSettingsCommand(application),
        AddFreeTimeCommand(application),    AddRepairCommand(application),
    };
    for (const Command& command : commands) {
        command.app->set_version_flag("--version", kVersion, "print the version and exit");
    }
    try {
        application.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return ParseFailure(application, error);
    }
    for (const Command& command : commands) {
        if (command.app->parsed()) {
            return Run(command);
        }
    }
    return Run(commands.front());
}
