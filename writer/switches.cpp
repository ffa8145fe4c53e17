// The writer's test switches and its module-wide buffers.
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

WriterSwitches switches;
WriterBuffers buffers;

}  // namespace

const WriterSwitches& Switches() {
    return switches;
}

void SetSettingsDialogRunnerForTesting(SettingsDialogRunner runner) {
    switches.dialogRunner = runner ? runner : &dialog::RunSettingsDialog;
}

void SetCrashSafeRecordingForTesting(bool on) {
    switches.crashSafe = on;
}

void SetOpenDmlPartBytesForTesting(uint64_t bytes) {
    switches.openDmlPartBytes = bytes ? bytes : kOpenDmlPartBytes;
}

WriterBuffers& TheWriterBuffers() {
    return buffers;
}

void ReleaseWriterBuffers() {
    buffers.release();
}

}  // namespace zedadu::writer
