// Files written through the entry points, checked by tools nobody here wrote (Debian's ffprobe
// and ffmpeg) and read back through the plug-in's own reader: uncompressed video with and
// without audio, every padding and the audio offset, and each encoder the compressor layer offers.
#include <cmath>

#include "frame/avi_file_handle.h"

#include "frame/plugin.h"
#include "platform/vfw/vfw.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

// A smooth picture that moves from frame to frame, fair to lossy encoders.
std::vector<uint8_t> GradientFrame(const WriterSetup& s, uint32_t t) {
    std::vector<uint8_t> frame(size_t(s.width) * s.height * 4);
    const uint32_t row = (uint32_t(s.width) * 3 + 3) / 4 * 4;
    for (int32_t y = 0; y < s.height; ++y) {
        for (int32_t x = 0; x < s.width; ++x) {
            uint8_t* pixel = &frame[size_t(y) * row + size_t(x) * 3];
            pixel[0] = uint8_t(x * 3 + t * 4);
            pixel[1] = uint8_t(y * 4 + t * 2);
            pixel[2] = uint8_t((x + y) * 2 + t);
        }
    }
    return frame;
}

struct Written {
    std::string path;
    std::vector<std::vector<uint8_t>> frames;
    uint32_t audioFrames = 0;
};

// Frames with one block of a frame's worth of audio after each.
Written WriteClip(const WriterSetup& s, const std::string& path, bool gradient) {
    Written clip{path, {}, 0};
    void* handle = OpenWriter(s, path);
    EXPECT_NE(handle, nullptr) << path;
    if (!handle) {
        return clip;
    }
    const uint32_t perFrame = s.sampleRate * s.scale / s.rate;
    uint32_t sent = 0;
    for (uint32_t i = 0; i < s.frames; ++i) {
        clip.frames.push_back(gradient ? GradientFrame(s, i) : TestFrame(s, i));
        auto pixels = clip.frames.back();
        EXPECT_TRUE(WriteFrame(handle, s, pixels)) << i;
        if (s.audio) {
            auto samples = TestSamples(s, sent, perFrame);
            EXPECT_TRUE(WriteSamples(handle, s, samples, perFrame));
            sent += perFrame;
        }
    }
    clip.audioFrames = static_cast<AviFileHandle*>(handle)->audioLength;
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    return clip;
}

std::string TopDownFrames(const Written& clip, const WriterSetup& s) {
    std::string all;
    for (const auto& frame : clip.frames) {
        all += TopDown(frame, s.width, s.height, 3);
    }
    return all;
}

// Reads every frame and the audio back through this plug-in's reader; false when it has none.
bool ReadBack(const Written& clip, const WriterSetup& s, bool exact) {
    void* reading = nullptr;
    if (AVFILE_OpenFileForRead(&reading, clip.path.c_str()) != 1) {
        return false;
    }
    ReadingFileInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(AVFILE_GetReadingFileInfo(reading, &info), 1);
    EXPECT_EQ(info.frameCount, s.frames);
    EXPECT_EQ(info.audioLength, clip.audioFrames);
    std::vector<uint8_t> buffer(size_t(s.width) * s.height * 4);
    for (uint32_t i = 0; exact && i < s.frames; ++i) {
        ImageFrameRequest request{};
        request.size = sizeof request;
        request.frameNumber = i;
        request.buffer = buffer.data();
        request.bufferSize = uint32_t(buffer.size());
        request.requested.size = sizeof request.requested;
        request.requested.width = s.width;
        request.requested.height = s.height;
        snprintf(request.requested.formatId, sizeof request.requested.formatId, "%s",
                 FORMAT_ID_RGB24);
        if (AVFILE_ReadImageFrame(reading, &request) != 1) {
            ADD_FAILURE() << "frame " << i << " not read back";
            break;
        }
        EXPECT_EQ(memcmp(buffer.data(), clip.frames[i].data(), FrameBytes(s)), 0) << i;
    }
    if (clip.audioFrames > 0) {
        std::vector<uint8_t> samples(size_t(clip.audioFrames) * s.channels * 2);
        AudioSamplesRequest request{};
        request.size = sizeof request;
        request.sampleCount = clip.audioFrames;
        request.buffer = samples.data();
        request.bufferSize = uint32_t(samples.size());
        request.requested.size = sizeof request.requested;
        snprintf(request.requested.formatId, sizeof request.requested.formatId, "%s", s.audioId);
        EXPECT_EQ(AVFILE_ReadAudioSamples(reading, &request), 1);
        EXPECT_EQ(request.samplesDelivered, clip.audioFrames);
        samples.resize(size_t(clip.audioFrames) * s.channels *
                       (strcmp(s.audioId, FORMAT_ID_PCM16) == 0 ? 2 : 1));
        EXPECT_EQ(samples, TestSamples(s, 0, clip.audioFrames));
    }
    EXPECT_EQ(AVFILE_CloseReadingFile(reading), 1);
    return true;
}

using Interop = WriterTest;

TEST_F(Interop, UncompressedFilesInEveryLayout) {
    bool readerPresent = true;
    for (bool audio : {false, true}) {
        for (uint32_t padding : {0u, 512u, 2048u}) {
            for (int32_t offset : {0, 1}) {
                WriterSetup s;
                s.frames = 12;
                s.audio = audio;
                s.sampleRate = 48000;
                s.padding = padding;
                s.offset = offset;
                const std::string name = "dib-" + std::to_string(audio) + "-" +
                                         std::to_string(padding) + "-" + std::to_string(offset);
                SCOPED_TRACE(name);
                const Written clip = WriteClip(s, dir.file(name + ".avi"), false);
                ExpectValidAvi(clip.path);
                ExpectSameBytes(Decoded(clip.path, "-map 0:v -f rawvideo -pix_fmt bgr24"),
                                TopDownFrames(clip, s));
                if (audio) {
                    EXPECT_GT(clip.audioFrames, 0u);
                    ExpectSameBytes(Decoded(clip.path, "-map 0:a -f s16le"),
                                    TestSamples(s, 0, clip.audioFrames));
                }
                readerPresent = ReadBack(clip, s, true) && readerPresent;
            }
        }
    }
    if (!readerPresent) {
        GTEST_SKIP() << "files checked with ffmpeg; no reader to read them back with yet";
    }
}

TEST_F(Interop, HostFramesInOtherLayouts) {
    WriterSetup s;
    s.frames = 2;
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

double Psnr(const std::string& decoded, const std::string& original) {
    if (decoded.size() != original.size() || original.empty()) {
        return 0;
    }
    double squared = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        const double d = double(uint8_t(decoded[i])) - double(uint8_t(original[i]));
        squared += d * d;
    }
    const double mse = squared / double(original.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

class Encoders : public WriterTest, public testing::WithParamInterface<Encoder> {};

TEST_P(Encoders, WrittenFilesDecodeAsWritten) {
    const Encoder encoder = GetParam();
    const FOURCC handler =
        mmioFOURCC(encoder.handler[0], encoder.handler[1], encoder.handler[2], encoder.handler[3]);
    HIC probe = ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS);
    if (!probe) {
        GTEST_SKIP() << "no " << encoder.handler << " compressor installed";
    }
    ICClose(probe);
    for (uint32_t padding : {0u, 512u}) {
        WriterSetup s;
        s.handler = handler;
        s.width = encoder.width;
        s.height = encoder.height;
        s.frames = 10;
        s.audio = padding != 0;
        s.sampleRate = 48000;
        s.padding = padding;
        s.dataRate = 0;
        const std::string path =
            dir.file(std::string(encoder.handler) + std::to_string(padding) + ".avi");
        SCOPED_TRACE(path);
        const Written clip = WriteClip(s, path, true);
        ExpectValidAvi(path);
        const std::string decoded = Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24");
        const std::string original = TopDownFrames(clip, s);
        if (encoder.psnrFloor == 0) {
            ExpectSameBytes(decoded, original);
        } else {
            EXPECT_GE(Psnr(decoded, original), encoder.psnrFloor);
        }
        if (s.audio) {
            ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"),
                            TestSamples(s, 0, clip.audioFrames));
        }
        ReadBack(clip, s, encoder.psnrFloor == 0);
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

}  // namespace
}  // namespace zedadu::test
