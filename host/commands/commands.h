// The host's commands. Each adds its options to its subcommand and returns what runs it; the
// function returns the exit status or throws HostError / UsageError.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/cli/answers.h"

namespace CLI {
class App;
}

namespace zedadu::host {

struct Command {
    CLI::App* app;
    std::function<int()> run;
};

// The options of a command that reports on AVI files, in words or as JSON.
struct FileReportOptions {
    std::vector<std::string> paths;
    bool json = false;
    Answers answers;
};

void AddFileReportOptions(CLI::App& command, FileReportOptions& options);

// Makes `command` a command: `addOptions` registers its options on one Options value kept with the
// command, which `run` is given. Options that carry `answers` make a command that takes --yes and
// --no, applied before it runs.
template <typename Options>
Command Subcommand(CLI::App& command, void (*addOptions)(CLI::App&, Options&),
                   int (*run)(const Options&)) {
    auto options = std::make_shared<Options>();
    addOptions(command, *options);
    if constexpr (requires { options->answers; }) {
        AddAnswerOptions(command, options->answers);
        return {&command, [options, run] {
                    ApplyAnswers(options->answers);
                    return run(*options);
                }};
    } else {
        return {&command, [options, run] { return run(*options); }};
    }
}

Command AddDemoCommand(CLI::App& command);
Command AddInfoCommand(CLI::App& command);
Command AddCheckCommand(CLI::App& command);
Command AddFramesCommand(CLI::App& command);
Command AddAudioCommand(CLI::App& command);
Command AddConvertCommand(CLI::App& command);
Command AddCompressorsCommand(CLI::App& command);
Command AddSettingsCommand(CLI::App& command);
Command AddFreeTimeCommand(CLI::App& command);
Command AddRepairCommand(CLI::App& command);

}  // namespace zedadu::host
