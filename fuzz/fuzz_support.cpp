#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace zedadu::fuzz {

const std::string& ScratchDirectory() {
    static const std::string directory = [] {
        std::string pattern = "/tmp/zedadu-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            abort();
        }
        return pattern;
    }();
    return directory;
}

const std::string& InputAsFile(const uint8_t* data, size_t size, const char* name) {
    static std::string path;
    path = ScratchDirectory() + "/" + name;
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0 || write(descriptor, data, size) != ssize_t(size)) {
        abort();
    }
    close(descriptor);
    return path;
}

}  // namespace zedadu::fuzz
