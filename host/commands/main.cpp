// zedadu-host: a host application that loads the plug-in with dlopen and drives it through its
// 22 entry points only. Exit status 0 on success, 1 when the work failed, 2 for a wrong request.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/cli/errors.h"
#include "host/cli/report.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"

namespace {

using namespace zedadu::host;

// The commands in the order the help lists them: name, help, and what adds the command's options.
struct CommandEntry {
    const char* name;
    const char* help;
    Command (*add)(CLI::App& command);
};

constexpr CommandEntry kCommands[] = {
    {"demo",
     "Record a short clip (test pattern and tone) through the plug-in, read it back, compare, "
     "and leave demo.avi and a contact sheet demo.png (the default command).",
     AddDemoCommand},
    {"info", "What the plug-in reports about AVI files: frames, rate, size, codec, formats, audio.",
     AddInfoCommand},
    {"check",
     "Read every frame and sample frame of AVI files through the plug-in and report the index "
     "used, what fails and a summary; status 0 when everything was read.",
     AddCheckCommand},
    {"frames", "Read frames through the plug-in: PNG pictures from RGB, raw files from YUY2.",
     AddFramesCommand},
    {"audio", "Read a run of audio sample frames through the plug-in into a WAV file.",
     AddAudioCommand},
    {"convert",
     "Read every frame and the audio of an AVI file and record them into another through the "
     "plug-in, compressed as the options, ZEDADU.ini or the settings dialog say.",
     AddConvertCommand},
    {"compressors",
     "List the installed video compressors: code, name, and what each takes (quality, key "
     "frames, data rate, options, colour depths, frame sizes).",
     AddCompressorsCommand},
    {"settings",
     "Show the writing settings saved in ZEDADU.ini, or edit them in the plug-in's dialog.",
     AddSettingsCommand},
    {"freetime",
     "How many frames and sample frames fit on a drive with the saved writing settings.",
     AddFreeTimeCommand},
    {"repair",
     "Make an AVI file that was cut short (a recording killed, a full disk) whole: drop a "
     "partial last chunk, write the index and the true counts and sizes into the headers.",
     AddRepairCommand},
};

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

// The parser's sentences for the two usual slips, in the host's words: an option without its
// value, and words the command does not take.
std::string InWords(const CLI::ParseError& error) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && what.find(':') != std::string::npos &&
        what.find("missing") != std::string::npos) {
        return what.substr(0, what.find(':')) + " needs a value";
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        const size_t colon = what.find(": ");
        return "the command does not take " +
               (colon == std::string::npos ? what : "\"" + what.substr(colon + 2) + "\"");
    }
    return what;
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
    fprintf(stderr, "zedadu-host: %s\nRun \"%s --help\" for the options.\n", InWords(error).c_str(),
            command.c_str());
    return kExitUsage;
}

// The edits (insertions, deletions, substitutions) that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A first argument that is neither an option nor a command is a mistyped command: named, with
// the nearest command when one is near.
bool RefuseUnknownCommand(const std::vector<Command>& commands, const std::string& word) {
    const Command* nearest = nullptr;
    size_t distance = 4;
    for (const Command& command : commands) {
        if (command.app->get_name() == word) {
            return false;
        }
        const size_t edits = EditDistance(word, command.app->get_name());
        if (edits < distance) {
            distance = edits;
            nearest = &command;
        }
    }
    fprintf(stderr,
            "zedadu-host: there is no command \"%s\"%s\nRun \"zedadu-host --help\" for the "
            "commands.\n",
            word.c_str(),
            nearest ? ("; did you mean \"" + nearest->app->get_name() + "\"?").c_str() : "");
    return true;
}

// -y, -n, --yes and --no before the command answer its questions, as after it; ffmpeg's -an is
// --no-audio, its -ss and -to are --ss and --to; --stats anywhere reports progress as lines where
// no terminal shows the bar.
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (std::string& argument : arguments) {
        if (argument == "-an") {
            argument = "--no-audio";
        } else if (argument == "-ss" || argument == "-to") {
            argument.insert(0, "-");
        }
    }
    const auto stats = std::remove(arguments.begin(), arguments.end(), std::string("--stats"));
    if (stats != arguments.end()) {
        ReportProgressAsLines();
        arguments.erase(stats, arguments.end());
    }
    static const std::set<std::string> kAnswers = {"-y", "-n", "--yes", "--no"};
    size_t answers = 0;
    while (answers < arguments.size() && kAnswers.count(arguments[answers])) {
        ++answers;
    }
    if (answers > 0 && answers < arguments.size()) {
        std::rotate(arguments.begin(), arguments.begin() + long(answers),
                    arguments.begin() + long(answers) + 1);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App application(
        "A host application for the zedadu AVI plug-in: it records, reads, checks and converts AVI "
        "files through the plug-in's entry points. Without a command it runs the demonstration.",
        "zedadu-host");
    application.require_subcommand(0, 1);
    application.set_version_flag("--version", kVersion, "print the version and exit");
    std::vector<Command> commands;
    for (const CommandEntry& entry : kCommands) {
        commands.push_back(entry.add(*application.add_subcommand(entry.name, entry.help)));
    }
    for (const Command& command : commands) {
        command.app->set_version_flag("--version", kVersion, "print the version and exit");
    }
    std::vector<std::string> arguments = Arguments(argc, argv);
    if (!arguments.empty() && arguments.front()[0] != '-' &&
        RefuseUnknownCommand(commands, arguments.front())) {
        return kExitUsage;
    }
    std::reverse(arguments.begin(), arguments.end());
    try {
        application.parse(arguments);
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
