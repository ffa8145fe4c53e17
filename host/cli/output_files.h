// Files the host writes itself (pictures, raw frames, WAV files): written under a temporary name in
// their folder and renamed into place when complete, so that a failure leaves neither a half file
// nor a changed old one; and replaced, when they exist, only after a Yes.
#pragma once

#include <string>
#include <vector>

namespace zedadu::host {

class StagedFile {
  public:
    // Makes the temporary file beside `finalPath`; throws HostError when it cannot.
    explicit StagedFile(std::string finalPath);
    // Removes the temporary file unless it was committed.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::string& path() const { return temporary_; }
    // Renames the temporary file to the final name; throws HostError.
    void Commit();

  private:
    std::string final_;
    std::string temporary_;
    bool committed_ = false;
};

// Of `paths`, those that exist already.
std::vector<std::string> ExistingFiles(const std::vector<std::string>& paths);

// Throws HostError unless `existing` is empty or the user agrees to replace the files (--yes, or
// a Yes at the terminal).
void ConfirmReplacingFiles(const std::vector<std::string>& existing);

}  // namespace zedadu::host
