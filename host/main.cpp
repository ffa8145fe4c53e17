// zedadu-host: a host application that loads the plug-in with dlopen and drives it through its
// 22 entry points only. Exit status 0 on success, 1 when the work failed, 2 for a wrong request.
#include <cstdio>
#include <exception>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/commands.h"
#include "host/errors.h"

namespace {

using namespace zedadu::host;

int Run(const Command& command) {
    try {
        return command.run();
    } catch (const UsageError& error) {
        fprintf(stderr, "zedadu-host: %s\n", error.what());
        return kExitUsage;
    } catch (const std::exception& error) {
        fprintf(stderr, "zedadu-host: %s\n", error.what());
        return kExitFailed;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App application(
        "A host application for the zedadu AVI plug-in: it records, reads and converts AVI files "
        "through the plug-in's entry points. Without a command it runs the demonstration.",
        "zedadu-host");
    application.require_subcommand(0, 1);
    const std::vector<Command> commands = {
        AddDemoCommand(application),     AddInfoCommand(application),
        AddFramesCommand(application),   AddAudioCommand(application),
        AddConvertCommand(application),  AddSettingsCommand(application),
        AddFreeTimeCommand(application), AddRepairCommand(application),
    };
    try {
        application.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = application.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }
    for (const Command& command : commands) {
        if (command.app->parsed()) {
            return Run(command);
        }
    }
    return Run(commands.front());
}
