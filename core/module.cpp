#include "core/module.h"

#include <atomic>
#include <cstdlib>

#include "core/records.h"
#include "core/text.h"
#include "platform/hostlib/hostlib.h"
#include "platform/sync/sync.h"
#include "platform/system/system.h"

namespace zedadu {
namespace {

constexpr uint32_t kDescriptionStringId = 1800;
constexpr char kExtension[] = "avi";

// Created at the first attach, released at detach; read without locking in between.
uint32_t attachCounter = 0;
char* descriptionBuffer = nullptr;
const char** descriptionList = nullptr;
const char* const extensionList[] = {kExtension};
HINSTANCE moduleInstance = nullptr;
HANDLE accessLock = nullptr;
std::atomic<SkinsModule*> skinsModule{nullptr};
std::atomic<DWORD> accessLockWait{kAccessLockWaitMilliseconds};

}  // namespace

bool ProcessAttach(HINSTANCE instance) {
    if (attachCounter++ != 0) {
        return true;
    }
    descriptionBuffer = static_cast<char*>(calloc(kTextSize, 1));
    descriptionList = static_cast<const char**>(calloc(1, sizeof(const char*)));
    if (descriptionBuffer && descriptionList) {
        MyLoadString(kDescriptionStringId, descriptionBuffer, kTextSize);
        descriptionList[0] = descriptionBuffer;
    }
    moduleInstance = instance;
    accessLock = CreateMutexA(nullptr, FALSE, nullptr);
    return accessLock != nullptr;
}

void ProcessDetach() {
    free(descriptionBuffer);
    free(descriptionList);
    descriptionBuffer = nullptr;
    descriptionList = nullptr;
    CloseHandle(accessLock);
    accessLock = nullptr;
}

HINSTANCE ModuleInstance() {
    return moduleInstance;
}
const char* const* ModuleDescriptionList() {
    return descriptionList;
}
const char* const* ModuleExtensionList() {
    return extensionList;
}

SkinsModule* CurrentSkinsModule() {
    return skinsModule.load();
}
void SetSkinsModule(SkinsModule* module) {
    skinsModule.store(module);
}

AccessLockGuard::AccessLockGuard()
    : acquired_(WaitForSingleObject(accessLock, accessLockWait.load()) == WAIT_OBJECT_0) {}

AccessLockGuard::~AccessLockGuard() {
    release();
}

void AccessLockGuard::release() {
    if (acquired_) {
        ReleaseMutex(accessLock);
        acquired_ = false;
    }
}

void SetAccessLockWaitForTesting(DWORD milliseconds) {
    accessLockWait.store(milliseconds);
}

namespace {

uint64_t compressedFrames = 0;

}  // namespace

uint64_t CompressedFrames() {
    return compressedFrames;
}

void CountCompressedFrame() {
    ++compressedFrames;
}

}  // namespace zedadu
