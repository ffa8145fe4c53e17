#include "platform/sync/sync.h"

#include <pthread.h>
#include <time.h>

#include <chrono>
#include <thread>

#include "platform/system/system.h"

namespace {

// A Win32 mutex: owned by the thread that acquired it, re-entrant for that owner (each wait is
// matched by a release), and releasing it from another thread fails instead of corrupting it.
// Built on a plain mutex and a condition variable on the monotonic clock: the waits are bounded
// without depending on the wall clock, and thread sanitizers understand every step.
class MutexObject final : public KernelObject {
  public:
    MutexObject() {
        pthread_condattr_t attributes;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(&released_, &attributes);
        pthread_condattr_destroy(&attributes);
    }
    ~MutexObject() override {
        pthread_cond_destroy(&released_);
        pthread_mutex_destroy(&state_);
    }

    bool Acquire(DWORD milliseconds) {
        const pthread_t self = pthread_self();
        pthread_mutex_lock(&state_);
        if (depth_ > 0 && pthread_equal(owner_, self)) {
            ++depth_;
            pthread_mutex_unlock(&state_);
            return true;
        }
        const timespec deadline = Deadline(milliseconds);
        int waited = 0;
        while (depth_ > 0 && waited == 0) {
            waited = milliseconds == INFINITE
                         ? pthread_cond_wait(&released_, &state_)
                         : pthread_cond_timedwait(&released_, &state_, &deadline);
        }
        const bool acquired = depth_ == 0;
        if (acquired) {
            owner_ = self;
            depth_ = 1;
        }
        pthread_mutex_unlock(&state_);
        return acquired;
    }

    bool Release() {
        pthread_mutex_lock(&state_);
        const bool owned = depth_ > 0 && pthread_equal(owner_, pthread_self());
        if (owned && --depth_ == 0) {
            pthread_cond_signal(&released_);
        }
        pthread_mutex_unlock(&state_);
        return owned;
    }

  private:
    static timespec Deadline(DWORD milliseconds) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long nanoseconds = now.tv_nsec + (long long)(milliseconds % 1000) * 1000000;
        return {now.tv_sec + milliseconds / 1000 + nanoseconds / 1000000000,
                nanoseconds % 1000000000};
    }

    pthread_mutex_t state_ = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t released_;
    pthread_t owner_{};
    unsigned depth_ = 0;
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
