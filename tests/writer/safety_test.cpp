// What keeps a recording safe: failed writes (a full disk or a file size limit), the 4 GiB limit
// of the format, and calls that cannot get the access lock.
#include <sys/resource.h>

#include <fstream>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <future>
#include <thread>

#include "frame/avi_file_handle.h"
#include "frame/module.h"
#include "frame/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

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

using Safety = WriterTest;

TEST_F(Safety, FailedWritesLeaveAValidFile) {
    WriterSetup s;
    s.width = 720;
    s.height = 486;
    s.frames = 5;
    const std::string path = dir.file("limited.avi");
    void* handle = OpenWriter(s, path);
    std::vector<std::vector<uint8_t>> frames;
    {
        const FileSizeLimit limit(2621440);  // room for two frames and a half
        for (uint32_t i = 0; i < 4; ++i) {
            frames.push_back(TestFrame(s, i));
            EXPECT_EQ(WriteFrame(handle, s, frames.back()), i < 2) << i;
        }
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    const std::string b = ReadBytes(path);
    EXPECT_EQ(Le32(b, 32 + 16), 2u);  // dwTotalFrames
    EXPECT_EQ(IndexOf(b).size(), 2u);
    ExpectValidAvi(path);
    ExpectSameBytes(Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24"),
                    TopDown(frames[0], 720, 486, 3) + TopDown(frames[1], 720, 486, 3));

    // Not even the movie list fits: the stream does not start and no file is left.
    s.audio = true;
    s.padding = 512;
    handle = OpenWriter(s, path);
    {
        const FileSizeLimit limit(100);
        auto frame = TestFrame(s, 0);
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        auto samples = TestSamples(s, 0, 100);
        EXPECT_FALSE(WriteSamples(handle, s, samples, 100));
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Safety, NothingPassesFourGibibytes) {
    WriterSetup s;
    s.audio = true;
    s.sampleRate = 44100;
    s.frames = 4;
    const std::string path = dir.file("large.avi");
    void* opened = OpenWriter(s, path);
    auto& handle = *static_cast<AviFileHandle*>(opened);
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(opened, s, frame));
    // Pretend the movie list already reaches almost 4 GiB: the next record (frame chunk and
    // slot) with its index entry then just fits, once.
    const uint64_t record = 8 + FrameBytes(s) + uint32_t(handle.maxAudioChunk);
    const uint64_t lastEven = 0xFFFFFFFE;
    handle.movieEnd = uint32_t(lastEven - record - 8 - 16 * 2 + 2);
    EXPECT_FALSE(WriteFrame(opened, s, frame));
    handle.movieEnd -= 2;
    ASSERT_TRUE(WriteFrame(opened, s, frame));
    EXPECT_FALSE(WriteFrame(opened, s, frame));
    auto samples = TestSamples(s, 0, 100);
    EXPECT_FALSE(WriteSamples(opened, s, samples, 100)) << "its index entry would not fit";
    ASSERT_EQ(AVFILE_CloseFileForWrite(opened), 1);
    EXPECT_EQ(std::filesystem::file_size(path), lastEven);
    std::ifstream in(path, std::ios::binary);
    char header[8];
    in.read(header, sizeof header);
    EXPECT_EQ(Le32(std::string(header, 8), 4), lastEven - 8);
    std::filesystem::remove(path);
}

TEST_F(Safety, CallsThatCannotGetTheLockChangeNothing) {
    WriterSetup s;
    s.audio = true;
    void* opened = OpenWriter(s, dir.file("locked.avi"));
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(opened, s, frame));
    const auto& handle = *static_cast<AviFileHandle*>(opened);
    const uint32_t movieEnd = handle.movieEnd;
    std::promise<void> held, done;
    std::thread holder([&] {
        AccessLockGuard lock;
        held.set_value();
        done.get_future().wait();
    });
    held.get_future().wait();
    SetAccessLockWaitForTesting(50);
    auto samples = TestSamples(s, 0, 100);
    EXPECT_FALSE(WriteFrame(opened, s, frame));
    EXPECT_FALSE(WriteSamples(opened, s, samples, 100));
    EXPECT_EQ(AVFILE_CloseFileForWrite(opened), 0);
    SetAccessLockWaitForTesting(kAccessLockWaitMilliseconds);
    done.set_value();
    holder.join();
    EXPECT_EQ(handle.tag, FourCC("AVI "));
    EXPECT_EQ(handle.frameCount, 1u);
    EXPECT_EQ(handle.movieEnd, movieEnd);
    EXPECT_EQ(handle.audioLength, 0u);
    EXPECT_EQ(AVFILE_CloseFileForWrite(opened), 1);
    ExpectValidAvi(dir.file("locked.avi"));
}

}  // namespace
}  // namespace zedadu::test
