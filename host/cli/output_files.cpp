#include "host/cli/output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/signals.h"
#include "host/cli/text.h"

namespace zedadu::host {

namespace fs = std::filesystem;

namespace {

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

StagedFile::StagedFile(std::string finalPath) : final_(std::move(finalPath)) {
    const fs::path target(final_);
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".part-XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        throw HostError("cannot write " + final_ + ": " + SystemReason(errno));
    }
    // mkstemp makes the file private; the output gets what a newly created file gets.
    fchmod(fd, 0666 & ~CurrentUmask());
    close(fd);
    temporary_ = pattern;
    RemoveOnSignal(temporary_);
}

StagedFile::~StagedFile() {
    if (!committed_) {
        unlink(temporary_.c_str());
        RemoveOnSignal("");
    }
}

void StagedFile::Commit() {
    if (rename(temporary_.c_str(), final_.c_str()) != 0) {
        throw HostError("cannot write " + final_ + ": " + SystemReason(errno));
    }
    committed_ = true;
    RemoveOnSignal("");
}

std::vector<std::string> ExistingFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> existing;
    for (const std::string& path : paths) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(path, error))) {
            existing.push_back(path);
        }
    }
    return existing;
}

void ConfirmReplacingFiles(const std::vector<std::string>& existing) {
    if (existing.empty()) {
        return;
    }
    const std::string what = existing.size() == 1
                                 ? existing.front() + " already exists"
                                 : Text("%s and %zu more of the files to write already exist",
                                        existing.front().c_str(), existing.size() - 1);
    if (!ConfirmReplacing(what + "; replace " + (existing.size() == 1 ? "it?" : "them?"))) {
        throw HostError(what + "; nothing was written (--yes replaces " +
                        (existing.size() == 1 ? "it)" : "them)"));
    }
}

}  // namespace zedadu::host
