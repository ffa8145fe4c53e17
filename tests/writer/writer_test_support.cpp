#include "tests/writer/writer_test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system/system.h"
#include "plugin/plugin.h"

namespace zedadu::test {

void WriterTest::SetUp() {
    SetHostExecutablePathForTesting(dir.file("host").c_str());
}
void WriterTest::TearDown() {
    SetHostExecutablePathForTesting(nullptr);
}

OpenRequest::OpenRequest(const WriterSetup& s, const std::string& path) {
    snprintf(name, sizeof name, "%s", path.c_str());
    request.fileName = name;
    request.options = s.options;
    request.videoFrameCount = s.frames;
    request.hasAudio = s.audio;
    ImageFormatStruct& video = request.video;
    video.size = sizeof video;
    video.width = s.width;
    video.height = s.height;
    snprintf(video.formatId, sizeof video.formatId, "%s", s.videoId);
    video.rate = s.rate;
    video.scale = s.scale;
    video.imageSize = uint32_t(s.width * s.height * 3);
    video.flags = 0x10000002;
    auto* block = static_cast<CompressionSettings*>(calloc(1, sizeof(CompressionSettings)));
    block->headerSize = kCompressionSettingsHeaderSize;
    block->fccHandler = s.handler;
    block->quality = s.quality;
    block->paddingSize = s.padding;
    block->keyFrameRate = s.keyFrameRate;
    block->dataRate = s.dataRate;
    block->offsetAudioAndVideo = s.offset;
    video.settingsBlock = block;
    video.settingsBlockSize = kCompressionSettingsHeaderSize;
    AudioFormatRecord& audio = request.audio;
    audio.size = sizeof audio;
    audio.channels = s.channels;
    snprintf(audio.formatId, sizeof audio.formatId, "%s", s.audioId);
    audio.sampleRate = s.sampleRate;
    audio.frameBytes = s.channels * (strcmp(s.audioId, FORMAT_ID_PCM16) == 0 ? 2 : 1);
}

OpenRequest::~OpenRequest() {
    free(request.video.settingsBlock);
}

void* OpenWriter(const WriterSetup& setup, const std::string& path) {
    OpenRequest open(setup, path);
    void* handle = nullptr;
    return AVFILE_OpenFileForWrite(&handle, &open.request) ? handle : nullptr;
}

uint32_t FrameBytes(const WriterSetup& s) {
    const uint32_t bits = strcmp(s.videoId, FORMAT_ID_RGB32) == 0   ? 32
                          : strcmp(s.videoId, FORMAT_ID_RGB16) == 0 ? 16
                                                                    : 24;
    return (bits * uint32_t(s.width) + 31) / 32 * 4 * uint32_t(s.height);
}

std::vector<uint8_t> TestFrame(const WriterSetup& s, uint32_t index) {
    std::vector<uint8_t> frame(size_t(s.width) * s.height * 4);
    if (!s.smooth) {
        for (size_t i = 0; i < frame.size(); ++i) {
            frame[i] = uint8_t((i * 7 + index * 31 + (i / 97) * 13) & 0xFF);
        }
        return frame;
    }
    const uint32_t row = (uint32_t(s.width) * 3 + 3) / 4 * 4;
    for (int32_t y = 0; y < s.height; ++y) {
        for (int32_t x = 0; x < s.width; ++x) {
            uint8_t* pixel = &frame[size_t(y) * row + size_t(x) * 3];
            pixel[0] = uint8_t(x * 3 + index * 4);
            pixel[1] = uint8_t(y * 4 + index * 2);
            pixel[2] = uint8_t((x + y) * 2 + index);
        }
    }
    return frame;
}

bool WriteFrame(void* handle, const WriterSetup& s, std::vector<uint8_t>& pixels,
                const char* formatId) {
    VideoWriteRecord record{};
    record.pixels = pixels.data();
    record.format.size = sizeof record.format;
    record.format.width = s.width;
    record.format.height = s.height;
    snprintf(record.format.formatId, sizeof record.format.formatId, "%s",
             formatId ? formatId : s.videoId);
    return AVFILE_WriteNextVideoFrame(handle, &record) == 1;
}

std::vector<uint8_t> TestSamples(const WriterSetup& s, uint32_t first, uint32_t frames) {
    const bool wide = strcmp(s.audioId, FORMAT_ID_PCM16) == 0;
    std::vector<uint8_t> bytes(size_t(frames) * s.channels * (wide ? 2 : 1));
    for (size_t i = 0; i < size_t(frames) * s.channels; ++i) {
        const uint32_t n = uint32_t(first * s.channels + i);
        if (wide) {
            const auto value = static_cast<uint16_t>(n * 977 + 12345);
            bytes[2 * i] = uint8_t(value);
            bytes[2 * i + 1] = uint8_t(value >> 8);
        } else {
            bytes[i] = uint8_t(n * 7 + 3);
        }
    }
    return bytes;
}

bool WriteSamples(void* handle, const WriterSetup& s, std::vector<uint8_t>& samples,
                  uint32_t frames, const char* formatId) {
    AudioWriteRecord record{};
    record.size = sizeof record;
    record.sampleFrames = frames;
    record.samples = samples.data();
    record.format.size = sizeof record.format;
    record.format.channels = s.channels;
    snprintf(record.format.formatId, sizeof record.format.formatId, "%s",
             formatId ? formatId : s.audioId);
    record.format.sampleRate = s.sampleRate;
    return AVFILE_WriteNextAudioSamples(handle, &record) == 1;
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

std::string Clip::topDown(const WriterSetup& s) const {
    std::string all;
    for (const auto& frame : frames) {
        all += TopDown(frame.data(), s.width, s.height, 3);
    }
    return all;
}

Clip WriteClip(const WriterSetup& s, const std::string& path, uint32_t frames,
               uint32_t samplesPerFrame, uint32_t audioFrom) {
    Clip clip{path, {}, 0};
    void* handle = OpenWriter(s, path);
    EXPECT_NE(handle, nullptr) << path;
    if (!handle) {
        return clip;
    }
    uint32_t sent = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        clip.frames.push_back(TestFrame(s, i));
        auto pixels = clip.frames.back();
        EXPECT_TRUE(WriteFrame(handle, s, pixels)) << i;
        if (samplesPerFrame && i >= audioFrom) {
            auto samples = TestSamples(s, sent, samplesPerFrame);
            EXPECT_TRUE(WriteSamples(handle, s, samples, samplesPerFrame)) << i;
            sent += samplesPerFrame;
        }
    }
    clip.audioFrames = WritingOf(handle).audioLength;
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    return clip;
}

void ExpectOurReaderReads(const WriterSetup& s, const std::string& path, uint32_t frames) {
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const ReadingFileInfo info = file.info();
    EXPECT_GE(info.frameCount, frames);
    std::vector<uint8_t> buffer(size_t(s.width) * s.height * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        ImageFrameRequest request = FrameRequest(i, FORMAT_ID_RGB24, s.width, s.height, buffer);
        ASSERT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << i;
        EXPECT_EQ(memcmp(buffer.data(), TestFrame(s, i).data(), FrameBytes(s)), 0) << i;
    }
    if (s.audio) {
        const std::vector<uint8_t> sent = TestSamples(s, 0, info.audioLength);
        std::vector<uint8_t> samples(sent.size());
        AudioSamplesRequest request = SamplesRequest(0, info.audioLength, s.audioId, samples);
        EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);
        EXPECT_EQ(samples, sent);
    }
}

}  // namespace zedadu::test
