// How questions are answered, the plug-in's message boxes and the host's own: --yes or --no for
// unattended runs, else a prompt when standard input is a terminal. Without a terminal a question
// whose Yes would destroy data (replace an existing file) is answered No; the plug-in's other
// boxes take their default button.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace zedadu::host {

struct Answers {
    bool yes = false;
    bool no = false;
};

void AddAnswerOptions(CLI::App& command, Answers& answers);
void ApplyAnswers(const Answers& answers);

// The host's own question before it replaces files: `question` ends with "?"; true for Yes.
bool ConfirmReplacing(const std::string& question);

}  // namespace zedadu::host
