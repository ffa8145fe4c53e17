#include "tests/support/test_support.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/hostlib/host_api.h"
#include "platform/win32/types.h"
#include "plugin/plugin.h"

namespace zedadu::test {

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zedadu-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        abort();
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

int32_t Answer(void* context, const ZedaduHostMessage* message) {
    return static_cast<MessageRecorder*>(context)->show({message->messageId, message->text,
                                                         message->caption, message->text1,
                                                         message->text2, message->flags});
}

}  // namespace

MessageRecorder::MessageRecorder() {
    ZedaduHost_SetMessageHandler(&Answer, this);
}

MessageRecorder::~MessageRecorder() {
    ZedaduHost_SetMessageHandler(nullptr, nullptr);
}

int32_t MessageRecorder::show(const ShownMessage& message) {
    shown_.push_back(message);
    if (!answers_.empty()) {
        const int32_t answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    const uint32_t buttons = message.flags & MB_TYPEMASK;
    return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDYES : IDOK;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Le16(uint16_t v) {
    return {char(v), char(v >> 8)};
}

std::string Le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

uint32_t U32At(const std::string& bytes, size_t at) {
    if (at + 4 > bytes.size()) {
        ADD_FAILURE() << "read past the end at " << at;
        return 0;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void SetU32(std::string& bytes, size_t at, uint32_t value) {
    bytes.replace(at, 4, Le32(value));
}

void ExpectWords(const std::string& bytes,
                 std::initializer_list<std::pair<size_t, uint32_t>> offsetsAndWords) {
    for (const auto& [offset, word] : offsetsAndWords) {
        EXPECT_EQ(U32At(bytes, offset), word) << "at " << offset;
    }
}

std::string Id(const std::string& bytes, size_t at) {
    return at + 4 <= bytes.size() ? bytes.substr(at, 4) : std::string();
}

uint32_t MovieListAt(const std::string& bytes) {
    // The header list starts at 12 and ends where the movie list begins.
    return 20 + U32At(bytes, 16);
}

std::vector<IndexEntry> IndexOf(const std::string& bytes) {
    const uint32_t movie = MovieListAt(bytes);
    const uint32_t movieSize = U32At(bytes, movie + 4);
    const size_t index = size_t(movie) + 8 + movieSize + (movieSize & 1);  // behind its pad byte
    std::vector<IndexEntry> entries;
    if (Id(bytes, index) != "idx1") {
        ADD_FAILURE() << "no idx1 at " << index;
        return entries;
    }
    for (size_t at = index + 8; at + 16 <= index + 8 + U32At(bytes, index + 4); at += 16) {
        entries.push_back(
            {U32At(bytes, at), U32At(bytes, at + 4), U32At(bytes, at + 8), U32At(bytes, at + 12)});
    }
    return entries;
}

CommandResult Run(const std::string& command) {
    CommandResult result{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    result.status = pclose(pipe);
    return result;
}

bool Ffmpeg(const std::string& arguments) {
    const CommandResult result = Run("ffmpeg -nostdin -v error -y " + arguments);
    EXPECT_EQ(result.status, 0) << result.output;
    return result.status == 0;
}

void ExpectValidAvi(const std::string& path) {
    const CommandResult probe = Run("ffprobe -v error '" + path + "'");
    EXPECT_EQ(probe.status, 0) << path;
    EXPECT_EQ(probe.output, "") << path;
    const CommandResult decode = Run("ffmpeg -nostdin -v error -i '" + path + "' -f null -");
    EXPECT_EQ(decode.status, 0) << path;
    EXPECT_EQ(decode.output, "") << path;
}

int ProbedVideoPackets(const std::string& path) {
    const CommandResult probe =
        Run("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
            "stream=nb_read_packets -of csv=p=0 '" +
            path + "'");
    EXPECT_EQ(probe.status, 0) << probe.output;
    return atoi(probe.output.c_str());
}

std::string Decoded(const std::string& path, const std::string& output) {
    const std::string target = path + ".decoded";
    Ffmpeg("-i '" + path + "' " + output + " '" + target + "'");
    std::string bytes = ReadBytes(target);
    remove(target.c_str());
    return bytes;
}

void ExpectSameBytes(const std::string& actual, const std::string& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    const size_t common = std::min(actual.size(), expected.size());
    const auto difference =
        std::mismatch(actual.begin(), actual.begin() + long(common), expected.begin());
    EXPECT_EQ(size_t(difference.first - actual.begin()), common) << "first differing byte";
}

void ExpectSameBytes(const std::string& actual, const std::vector<uint8_t>& expected) {
    ExpectSameBytes(actual, std::string(expected.begin(), expected.end()));
}

std::string TopDown(const uint8_t* bitmap, uint32_t width, uint32_t height,
                    uint32_t bytesPerPixel) {
    const uint32_t row = (width * bytesPerPixel + 3) / 4 * 4;
    std::string rows;
    for (uint32_t y = height; y-- > 0;) {
        rows.append(reinterpret_cast<const char*>(bitmap) + size_t(y) * row, width * bytesPerPixel);
    }
    return rows;
}

ReadingFile::ReadingFile(const std::string& path) {
    AVFILE_OpenFileForRead(&handle_, path.c_str());
}

ReadingFile::~ReadingFile() {
    if (handle_) {
        AVFILE_CloseReadingFile(handle_);
    }
}

ReadingFileInfo ReadingFile::info() const {
    ReadingFileInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(AVFILE_GetReadingFileInfo(handle_, &info), 1);
    return info;
}

}  // namespace zedadu::test
