// Helpers of the writer tests: a scratch directory with its own INI file, open requests built
// from a few settings, frames and samples, reading back the bytes of a written file, and running
// Debian's ffprobe and ffmpeg on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/index_entry.h"
#include "frame/records.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

// Every test gets its own directory, with the settings INI beside a pretend host executable.
class WriterTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string ini() const { return dir.file("ZEDADU.ini"); }
    ScratchDirectory dir;
};

struct WriterSetup {
    FOURCC handler = FourCC("DIB ");
    int32_t width = 32;
    int32_t height = 24;
    uint32_t rate = 25;
    uint32_t scale = 1;
    const char* videoId = FORMAT_ID_RGB24;
    uint32_t padding = 0;
    uint32_t keyFrameRate = 4;
    uint32_t dataRate = 0;
    uint32_t quality = 7500;
    int32_t offset = 0;
    uint32_t frames = 3;  // 0: no video stream
    bool audio = false;
    uint32_t channels = 2;
    uint32_t sampleRate = 44100;
    const char* audioId = FORMAT_ID_PCM16;
    uint32_t options = 0;
};

// Owns what an open request points at: the name buffer and the settings block.
class OpenRequest {
  public:
    OpenRequest(const WriterSetup& setup, const std::string& path);
    ~OpenRequest();
    OpenRequest(const OpenRequest&) = delete;
    OpenRequest& operator=(const OpenRequest&) = delete;
    OpenWriteRequest request{};
    char name[1200] = {};
};

// Opens for write; null when refused.
void* OpenWriter(const WriterSetup& setup, const std::string& path);
uint32_t FrameBytes(const WriterSetup& setup);
// A frame of the setup's layout whose bytes depend on its index.
std::vector<uint8_t> TestFrame(const WriterSetup& setup, uint32_t index);
bool WriteFrame(void* handle, const WriterSetup& setup, std::vector<uint8_t>& pixels,
                const char* formatId = nullptr);
// Interleaved samples: 16-bit or 8-bit depending on the setup, counting on from `first`.
std::vector<uint8_t> TestSamples(const WriterSetup& setup, uint32_t first, uint32_t frames);
bool WriteSamples(void* handle, const WriterSetup& setup, std::vector<uint8_t>& samples,
                  uint32_t frames, const char* formatId = nullptr);

std::string ReadBytes(const std::string& path);
uint32_t Le32(const std::string& bytes, size_t at);
std::string Id(const std::string& bytes, size_t at);
// The movie list position and the idx1 entries of a written file.
uint32_t MovieListAt(const std::string& bytes);
std::vector<IndexEntry> IndexOf(const std::string& bytes);

// Output (standard output and error) and exit status of a shell command.
struct CommandResult {
    int status;
    std::string output;
};
CommandResult Run(const std::string& command);
// ffprobe and a full ffmpeg decode report nothing.
void ExpectValidAvi(const std::string& path);
// ffmpeg's decode of one stream as raw bytes ("-f rawvideo -pix_fmt bgr24", "-f s16le", ...).
std::string Decoded(const std::string& path, const std::string& output);
// Equal sizes and bytes, reporting the first difference rather than the whole content.
void ExpectSameBytes(const std::string& actual, const std::string& expected);
void ExpectSameBytes(const std::string& actual, const std::vector<uint8_t>& expected);
// A frame's bitmap rows (bottom row first) in top-down order, as a decoder delivers them.
std::string TopDown(const std::vector<uint8_t>& frame, uint32_t width, uint32_t height,
                    uint32_t bytesPerPixel);

}  // namespace zedadu::test
