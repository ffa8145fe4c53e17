// How the plug-in's questions (message boxes) are answered: --yes or --no for unattended runs,
// else a prompt when standard input is a terminal, else the host library's default button.
#pragma once

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

}  // namespace zedadu::host
