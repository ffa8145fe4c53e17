// Helpers shared by the tests: scratch directories, scripted message boxes, poisoned records, the
// bytes of files, Debian's ffmpeg and ffprobe, and reading AVI files through the entry points.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "avi/index_entry.h"
#include "core/records.h"
#include "reader/reading_file.h"
#include "tests/support/requests.h"
#include "writer/writing_file.h"

namespace zedadu {
inline bool operator==(const IndexEntry& a, const IndexEntry& b) {
    return memcmp(&a, &b, sizeof a) == 0;
}
}  // namespace zedadu

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

// The record behind a handle an open call gave, to look at what the plug-in keeps.
inline reader::ReadingFile& ReadingOf(void* handle) {
    return *CheckedHandle<reader::ReadingFile>(handle);
}
inline writer::WritingFile& WritingOf(void* handle) {
    return *CheckedHandle<writer::WritingFile>(handle);
}

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

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
uint32_t U32At(const std::string& bytes, size_t at);
void SetU32(std::string& bytes, size_t at, uint32_t value);
// Expects each little-endian word at its offset (chunk ids as FourCC values).
void ExpectWords(const std::string& bytes,
                 std::initializer_list<std::pair<size_t, uint32_t>> offsetsAndWords);

std::string Id(const std::string& bytes, size_t at);
// The movie list position and the idx1 entries of an AVI file.
uint32_t MovieListAt(const std::string& bytes);
std::vector<IndexEntry> IndexOf(const std::string& bytes);

// Output (standard output and error) and exit status of a shell command.
struct CommandResult {
    int status;
    std::string output;
};
CommandResult Run(const std::string& command);
// Runs ffmpeg quietly with these arguments; true when it succeeded (else its output is reported).
bool Ffmpeg(const std::string& arguments);
// ffprobe and a full ffmpeg decode report nothing.
void ExpectValidAvi(const std::string& path);
// The packets of the first video stream as ffprobe reads them.
int ProbedVideoPackets(const std::string& path);
// ffmpeg's decode of one stream as raw bytes ("-f rawvideo -pix_fmt bgr24", "-f s16le", ...).
std::string Decoded(const std::string& path, const std::string& output);
// Equal sizes and bytes, reporting the first difference rather than the whole content.
void ExpectSameBytes(const std::string& actual, const std::string& expected);
void ExpectSameBytes(const std::string& actual, const std::vector<uint8_t>& expected);
// A bitmap's rows (bottom row first, padded to 4 bytes) top row first without padding, as a
// decoder delivers them.
std::string TopDown(const uint8_t* bitmap, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

// Opens for reading through the entry point and closes when it goes out of scope.
class ReadingFile {
  public:
    explicit ReadingFile(const std::string& path);
    ~ReadingFile();
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;
    bool opened() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    ReadingFileInfo info() const;

  private:
    void* handle_ = nullptr;
};

}  // namespace zedadu::test
