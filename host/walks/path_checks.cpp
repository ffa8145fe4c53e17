#include "host/walks/path_checks.h"

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "avi/ids.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/walks/avi_scan.h"
#include "platform/vfw/compressor.h"

namespace zedadu::host {
namespace {

namespace fs = std::filesystem;

bool HasDecoder(FOURCC code) {
    return bool(vfw::Compressor(code, ICMODE_DECOMPRESS));
}

// The video stream's codec when neither it nor the stream's handler opens a decompressor.
std::optional<FOURCC> CodecWithoutDecoder(const AviScan& scan) {
    for (const StreamCodes& stream : scan.streams) {
        if (stream.type != avi::kVideoStream || stream.format == BI_RGB ||
            stream.format == BI_RLE8 || HasDecoder(stream.format) ||
            (stream.handler && HasDecoder(stream.handler))) {
            continue;
        }
        return stream.format;
    }
    return std::nullopt;
}

}  // namespace

std::string ResolvedInput(const std::string& path) {
    std::error_code error;
    if (path.find('.') == std::string::npos && !fs::exists(path, error) &&
        fs::exists(path + ".avi", error)) {
        return path + ".avi";
    }
    return path;
}

void CheckReadable(const std::string& path) {
    const std::string resolved = ResolvedInput(path);
    struct stat status {};
    if (stat(resolved.c_str(), &status) != 0) {
        throw HostError("cannot read " + path + ": " +
                        (errno == ENOENT ? std::string("no such file") : SystemReason(errno)));
    }
    if (S_ISDIR(status.st_mode)) {
        throw HostError("cannot read " + path + ": it is a folder, not a file");
    }
    // A pipe or a device could block or never end.
    if (!S_ISREG(status.st_mode)) {
        throw HostError("cannot read " + path + ": it is not a regular file");
    }
    const int fd = open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw HostError("cannot read " + path + ": " + SystemReason(errno));
    }
    close(fd);
    if (status.st_size == 0) {
        throw HostError("cannot read " + path + ": the file is empty");
    }
}

void RefuseFolderAsOutput(const std::string& output) {
    struct stat status {};
    if (stat(output.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        throw UsageError(output + " is a folder; name the file to write");
    }
}

std::optional<FOURCC> UndecodableVideoCodec(const AviScan& scan) {
    if (scan.verdict != AviScan::Verdict::kAvi) {
        return std::nullopt;
    }
    return CodecWithoutDecoder(scan);
}

std::string RefusalReason(const std::string& path) {
    const std::optional<AviScan> scan = ScanAvi(ResolvedInput(path));
    if (!scan || scan->verdict == AviScan::Verdict::kNotRiff) {
        return "it is not a RIFF/AVI file";
    }
    if (scan->verdict == AviScan::Verdict::kNotAvi) {
        return Text("it is a RIFF file of type \"%s\", not an AVI file",
                    FourCCText(scan->form).c_str());
    }
    if (const auto codec = CodecWithoutDecoder(*scan)) {
        return Text("its video codec \"%s\" has no decoder here", FourCCText(*codec).c_str());
    }
    if (scan->index == IndexKind::kRebuilt) {
        return "it has no index, or its index ends before the movie data, and the plug-in "
               "cannot read it without one";
    }
    return "the plug-in cannot read it (a damaged AVI file, or streams it does not support)";
}

void RefuseToWriteOverInputs(const std::string& output, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        std::error_code error;
        if (fs::equivalent(output, ResolvedInput(input), error)) {
            throw UsageError(Text("%s is the input %s; write the output to another file",
                                  output.c_str(), input.c_str()));
        }
    }
}

void CheckWritableDirectory(const std::string& directory, bool create) {
    const std::string shown = directory.empty() ? "." : directory;
    std::error_code error;
    if (create && !fs::exists(shown, error)) {
        fs::create_directories(shown, error);
        if (error) {
            throw HostError("cannot make the folder " + shown + ": " + SystemReason(error.value()));
        }
    }
    struct stat status {};
    if (stat(shown.c_str(), &status) != 0) {
        throw HostError("cannot write into " + shown + ": " + SystemReason(errno));
    }
    if (!S_ISDIR(status.st_mode)) {
        throw HostError("cannot write into " + shown + ": it is not a folder");
    }
    if (access(shown.c_str(), W_OK | X_OK) != 0) {
        throw HostError("cannot write into " + shown + ": " + SystemReason(errno));
    }
}

std::string WriteStopReason(const std::string& directory) {
    constexpr uint64_t kNearlyFull = 1 << 20;
    const std::string folder = directory.empty() ? "." : directory;
    struct statvfs space {};
    if (statvfs(folder.c_str(), &space) == 0 &&
        uint64_t(space.f_bavail) * space.f_frsize < kNearlyFull) {
        return "no space left on the device of " + folder;
    }
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        return Text("the file size limit of %llu bytes (ulimit -f) was reached",
                    static_cast<unsigned long long>(limit.rlim_cur));
    }
    return "";
}

}  // namespace zedadu::host
