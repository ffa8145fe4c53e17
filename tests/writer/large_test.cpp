// A recording of 4.6 GB in the OpenDML form, made in a temporary folder and deleted afterwards
// (CTest label "large"): 4400 uncompressed 720 x 486 frames with audio, in five RIFF parts.
#include <filesystem>
#include <fstream>

#include "plugin/plugin.h"
#include "tests/writer/open_dml_support.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

constexpr uint32_t kFrames = 4400;
constexpr uint32_t kSamplesPerFrame = 1601;  // 48000 Hz at 30000/1001 frames a second

using LargeRecording = WriterTest;

std::string FfmpegFrames(const std::string& path, const std::vector<uint32_t>& frames) {
    std::string select;
    for (const uint32_t frame : frames) {
        select +=
            (select.empty() ? "" : "+") + std::string("eq(n\\,") + std::to_string(frame) + ")";
    }
    return Decoded(path,
                   "-map 0:v -vf \"select='" + select + "'\" -vsync 0 -f rawvideo -pix_fmt bgr24");
}

TEST_F(LargeRecording, AnOpenDmlRecordingPastFourGigabytesReadsWhole) {
    std::ofstream(ini()) << "[VideoWritingSettings]\nOpenDML=1\n";
    WriterSetup s{.width = 720, .height = 486, .rate = 30000, .scale = 1001, .padding = 512};
    s.frames = kFrames;
    s.audio = true;
    s.sampleRate = 48000;
    const std::string path = dir.file("large.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    uint32_t sent = 0;
    for (uint32_t i = 0; i < kFrames; ++i) {
        auto frame = TestFrame(s, i);
        ASSERT_TRUE(WriteFrame(handle, s, frame)) << i;
        auto samples = TestSamples(s, sent, kSamplesPerFrame);
        ASSERT_TRUE(WriteSamples(handle, s, samples, kSamplesPerFrame)) << i;
        sent += kSamplesPerFrame;
    }
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_GT(std::filesystem::file_size(path), 4600000000u);

    EXPECT_EQ(ProbedVideoPackets(path), int(kFrames));
    const std::vector<uint32_t> chosen = {0, kFrames / 2, kFrames - 1};
    std::string expected;
    for (const uint32_t i : chosen) {
        const auto frame = TestFrame(s, i);
        expected += TopDown(frame.data(), s.width, s.height, 3);
    }
    ExpectSameBytes(FfmpegFrames(path, chosen), expected);
    ExpectGStreamerReadsWhole(path, kFrames, kFrames * 1001.0 / 30000, false);

    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    EXPECT_EQ(file.info().frameCount, kFrames);
    std::vector<uint8_t> buffer(size_t(s.width) * s.height * 4);
    for (uint32_t i = 0; i < kFrames; i += 997) {  // frames of every part
        ImageFrameRequest request = FrameRequest(i, FORMAT_ID_RGB24, s.width, s.height, buffer);
        ASSERT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << i;
        EXPECT_EQ(memcmp(buffer.data(), TestFrame(s, i).data(), FrameBytes(s)), 0) << i;
    }
}

}  // namespace
}  // namespace zedadu::test
