// Two threads write one file's video and audio at their own paces while a third reads another
// file: the access lock keeps every record, slot and decoded frame whole.
#include <atomic>
#include <thread>

#include "frame/avi_file_handle.h"
#include "frame/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

using Stress = WriterTest;

TEST_F(Stress, VideoAndAudioThreadsWhileAnotherFileIsRead) {
    WriterSetup other;
    other.frames = 8;
    const std::string otherPath = dir.file("other.avi");
    void* writing = OpenWriter(other, otherPath);
    std::vector<std::vector<uint8_t>> otherFrames;
    for (uint32_t i = 0; i < other.frames; ++i) {
        otherFrames.push_back(TestFrame(other, i));
        auto pixels = otherFrames.back();
        ASSERT_TRUE(WriteFrame(writing, other, pixels));
    }
    ASSERT_EQ(AVFILE_CloseFileForWrite(writing), 1);
    void* reading = nullptr;
    const bool readerPresent = AVFILE_OpenFileForRead(&reading, otherPath.c_str()) == 1;

    WriterSetup s;
    s.frames = 150;
    s.audio = true;
    s.sampleRate = 48000;
    s.padding = 512;
    s.offset = 1;
    const std::string path = dir.file("stress.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    std::atomic<bool> videoDone{false};
    std::atomic<int> readFailures{0};
    std::vector<std::vector<uint8_t>> frames(s.frames);
    std::thread video([&] {
        for (uint32_t i = 0; i < s.frames; ++i) {
            frames[i] = TestFrame(s, i);
            auto pixels = frames[i];
            EXPECT_TRUE(WriteFrame(handle, s, pixels)) << i;
        }
        videoDone = true;
    });
    uint32_t sent = 0;
    std::thread audio([&] {
        for (;;) {
            auto samples = TestSamples(s, sent, 1500);
            if (!WriteSamples(handle, s, samples, 1500)) {
                EXPECT_TRUE(videoDone.load()) << "refused only once the video is complete";
                return;
            }
            sent += 1500;
        }
    });
    std::thread reader([&] {
        std::vector<uint8_t> buffer(size_t(other.width) * other.height * 4);
        for (uint32_t n = 0; readerPresent && !videoDone; ++n) {
            ImageFrameRequest request{};
            request.frameNumber = n % other.frames;
            request.buffer = buffer.data();
            request.bufferSize = uint32_t(buffer.size());
            request.requested.size = sizeof request.requested;
            request.requested.width = other.width;
            request.requested.height = other.height;
            snprintf(request.requested.formatId, sizeof request.requested.formatId, "%s",
                     FORMAT_ID_RGB24);
            if (AVFILE_ReadImageFrame(reading, &request) != 1 ||
                memcmp(buffer.data(), otherFrames[n % other.frames].data(), FrameBytes(other)) != 0) {
                ++readFailures;
            }
        }
    });
    video.join();
    audio.join();
    reader.join();
    const uint32_t written = static_cast<AviFileHandle*>(handle)->audioLength;
    EXPECT_EQ(written + static_cast<AviFileHandle*>(handle)->pendingAudioFrames, sent);
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_EQ(readFailures.load(), 0);
    ExpectValidAvi(path);
    std::string video24;
    for (const auto& frame : frames) {
        video24 += TopDown(frame, s.width, s.height, 3);
    }
    ExpectSameBytes(Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24"), video24);
    ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"), TestSamples(s, 0, written));
    if (!readerPresent) {
        GTEST_SKIP() << "written from two threads; no reader to run beside them yet";
    }
    EXPECT_EQ(AVFILE_CloseReadingFile(reading), 1);
}

}  // namespace
}  // namespace zedadu::test
