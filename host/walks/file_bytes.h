// Reading whole ranges of a file that the host walks itself (check, repair): every size the file
// claims is checked against its length before anything is read.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "avi/chunk_cursor.h"
#include "platform/win32/byte_order.h"

namespace zedadu::host {

class FileBytes final : public avi::ByteSource {
  public:
    explicit FileBytes(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat status {};
        if (fd_ >= 0 && fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
            size_ = uint64_t(status.st_size);
        }
    }
    ~FileBytes() override {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool opened() const { return fd_ >= 0; }
    uint64_t size() const override { return size_; }
    // Exactly `count` bytes at `at`, or false.
    bool read(uint64_t at, void* out, size_t count) const override {
        return at <= size_ && size_ - at >= count &&
               pread(fd_, out, count, off_t(at)) == ssize_t(count);
    }

  private:
    int fd_;
    uint64_t size_ = 0;
};

}  // namespace zedadu::host
