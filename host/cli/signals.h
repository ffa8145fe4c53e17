// Ctrl-C, SIGTERM and SIGHUP while the host writes: a temporary file is removed before the process
// ends, so that no hidden half file is left behind; a recording may instead ask to be finished
// properly on the first signal and abandoned only on the second.
#pragma once

#include <string>

namespace zedadu::host {

// The temporary file removed when a signal ends the process; an empty path forgets it.
void RemoveOnSignal(const std::string& path);

// From now on the first signal only asks the recording to stop (StopRequested() turns true); a
// second one ends the process as usual.
void FinishOnFirstSignal();
bool StopRequested();

}  // namespace zedadu::host
