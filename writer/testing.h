// The writer's test switches, all in one place: tests and benchmarks change them, and the writer
// reads them through Switches().
#pragma once

#include <cstdint>

#include "dialog/session.h"
#include "platform/win32/types.h"

namespace zedadu::writer {

// Runs a dialog template modally on a session's working copies; 1 means OK. Tests substitute a
// scripted dialog (null restores the real one).
using SettingsDialogRunner = intptr_t (*)(const char* templateName, HWND parent,
                                          dialog::SettingsDialogSession& session);
void SetSettingsDialogRunnerForTesting(SettingsDialogRunner runner);
// Crash-safe recording is on unless switched off (benchmarks measure what it costs).
void SetCrashSafeRecordingForTesting(bool on);
// OpenDML parts of some size, so that tests reach a second part quickly; 0: the usual 1 GiB.
void SetOpenDmlPartBytesForTesting(uint64_t bytes);

}  // namespace zedadu::writer
