#include "host/cli/signals.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace zedadu::host {
namespace {

// Only what a signal handler may touch: a fixed buffer for the path and atomic flags.
char removedPath[4096];
volatile sig_atomic_t finishFirst = 0;
volatile sig_atomic_t stopRequested = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
    if (finishFirst && !stopRequested) {
        stopRequested = 1;
        return;
    }
    if (removedPath[0]) {
        unlink(removedPath);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void InstallHandlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) {
        sigaction(signal, &action, nullptr);
    }
    installed = true;
}

}  // namespace

void RemoveOnSignal(const std::string& path) {
    InstallHandlers();
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (const int signal : kSignals) {
        sigaddset(&blocked, signal);
    }
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    const size_t length = std::min(path.size(), sizeof removedPath - 1);
    memcpy(removedPath, path.data(), length);
    removedPath[length] = 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void FinishOnFirstSignal() {
    InstallHandlers();
    finishFirst = 1;
}

bool StopRequested() {
    return stopRequested != 0;
}

}  // namespace zedadu::host
