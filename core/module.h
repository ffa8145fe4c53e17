// Module-wide state of the plug-in frame: the attach counter, the module description, the
// module instance, the skins module and the access lock.
#pragma once

#include "platform/win32/types.h"

class SkinsModule;

namespace zedadu {

// Process attach: initialises on the first call only. Returns false when the access lock cannot
// be created, which refuses the load.
bool ProcessAttach(HINSTANCE instance);
// Process detach: releases the description and the lock. The frame cache is the reader's.
void ProcessDetach();

HINSTANCE ModuleInstance();
// The one-entry list of the module description, and of the file extension "avi".
const char* const* ModuleDescriptionList();
const char* const* ModuleExtensionList();

SkinsModule* CurrentSkinsModule();
void SetSkinsModule(SkinsModule* module);

// The access lock serialises all work on the module's shared buffers and on open files. The wait
// is bounded; a guard that did not acquire the lock reports it and releases nothing.
inline constexpr DWORD kAccessLockWaitMilliseconds = 10000;
class AccessLockGuard {
  public:
    AccessLockGuard();
    ~AccessLockGuard();
    AccessLockGuard(const AccessLockGuard&) = delete;
    AccessLockGuard& operator=(const AccessLockGuard&) = delete;

    bool acquired() const { return acquired_; }
    // Releases early (the audio writer sleeps without the lock).
    void release();

  private:
    bool acquired_;
};

// Tests shorten the wait so that the time-out path runs quickly; the shipped wait is 10 000 ms.
void SetAccessLockWaitForTesting(DWORD milliseconds);

// Frames compressed since load, counted by the writer. The reader's frame cache holds its memo of
// the frame decoded last only while this count stands still, so that the first frame read after
// a frame is compressed decodes anew. Touched under the access lock.
uint64_t CompressedFrames();
void CountCompressedFrame();

}  // namespace zedadu
