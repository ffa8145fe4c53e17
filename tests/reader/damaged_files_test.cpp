// Files cut short, as a crash or an interrupted copy leaves them: ffmpeg-made files of several
// codecs cut at the start of their index and at arbitrary bytes of their movie list. Every
// complete frame reads as ffmpeg decodes the uncut file, also when frames are asked for out of
// order, and the audio that is present reads sample for sample.
#include <gtest/gtest.h>

#include <random>

#include "platform/vfw/vfw.h"
#include "plugin/plugin.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

constexpr uint32_t kFrames = 110;
constexpr uint32_t kAudioFrameBytes = 4;  // 16-bit stereo

struct Clip {
    const char* name;
    std::string encode;  // ffmpeg output options for the video
    int32_t width, height;
    const char* rate;
    FOURCC handler;         // the decompressor the file needs; 0 for uncompressed frames
    int tolerance = 0;      // largest channel difference allowed against ffmpeg's decode
    bool moreKeys = false;  // key frames may be found beyond the encoder's (Video 1 frames that
                            // change every block decode alone)
};

const Clip kClips[] = {
    {"uncompressed", "-c:v rawvideo -pix_fmt bgr24", 96, 64, "25", 0},
    {"video1", "-c:v msvideo1 -g 12", 96, 64, "25", FourCC("MSVC"), 0, true},
    {"mjpeg", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", 96, 64, "25", FourCC("MJPG"), 2},
    {"dv", "-c:v dvvideo -pix_fmt yuv411p", 720, 480, "30000/1001", FourCC("dvsd"), 2},
    {"ffv1", "-c:v ffv1 -g 12", 96, 64, "25", FourCC("FFV1")},
    {"mpeg4", "-c:v mpeg4 -vtag XVID -g 12 -q:v 4", 96, 64, "25", FourCC("XVID"), 2},
};

// What survives of the uncut file when it is cut at a byte: its whole chunks.
struct Survivors {
    uint32_t frames = 0;
    uint32_t audioFrames = 0;
    std::vector<bool> keyFrames;  // as the encoder flagged them
};

// The position of the movie list's type; ffmpeg puts other lists between it and the header list.
size_t MovieListType(const std::string& bytes) {
    size_t at = bytes.find("movi");
    while (at != std::string::npos && Id(bytes, at - 8) != "LIST") {
        at = bytes.find("movi", at + 1);
    }
    return at;
}

// The chunks of the uncut file by its own index (offsets from the movie list's type, as ffmpeg
// writes them), which lists them in file order.
Survivors SurvivorsOfCut(const std::string& uncut, size_t cut) {
    const size_t movieType = MovieListType(uncut);
    const size_t index = movieType + U32At(uncut, movieType - 4);
    Survivors survivors;
    for (size_t at = index + 8; at + 16 <= index + 8 + U32At(uncut, index + 4); at += 16) {
        const uint32_t offset = U32At(uncut, at + 8), size = U32At(uncut, at + 12);
        if (uint64_t(movieType) + offset + 8 + size > cut) {
            break;
        }
        if (Id(uncut, at + 2).substr(0, 2) == "wb") {
            survivors.audioFrames += size / kAudioFrameBytes;
        } else {
            ++survivors.frames;
            survivors.keyFrames.push_back(U32At(uncut, at + 4) & kIndexKeyFrame);
        }
    }
    return survivors;
}

int LargestDifference(const std::string& a, const char* b) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i]))));
    }
    return worst;
}

void ExpectSurvivorsRead(const std::string& path, const Clip& clip, const Survivors& expected,
                         const std::string& frames, const std::string& audio) {
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const ReadingFileInfo info = file.info();
    ASSERT_EQ(info.frameCount, expected.frames);
    ASSERT_EQ(info.audioLength, expected.audioFrames);
    // The key frames found in the bitstream are the encoder's: never every frame of a temporal
    // codec, never fewer than the encoder made.
    const std::vector<IndexEntry>& index = ReadingOf(file.handle()).index.video;
    uint32_t dependent = 0;
    for (uint32_t i = 0; i < expected.frames; ++i) {
        const bool key = index[i].flags & kIndexKeyFrame;
        EXPECT_TRUE(key == expected.keyFrames[i] || (clip.moreKeys && key)) << "frame " << i;
        dependent += !key;
    }
    EXPECT_EQ(dependent > 0,
              std::count(expected.keyFrames.begin(), expected.keyFrames.end(), false) > 0);
    const size_t frameBytes = size_t(clip.width) * clip.height * 3;
    std::vector<uint8_t> buffer(frameBytes + 4 * size_t(clip.height));
    std::vector<uint32_t> order = {100, 3};
    for (uint32_t i = 0; i < expected.frames; ++i) {
        order.push_back(i);
    }
    for (const uint32_t frame : order) {
        if (frame >= expected.frames) {
            continue;
        }
        ImageFrameRequest request =
            FrameRequest(frame, FORMAT_ID_RGB24, clip.width, clip.height, buffer);
        ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request)) << "frame " << frame;
        const std::string ours = TopDown(buffer.data(), clip.width, clip.height, 3);
        ASSERT_LE(LargestDifference(ours, frames.data() + frameBytes * frame), clip.tolerance)
            << "frame " << frame;
    }
    std::vector<uint8_t> samples(size_t(expected.audioFrames) * kAudioFrameBytes);
    AudioSamplesRequest request = SamplesRequest(0, expected.audioFrames, FORMAT_ID_PCM16, samples);
    ASSERT_TRUE(AVFILE_ReadAudioSamples(file.handle(), &request));
    ExpectSameBytes(std::string(samples.begin(), samples.end()), audio.substr(0, samples.size()));
}

TEST(DamagedFiles, EveryWholeFrameAndSampleOfAFileCutShortReads) {
    ScratchDirectory directory;
    std::mt19937 random(16);
    for (const Clip& clip : kClips) {
        SCOPED_TRACE(clip.name);
        if (clip.handler) {
            HIC decoder = ICOpen(ICTYPE_VIDEO, clip.handler, ICMODE_DECOMPRESS);
            ASSERT_NE(decoder, nullptr);
            ICClose(decoder);
        }
        const std::string uncutPath = directory.file(std::string(clip.name) + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=" + std::to_string(clip.width) + "x" +
                           std::to_string(clip.height) + ":rate=" + clip.rate +
                           " -f lavfi -i sine=frequency=330:sample_rate=22050 -frames:v " +
                           std::to_string(kFrames) + " " + clip.encode +
                           " -c:a pcm_s16le -ac 2 -shortest " + uncutPath));
        const std::string uncut = ReadBytes(uncutPath);
        const std::string frames = Decoded(uncutPath, "-f rawvideo -pix_fmt bgr24");
        const std::string audio = Decoded(uncutPath, "-vn -f s16le -c:a pcm_s16le");
        ASSERT_EQ(frames.size(), size_t(clip.width) * clip.height * 3 * kFrames);
        const size_t movieType = MovieListType(uncut);
        const size_t indexStart = movieType + U32At(uncut, movieType - 4);
        ASSERT_EQ(Id(uncut, indexStart), "idx1");
        std::vector<size_t> cuts = {indexStart};
        for (int i = 0; i < 3; ++i) {
            cuts.push_back(movieType + random() % (indexStart - movieType));
        }
        const std::string path = directory.file("cut.avi");
        for (const size_t cut : cuts) {
            SCOPED_TRACE(testing::Message() << "cut at " << cut << " of " << uncut.size());
            WriteBytes(path, uncut.substr(0, cut));
            ExpectSurvivorsRead(path, clip, SurvivorsOfCut(uncut, cut), frames, audio);
        }
    }
}

}  // namespace
}  // namespace zedadu::test
