// Win32 mutexes: owned by the thread that waits for them, re-entrant for their owner, waited for
// with a bounded time.
#pragma once

#include "platform/win32/types.h"

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

// name must be null: zedadu uses unnamed mutexes only. Close with CloseHandle.
HANDLE CreateMutexA(void* security, BOOL initialOwner, const char* name);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
void Sleep(DWORD milliseconds);
