// Helpers of the writer tests: a scratch directory with its own INI file, open requests built
// from a few settings, frames and samples, and whole clips written through the entry points.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

// Limits the size of files this process writes; writes past it fail with EFBIG.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

  private:
    rlimit old_{};
};

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
    bool smooth = false;  // frames of a moving gradient, fair to lossy encoders
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
// A frame of the setup's layout (with room for any layout) whose bytes depend on its index.
std::vector<uint8_t> TestFrame(const WriterSetup& setup, uint32_t index);
bool WriteFrame(void* handle, const WriterSetup& setup, std::vector<uint8_t>& pixels,
                const char* formatId = nullptr);
// Interleaved samples: 16-bit or 8-bit depending on the setup, counting on from `first`.
std::vector<uint8_t> TestSamples(const WriterSetup& setup, uint32_t first, uint32_t frames);
bool WriteSamples(void* handle, const WriterSetup& setup, std::vector<uint8_t>& samples,
                  uint32_t frames, const char* formatId = nullptr);

// A file written by WriteClip: the frames sent and the sample frames the file holds.
struct Clip {
    std::string path;
    std::vector<std::vector<uint8_t>> frames;
    uint32_t audioFrames = 0;
    std::string bytes() const { return ReadBytes(path); }
    // The frames as a decoder delivers them as bgr24.
    std::string topDown(const WriterSetup& setup) const;
};
// Writes `frames` test frames, each followed from frame `audioFrom` on by `samplesPerFrame`
// sample frames, and closes.
Clip WriteClip(const WriterSetup& setup, const std::string& path, uint32_t frames,
               uint32_t samplesPerFrame = 0, uint32_t audioFrom = 0);

// Peak signal-to-noise ratio of 8-bit samples in decibels: 99 for equal pictures, 0 for pictures of
// different sizes.
double Psnr(const std::string& decoded, const std::string& original);

// This plug-in's reader reads the file's first `frames` test frames and all its audio as the
// test samples.
void ExpectOurReaderReads(const WriterSetup& setup, const std::string& path, uint32_t frames);

}  // namespace zedadu::test
