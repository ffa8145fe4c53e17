// Free recording time, with the host library's free bytes replaced by the test's own figure
// (the test program's definition takes the place of the host library's).
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace {
uint64_t freeBytes = 0;
int timesAsked = 0;
}  // namespace

extern "C" uint64_t GetBytesOnDrive(const void*) {
    ++timesAsked;
    return freeBytes;
}

namespace zedadu::test {
namespace {

struct TimeRequest {
    TimeRequest(uint32_t dataRate, uint32_t quality) {
        block.headerSize = 148;
        block.dataRate = dataRate;
        block.quality = quality;
        video.rate = 29970026;
        video.scale = 1000000;
        video.imageSize = 1049760;
        video.settingsBlock = &block;
        video.settingsBlockSize = 148;
        audio.frameBytes = 4;
        audio.sampleRate = 44100;
        request.size = sizeof request;
        request.driveWord2 = 1;
        request.video = &video;
        request.audio = &audio;
    }
    CompressionSettings block{};
    ImageFormatStruct video{};
    AudioFormatRecord audio{};
    FreeTimeRequest request{};
};

// The figures for 10 GB with and without a data rate, uncompressed frames at quality 100, and the
// 40000-second cap; without a drive, without a block or without audio; and refused sizes.
TEST(FreeTime, FramesAndSamplesThatFitAndRefusedRequests) {
    struct Case {
        uint32_t dataRate, quality;
        uint64_t bytes;
        uint32_t samples, frames;
    } cases[] = {
        {800, 7500, 10000000000, 451659156, 306944},
        {0, 7500, 10000000000, 36828567, 25028},
        {0, 100, (31461334 + 176400) * 10ull, 441000, 299},
        {800, 7500, 1ull << 40, 1764000000, 1198801},
    };
    for (const Case& c : cases) {
        TimeRequest time(c.dataRate, c.quality);
        freeBytes = c.bytes;
        ASSERT_EQ(AVFILE_GetFreeTimeOnDrive(&time.request), 1);
        EXPECT_EQ(time.request.audioSamples, c.samples);
        EXPECT_EQ(time.request.videoFrames, c.frames);
    }
    TimeRequest noBlock(800, 7500);
    noBlock.video.settingsBlock = nullptr;
    freeBytes = 176400 * 100;
    ASSERT_EQ(AVFILE_GetFreeTimeOnDrive(&noBlock.request), 1);
    EXPECT_EQ(noBlock.request.audioSamples, 4410000u);  // only the audio limits the time
    TimeRequest noAudio(800, 7500);
    noAudio.request.audio = nullptr;
    noAudio.request.audioSamples = 0xFFFFFFFF;
    ASSERT_EQ(AVFILE_GetFreeTimeOnDrive(&noAudio.request), 1);
    EXPECT_EQ(noAudio.request.audioSamples, 0x7FFFFFFFu);

    TimeRequest noDrive(800, 7500);
    noDrive.request.driveWord2 = 0;
    noDrive.request.videoFrames = 77;
    timesAsked = 0;
    ASSERT_EQ(AVFILE_GetFreeTimeOnDrive(&noDrive.request), 1);
    EXPECT_EQ(noDrive.request.audioSamples, 200000000u);
    EXPECT_EQ(noDrive.request.videoFrames, 77u);
    EXPECT_EQ(timesAsked, 0);
    for (const uint32_t size : {sizeof(FreeTimeRequest) - 1, sizeof(FreeTimeRequest) + 1}) {
        FreeTimeRequest wrong;
        Poison(wrong);
        wrong.size = size;
        EXPECT_EQ(AVFILE_GetFreeTimeOnDrive(&wrong), 0);
        EXPECT_TRUE(IsPoisonedExceptSize(wrong));
    }
}

}  // namespace
}  // namespace zedadu::test
