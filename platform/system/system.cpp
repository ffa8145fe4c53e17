#include "platform/system/system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace {

// A path that tests put in place of the system's own; empty for none.
class PathOverride {
  public:
    std::string Get() const {
        std::lock_guard lock(mutex_);
        return path_;
    }
    void Set(const char* path) {
        std::lock_guard lock(mutex_);
        path_ = path ? path : "";
    }

  private:
    mutable std::mutex mutex_;
    std::string path_;
};

PathOverride& HostExecutableOverride() {
    static PathOverride path;
    return path;
}

PathOverride& WindowsDirectoryOverride() {
    static PathOverride path;
    return path;
}

DWORD CopyPath(const std::string& path, char* buffer, DWORD size) {
    if (!buffer || size == 0 || path.empty()) {
        return 0;
    }
    const size_t copied = std::min<size_t>(path.size(), size - 1);
    memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

std::string RunningProgramPath() {
    if (std::string overridden = HostExecutableOverride().Get(); !overridden.empty()) {
        return overridden;
    }
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::string DefaultWindowsDirectory() {
    if (const char* dataHome = getenv("XDG_DATA_HOME"); dataHome && *dataHome) {
        return std::string(dataHome) + "/zedadu";
    }
    if (const char* home = getenv("HOME"); home && *home) {
        return std::string(home) + "/.local/share/zedadu";
    }
    return "/tmp/zedadu";
}

class FileObject final : public KernelObject {
  public:
    explicit FileObject(int descriptor) : descriptor_(descriptor) {}
    ~FileObject() override { close(descriptor_); }
    int descriptor() const { return descriptor_; }

  private:
    int descriptor_;
};

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

}  // namespace

BOOL CloseHandle(HANDLE object) {
    if (!object || object == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    delete object;
    return TRUE;
}

DWORD GetModuleFileNameA(HINSTANCE module, char* fileName, DWORD size) {
    if (!module) {
        return CopyPath(RunningProgramPath(), fileName, size);
    }
    Dl_info info{};
    if (!dladdr(module, &info) || !info.dli_fname) {
        return 0;
    }
    return CopyPath(info.dli_fname, fileName, size);
}

HINSTANCE ModuleInstanceOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info)) {
        return nullptr;
    }
    return static_cast<HINSTANCE>(info.dli_fbase);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
    const std::string directory = WindowsDirectoryOverride().Get();
    return CopyPath(directory.empty() ? DefaultWindowsDirectory() : directory, buffer, size);
}

void SetHostExecutablePathForTesting(const char* path) {
    HostExecutableOverride().Set(path);
}

void SetWindowsDirectoryForTesting(const char* path) {
    WindowsDirectoryOverride().Set(path);
}

HANDLE CreateFileA(const char* fileName, DWORD access, DWORD, void*, DWORD disposition, DWORD,
                   HANDLE) {
    if (!fileName || access != GENERIC_READ || disposition != OPEN_EXISTING) {
        return INVALID_HANDLE_VALUE;
    }
    const int descriptor = open(fileName, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return INVALID_HANDLE_VALUE;
    }
    return new FileObject(descriptor);
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    auto* object = dynamic_cast<FileObject*>(file == INVALID_HANDLE_VALUE ? nullptr : file);
    struct stat status {};
    if (!object || fstat(object->descriptor(), &status) != 0) {
        return FALSE;
    }
    auto toFileTime = [](const timespec& time, FILETIME* out) {
        if (!out) {
            return;
        }
        const uint64_t ticks = kUnixEpochAsFileTime +
                               static_cast<uint64_t>(time.tv_sec) * 10000000ULL +
                               static_cast<uint64_t>(time.tv_nsec) / 100;
        out->dwLowDateTime = static_cast<DWORD>(ticks);
        out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    };
    toFileTime(status.st_ctim, creation);
    toFileTime(status.st_atim, lastAccess);
    toFileTime(status.st_mtim, lastWrite);
    return TRUE;
}
