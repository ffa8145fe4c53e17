// Files written through the entry points, checked by tools nobody here wrote (Debian's ffprobe
// and ffmpeg) and read back through the plug-in's own reader: uncompressed video with and
// without audio, every padding and the audio offset, and each encoder the compressor layer offers.
#include "platform/vfw/compressor.h"
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

// Reads every frame (when `exact`) and the audio back through this plug-in's reader.
void ExpectReadBack(const Clip& clip, const WriterSetup& s, bool exact) {
    ReadingFile file(clip.path);
    ASSERT_TRUE(file.opened());
    const ReadingFileInfo info = file.info();
    EXPECT_EQ(info.frameCount, clip.frames.size());
    EXPECT_EQ(info.audioLength, clip.audioFrames);
    std::vector<uint8_t> buffer(size_t(s.width) * s.height * 4);
    for (uint32_t i = 0; exact && i < clip.frames.size(); ++i) {
        ImageFrameRequest request = FrameRequest(i, FORMAT_ID_RGB24, s.width, s.height, buffer);
        ASSERT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << "frame " << i;
        EXPECT_EQ(memcmp(buffer.data(), clip.frames[i].data(), FrameBytes(s)), 0) << i;
    }
    if (clip.audioFrames > 0) {
        const std::vector<uint8_t> sent = TestSamples(s, 0, clip.audioFrames);
        std::vector<uint8_t> samples(sent.size());
        AudioSamplesRequest request = SamplesRequest(0, clip.audioFrames, s.audioId, samples);
        EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);
        EXPECT_EQ(request.samplesDelivered, clip.audioFrames);
        EXPECT_EQ(samples, sent);
    }
}

using Interop = WriterTest;

// Audio after every frame, after frames from the fourth on (the first slots stay unfilled JUNK
// ahead of the first indexed chunk), or none although the file has an audio stream.
TEST_F(Interop, UncompressedFilesInEveryLayout) {
    struct Case {
        bool audio;
        uint32_t padding;
        int32_t offset;
        uint32_t audioFrom;  // 12: no samples at all
    } cases[] = {{false, 0, 0, 0},   {false, 512, 0, 0}, {false, 2048, 0, 0}, {true, 0, 0, 0},
                 {true, 0, 1, 0},    {true, 512, 0, 0},  {true, 512, 1, 0},   {true, 2048, 0, 0},
                 {true, 2048, 1, 0}, {true, 0, 0, 3},    {true, 0, 0, 12}};
    for (const Case& c : cases) {
        WriterSetup s{.padding = c.padding, .offset = c.offset, .frames = 12, .audio = c.audio};
        s.sampleRate = 48000;
        const std::string name = "dib-" + std::to_string(c.audio) + "-" +
                                 std::to_string(c.padding) + "-" + std::to_string(c.offset) + "-" +
                                 std::to_string(c.audioFrom);
        SCOPED_TRACE(name);
        const Clip clip =
            WriteClip(s, dir.file(name + ".avi"), 12, c.audio ? 1920 : 0, c.audioFrom);
        ExpectValidAvi(clip.path);
        ExpectSameBytes(Decoded(clip.path, "-map 0:v -f rawvideo -pix_fmt bgr24"), clip.topDown(s));
        EXPECT_EQ(clip.audioFrames > 0, c.audio && c.audioFrom < 12);
        if (clip.audioFrames > 0) {
            ExpectSameBytes(Decoded(clip.path, "-map 0:a -f s16le"),
                            TestSamples(s, 0, clip.audioFrames));
        }
        ExpectReadBack(clip, s, true);
    }
}

TEST_F(Interop, HostFramesInOtherLayouts) {
    const WriterSetup s{.frames = 2};
    const std::string path = dir.file("layouts.avi");
    MessageRecorder messages;
    void* handle = OpenWriter(s, path);
    auto rgb32 = TestFrame(s, 0);
    std::string expected;
    for (size_t pixel = 0; pixel < size_t(s.width) * s.height; ++pixel) {
        expected.append(reinterpret_cast<const char*>(&rgb32[4 * pixel]), 3);
    }
    ASSERT_TRUE(WriteFrame(handle, s, rgb32, FORMAT_ID_RGB32));
    auto rgb16 = TestFrame(s, 1);
    ASSERT_TRUE(WriteFrame(handle, s, rgb16, FORMAT_ID_RGB16));  // refused 16 -> 24: as it is
    EXPECT_EQ(messages.shown().size(), 1u);
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    const std::string b = ReadBytes(path);
    EXPECT_EQ(b.compare(512 + 8, expected.size(), expected), 0);
    EXPECT_EQ(
        b.compare(512 + 8 + 2304 + 8, 2304, reinterpret_cast<const char*>(rgb16.data()), 2304), 0);
    ExpectValidAvi(path);
}

struct Encoder {
    const char* handler;
    double psnrFloor;  // 0: lossless, frames come back exactly
    int width = 64;    // DV takes only its own frame sizes (and samples chroma 4:1:1 at 720x480)
    int height = 48;
};

void PrintTo(const Encoder& encoder, std::ostream* out) {
    *out << encoder.handler;
}

class Encoders : public WriterTest, public testing::WithParamInterface<Encoder> {};

TEST_P(Encoders, WrittenFilesDecodeAsWritten) {
    const Encoder encoder = GetParam();
    const FOURCC handler =
        mmioFOURCC(encoder.handler[0], encoder.handler[1], encoder.handler[2], encoder.handler[3]);
    if (!vfw::Compressor(handler, ICMODE_COMPRESS)) {
        GTEST_SKIP() << "no " << encoder.handler << " compressor installed";
    }
    for (uint32_t padding : {0u, 512u}) {
        WriterSetup s{.handler = handler, .width = encoder.width, .height = encoder.height};
        s.padding = padding;
        s.frames = 10;
        s.audio = padding != 0;
        s.sampleRate = 48000;
        s.smooth = true;
        const std::string path =
            dir.file(std::string(encoder.handler) + std::to_string(padding) + ".avi");
        SCOPED_TRACE(path);
        const Clip clip = WriteClip(s, path, s.frames, s.audio ? 1920 : 0);
        ExpectValidAvi(path);
        const std::string decoded = Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24");
        if (encoder.psnrFloor == 0) {
            ExpectSameBytes(decoded, clip.topDown(s));
        } else {
            EXPECT_GE(Psnr(decoded, clip.topDown(s)), encoder.psnrFloor);
        }
        if (s.audio) {
            ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"),
                            TestSamples(s, 0, clip.audioFrames));
        }
        ExpectReadBack(clip, s, encoder.psnrFloor == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CompressorLayer, Encoders,
    // Every compressor the layer offers; the other codes of the same codecs decode only.
    testing::Values(Encoder{"MSVC", 24}, Encoder{"MJPG", 30}, Encoder{"CVID", 22},
                    Encoder{"HFYU", 0}, Encoder{"FFV1", 0}, Encoder{"ZMBV", 0}, Encoder{"MPNG", 0},
                    Encoder{"XVID", 28}, Encoder{"ULRG", 0}, Encoder{"ULY2", 28},
                    Encoder{"dvsd", 25, 720, 480}),
    [](const testing::TestParamInfo<Encoder>& info) { return std::string(info.param.handler); });

// FFV1 is written as version 3 in slices that decoders share among their threads, as ffmpeg
// reports them; frames too small for slices 16 pixels on a side keep a coarser grid. ffmpeg
// decodes them on two slice threads exactly.
TEST_F(Interop, Ffv1IsWrittenInSlices) {
    struct Case {
        int32_t width;
        int32_t height;
        const char* grid;
    } cases[] = {{2, 2, "slices:1x1"}, {64, 48, "slices:2x2"}, {641, 479, "slices:4x4"}};
    for (const Case& c : cases) {
        WriterSetup s{.handler = FourCC("FFV1"), .width = c.width, .height = c.height};
        const std::string path = dir.file("ffv1-" + std::to_string(c.width) + ".avi");
        SCOPED_TRACE(path);
        const Clip clip = WriteClip(s, path, s.frames);
        const CommandResult report =
            test::Run("ffmpeg -nostdin -debug pict -i '" + path + "' -frames:v 1 -f null - 2>&1");
        EXPECT_NE(report.output.find("global: ver:3"), std::string::npos) << report.output;
        EXPECT_NE(report.output.find(c.grid), std::string::npos) << report.output;
        ExpectSameBytes(Decoded(path, "-threads 2 -thread_type slice -f rawvideo -pix_fmt bgr24"),
                        clip.topDown(s));
    }
}

}  // namespace
}  // namespace zedadu::test
