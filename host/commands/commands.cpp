#include "host/commands/commands.h"

#include <CLI/CLI.hpp>

namespace zedadu::host {

void AddFileReportOptions(CLI::App& command, FileReportOptions& options) {
    command.add_option("FILE", options.paths, "the AVI files")->required();
    command.add_flag("--json", options.json,
                     "print the report as JSON: an object for one file, an array for several");
}

}  // namespace zedadu::host
