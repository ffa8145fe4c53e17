// Process attach and detach are the library's load and unload.
#include "core/module.h"
#include "platform/system/system.h"
#include "reader/reader.h"
#include "resources/dialog_resources.h"
#include "writer/writer.h"

namespace {

// An attach that fails leaves the module without its access lock; every call that needs the
// lock then fails, which is as close as a shared object on this platform gets to a refused load.
__attribute__((constructor)) void OnLoad() {
    const HINSTANCE instance = ModuleInstanceOf(reinterpret_cast<const void*>(&OnLoad));
    RegisterDialogTemplates(instance, zedadu::resources::DialogTemplates());
    zedadu::ProcessAttach(instance);
}

__attribute__((destructor)) void OnUnload() {
    zedadu::ProcessDetach();
    zedadu::reader::ReleaseFrameCacheBuffers();
    zedadu::writer::ReleaseWriterBuffers();
}

}  // namespace
