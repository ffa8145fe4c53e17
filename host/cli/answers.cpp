#include "host/cli/answers.h"

#include <unistd.h>

#include <cstdio>

#include <CLI/CLI.hpp>

#include "platform/hostlib/host_api.h"
#include "platform/hostlib/strings.h"
#include "platform/win32/types.h"

namespace zedadu::host {
namespace {

enum class Mode { kYes, kNo, kTerminal, kUnattended };
Mode mode = Mode::kUnattended;

// Without anyone to ask: the box is shown on standard error and answered with its default
// button, except that an existing file is kept.
int32_t AnswerUnattended(void*, const ZedaduHostMessage* message) {
    const uint32_t buttons = message->flags & MB_TYPEMASK;
    const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    // The plug-in's question before it deletes an existing output file.
    if (message->messageId == hostlib::kReplaceFileString) {
        fprintf(stderr, "[%s] %s\nNo (no terminal to ask; --yes replaces it)\n", message->caption,
                message->text);
        return IDNO;
    }
    fprintf(stderr, "[%s] %s\n", message->caption, message->text);
    return yesNo ? IDYES : IDOK;
}

}  // namespace

void AddAnswerOptions(CLI::App& command, Answers& answers) {
    CLI::Option* yes = command.add_flag(
        "--yes,-y", answers.yes,
        "answer every question with Yes (or OK), unattended: existing outputs are replaced");
    command.add_flag("--no,-n", answers.no, "answer every question with No (or OK)")->excludes(yes);
}

void ApplyAnswers(const Answers& answers) {
    if (answers.yes) {
        mode = Mode::kYes;
        ZedaduHost_AnswerMessagesWith(IDYES);
    } else if (answers.no) {
        mode = Mode::kNo;
        ZedaduHost_AnswerMessagesWith(IDNO);
    } else if (isatty(STDIN_FILENO)) {
        mode = Mode::kTerminal;
        ZedaduHost_PromptForMessages();
    } else {
        mode = Mode::kUnattended;
        ZedaduHost_SetMessageHandler(AnswerUnattended, nullptr);
    }
}

bool ConfirmReplacing(const std::string& question) {
    switch (mode) {
        case Mode::kYes:
            return true;
        case Mode::kNo:
        case Mode::kUnattended:
            return false;
        case Mode::kTerminal:
            break;
    }
    fprintf(stderr, "%s [y]es/[n]o? ", question.c_str());
    fflush(stderr);
    char line[64] = {};
    return fgets(line, sizeof line, stdin) && (line[0] | 0x20) == 'y';
}

}  // namespace zedadu::host
