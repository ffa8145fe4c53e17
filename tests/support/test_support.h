// Helpers shared by the tests: scratch directories, scripted message boxes, poisoned records.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace zedadu::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

struct ShownMessage {
    uint32_t messageId;
    std::string text;
    std::string caption;
    std::string text1;
    std::string text2;
    uint32_t flags;
};

// Records every message box the plug-in shows and answers from a script (then with the default
// button). Installed for its lifetime.
class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void answerNextWith(int32_t button) { answers_.push_back(button); }
    const std::vector<ShownMessage>& shown() const { return shown_; }

    int32_t show(const ShownMessage& message);

  private:
    std::deque<int32_t> answers_;
    std::vector<ShownMessage> shown_;
};

// Fills a record with 0xCC so that a test can prove a refused call wrote nothing.
template <typename Record>
void Poison(Record& record) {
    memset(static_cast<void*>(&record), 0xCC, sizeof record);
}

template <typename Record>
bool IsPoisonedExceptSize(const Record& record) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = sizeof(uint32_t); i < sizeof record; ++i) {
        if (bytes[i] != 0xCC) {
            return false;
        }
    }
    return true;
}

}  // namespace zedadu::test
