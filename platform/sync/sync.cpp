#include "platform/sync/sync.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/system/system.h"

namespace {

// A Win32 mutex: owned by the thread that acquired it, re-entrant for that owner (each wait is
// matched by a release), and releasing it from another thread fails instead of corrupting it.
class MutexObject final : public KernelObject {
public:
    bool Acquire(DWORD milliseconds) {
        const auto self = std::this_thread::get_id();
        if (owner_.load() == self) {
            ++depth_;
            return true;
        }
        if (milliseconds == INFINITE) {
            mutex_.lock();
        } else if (!mutex_.try_lock_for(std::chrono::milliseconds(milliseconds))) {
            return false;
        }
        owner_.store(self);
        depth_ = 1;
        return true;
    }

    bool Release() {
        if (owner_.load() != std::this_thread::get_id()) {
            return false;
        }
        if (--depth_ == 0) {
            owner_.store(std::thread::id());
            mutex_.unlock();
        }
        return true;
    }

private:
    std::timed_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    unsigned depth_ = 0;  // touched by the owner only
};

MutexObject* AsMutex(HANDLE object) {
    return object == INVALID_HANDLE_VALUE ? nullptr : dynamic_cast<MutexObject*>(object);
}

}  // namespace

HANDLE CreateMutexA(void*, BOOL initialOwner, const char* name) {
    if (name) {
        return nullptr;
    }
    auto* object = new MutexObject;
    if (initialOwner) {
        object->Acquire(INFINITE);
    }
    return object;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    MutexObject* mutex = AsMutex(object);
    if (!mutex) {
        return WAIT_FAILED;
    }
    return mutex->Acquire(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL ReleaseMutex(HANDLE object) {
    MutexObject* mutex = AsMutex(object);
    return mutex && mutex->Release() ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
