// Files of gigabytes, made in a temporary folder and deleted at the end (CTest label "large"):
// the OpenDML files that ffmpeg and GStreamer write past 1 GiB, read whole and compared with
// ffmpeg's decode, and files whose later parts lie beyond 4 GiB (sparse, so they cost no disk).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "plugin/plugin.h"
#include "tests/reader/odml_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

constexpr int32_t kWidth = 640, kHeight = 480;
constexpr uint32_t kFrames = 1400;

std::string HeadOf(const std::string& path, size_t count, uint64_t at = 0) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(at));
    std::string bytes(count, '\0');
    in.read(bytes.data(), std::streamsize(count));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

// The file positions of the video packets, as ffprobe finds them.
std::vector<uint64_t> VideoPacketPositions(const std::string& path) {
    const CommandResult probe =
        Run("ffprobe -v error -select_streams v:0 -show_entries "
            "packet=pos -of csv=p=0 '" +
            path + "'");
    EXPECT_EQ(probe.status, 0) << probe.output;
    std::vector<uint64_t> positions;
    std::istringstream lines(probe.output);
    for (uint64_t position; lines >> position;) {
        positions.push_back(position);
    }
    return positions;
}

// The frames ffmpeg decodes at these numbers (in increasing order), as bgr24 rows top row first.
std::string FfmpegFrames(const std::string& path, const std::vector<uint32_t>& frames) {
    std::string select;
    for (uint32_t frame : frames) {
        select +=
            (select.empty() ? "" : "+") + std::string("eq(n\\,") + std::to_string(frame) + ")";
    }
    return Decoded(path, "-vf \"select='" + select + "'\" -vsync 0 -f rawvideo -pix_fmt bgr24");
}

// Every frame count, the frames around the boundary between the first two parts and the last
// frame, and the whole audio, as ffmpeg reads them. The last frame is read first, so that the
// frames after it are found by the index, not by a walk from the start.
void ExpectReadsAsFfmpegDoes(const std::string& path) {
    const std::vector<uint64_t> positions = VideoPacketPositions(path);
    const uint64_t firstPart = 8 + U32At(HeadOf(path, 8), 4);
    const auto boundary = uint32_t(std::find_if(positions.begin(), positions.end(),
                                                [&](uint64_t p) { return p > firstPart; }) -
                                   positions.begin());
    ASSERT_GT(boundary, 1u);
    ASSERT_LT(boundary + 1, positions.size()) << "the file has a second part";
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const ReadingFileInfo info = file.info();
    ASSERT_EQ(info.frameCount, positions.size());
    const uint32_t last = info.frameCount - 1;
    const std::vector<uint32_t> frames = {0, boundary - 1, boundary, boundary + 1, last};
    const std::string expected = FfmpegFrames(path, frames);
    const size_t frameBytes = size_t(kWidth) * kHeight * 3;
    ASSERT_EQ(expected.size(), frameBytes * frames.size());
    std::vector<uint8_t> buffer(frameBytes);
    for (const size_t i : {size_t(4), size_t(0), size_t(1), size_t(2), size_t(3)}) {
        ImageFrameRequest request =
            FrameRequest(frames[i], FORMAT_ID_RGB24, kWidth, kHeight, buffer);
        ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request)) << frames[i];
        ASSERT_TRUE(TopDown(buffer.data(), kWidth, kHeight, 3) ==
                    expected.substr(frameBytes * i, frameBytes))
            << "frame " << frames[i];
    }
    const std::string audio = Decoded(path, "-vn -f s16le -c:a pcm_s16le");
    ASSERT_EQ(uint64_t(info.audioLength) * 4, audio.size());
    std::vector<uint8_t> samples(audio.size());
    AudioSamplesRequest request = SamplesRequest(0, info.audioLength, FORMAT_ID_PCM16, samples);
    ASSERT_TRUE(AVFILE_ReadAudioSamples(file.handle(), &request));
    EXPECT_EQ(request.samplesDelivered, info.audioLength);
    ExpectSameBytes(std::string(samples.begin(), samples.end()), audio);
}

std::string TestSourceOptions() {
    return "-f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
           ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -frames:v " +
           std::to_string(kFrames) + " -t 56 ";
}

TEST(LargeFiles, FfmpegOpenDmlFilesReadWholeWithAndWithoutTheirLegacyIndex) {
    ScratchDirectory directory;
    const std::string path = directory.file("opendml.avi");
    ASSERT_TRUE(
        Ffmpeg(TestSourceOptions() + "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 2 " + path));
    {
        SCOPED_TRACE("as ffmpeg wrote it");
        ExpectReadsAsFfmpegDoes(path);
    }
    // The legacy index closes the first part; it becomes JUNK.
    const uint64_t firstPart = 8 + U32At(HeadOf(path, 8), 4);
    uint64_t at = 12;
    for (std::string header = HeadOf(path, 8, at); Id(header, 0) != "idx1";
         header = HeadOf(path, 8, at)) {
        ASSERT_EQ(header.size(), 8u);
        at += 8 + U32At(header, 4) + (U32At(header, 4) & 1);
        ASSERT_LT(at, firstPart);
    }
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff(at));
    file.write("JUNK", 4);
    file.close();
    SCOPED_TRACE("with its legacy index turned into JUNK");
    ExpectReadsAsFfmpegDoes(path);
}

bool GStreamerAviMuxInstalled() {
    return Run("gst-inspect-1.0 avimux").status == 0;
}

TEST(LargeFiles, GStreamerOpenDmlFilesReadWhole) {
    if (!GStreamerAviMuxInstalled()) {
        GTEST_SKIP() << "GStreamer's avimux is not installed";
    }
    ScratchDirectory directory;
    const std::string path = directory.file("avimux.avi");
    const CommandResult made = test::Run(
        "gst-launch-1.0 -q videotestsrc num-buffers=" + std::to_string(kFrames) +
        " ! video/x-raw,format=BGR,width=" + std::to_string(kWidth) +
        ",height=" + std::to_string(kHeight) +
        ",framerate=25/1 ! queue ! mux. audiotestsrc num-buffers=" + std::to_string(kFrames) +
        " samplesperbuffer=1920 ! audio/x-raw,format=S16LE,rate=48000," +
        "channels=2 ! queue ! mux. avimux name=mux ! filesink location='" + path + "'");
    ASSERT_EQ(made.status, 0) << made.output;
    ExpectReadsAsFfmpegDoes(path);
}

// Three parts of three 4 x 2 frames and ten 8-bit audio samples, the second and third opening
// with almost 4 GiB never written: their chunks lie beyond 4 GiB and near 8 GiB. Read by their
// OpenDML index, by a walk of a file that has no index, and by a walk of a file whose legacy index
// covers only the first part.
TEST(LargeFiles, PositionsBeyondFourGibibytes) {
    OdmlSpec plan = NineFramesInThreeParts();
    plan.gapBeforePart = 0xFFFF0000;
    ScratchDirectory directory;
    const std::string path = directory.file("sparse.avi");
    for (const SuperIndexKind kind : {SuperIndexKind::OfIndexes, SuperIndexKind::None}) {
        for (const bool legacy : {true, false}) {
            SCOPED_TRACE(testing::Message() << "super index " << int(kind) << ", idx1 " << legacy);
            plan.superIndex = kind;
            plan.legacyIndex = legacy;
            const FileImage image = plan.build();
            ASSERT_GT(image.size, 2 * plan.gapBeforePart);
            WriteImage(path, image);
            ReadingFile file(path);
            ASSERT_TRUE(file.opened());
            ASSERT_EQ(file.info().frameCount, 9u);
            ASSERT_EQ(file.info().audioLength, 30u);
            std::vector<uint8_t> buffer(24);
            for (const uint32_t frame : {8u, 0u, 4u}) {
                ImageFrameRequest request = FrameRequest(frame, FORMAT_ID_RGB24, 4, 2, buffer);
                ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request)) << frame;
                EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
                          std::string(24, char('a' + frame)));
            }
            std::vector<uint8_t> samples(30);
            AudioSamplesRequest request = SamplesRequest(0, 30, FORMAT_ID_PCM8, samples);
            ASSERT_TRUE(AVFILE_ReadAudioSamples(file.handle(), &request));
            EXPECT_EQ(std::string(samples.begin(), samples.end()),
                      std::string(10, '0') + std::string(10, '1') + std::string(10, '2'));
        }
    }
}

}  // namespace
}  // namespace zedadu::test
