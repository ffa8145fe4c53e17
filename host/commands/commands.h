// The host's commands. Each adds its subcommand with its options to the application and returns
// what runs it; the function returns the exit status or throws HostError / UsageError.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace zedadu::host {

struct Command {
    CLI::App* app;
    std::function<int()> run;
};

Command AddDemoCommand(CLI::App& application);
Command AddInfoCommand(CLI::App& application);
Command AddCheckCommand(CLI::App& application);
Command AddFramesCommand(CLI::App& application);
Command AddAudioCommand(CLI::App& application);
Command AddConvertCommand(CLI::App& application);
Command AddCompressorsCommand(CLI::App& application);
Command AddSettingsCommand(CLI::App& application);
Command AddFreeTimeCommand(CLI::App& application);
Command AddRepairCommand(CLI::App& application);

}  // namespace zedadu::host
