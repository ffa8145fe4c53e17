#include "host/answers.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "platform/hostlib/host_api.h"
#include "platform/win32/types.h"

namespace zedadu::host {

void AddAnswerOptions(CLI::App& command, Answers& answers) {
    CLI::Option* yes = command.add_flag(
        "--yes,-y", answers.yes, "answer the plug-in's questions with Yes (or OK), unattended");
    command.add_flag("--no,-n", answers.no, "answer the plug-in's questions with No (or OK)")
        ->excludes(yes);
}

void ApplyAnswers(const Answers& answers) {
    if (answers.yes) {
        ZedaduHost_AnswerMessagesWith(IDYES);
    } else if (answers.no) {
        ZedaduHost_AnswerMessagesWith(IDNO);
    } else if (isatty(STDIN_FILENO)) {
        ZedaduHost_PromptForMessages();
    }
}

}  // namespace zedadu::host
