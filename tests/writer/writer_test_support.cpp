#include "tests/writer/writer_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "frame/plugin.h"
#include "platform/system/system.h"

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
    std::vector<uint8_t> frame(size_t(s.width) * s.height * 4);  // room for any layout
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = uint8_t((i * 7 + index * 31 + (i / 97) * 13) & 0xFF);
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

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t Le32(const std::string& bytes, size_t at) {
    if (at + 4 > bytes.size()) {
        ADD_FAILURE() << "read past the end at " << at;
        return 0;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::string Id(const std::string& bytes, size_t at) {
    return at + 4 <= bytes.size() ? bytes.substr(at, 4) : std::string();
}

uint32_t MovieListAt(const std::string& bytes) {
    // The header list starts at 12 and ends where the movie list begins.
    return 20 + Le32(bytes, 16);
}

std::vector<IndexEntry> IndexOf(const std::string& bytes) {
    const uint32_t movie = MovieListAt(bytes);
    const size_t index = size_t(movie) + 8 + Le32(bytes, movie + 4);
    std::vector<IndexEntry> entries;
    if (Id(bytes, index) != "idx1") {
        ADD_FAILURE() << "no idx1 at " << index;
        return entries;
    }
    for (size_t at = index + 8; at + 16 <= index + 8 + Le32(bytes, index + 4); at += 16) {
        entries.push_back(
            {Le32(bytes, at), Le32(bytes, at + 4), Le32(bytes, at + 8), Le32(bytes, at + 12)});
    }
    return entries;
}

CommandResult Run(const std::string& command) {
    CommandResult result{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    result.status = pclose(pipe);
    return result;
}

void ExpectValidAvi(const std::string& path) {
    const CommandResult probe = Run("ffprobe -v error '" + path + "'");
    EXPECT_EQ(probe.status, 0) << path;
    EXPECT_EQ(probe.output, "") << path;
    const CommandResult decode = Run("ffmpeg -nostdin -v error -i '" + path + "' -f null -");
    EXPECT_EQ(decode.status, 0) << path;
    EXPECT_EQ(decode.output, "") << path;
}

std::string Decoded(const std::string& path, const std::string& output) {
    const std::string target = path + ".decoded";
    const CommandResult result =
        Run("ffmpeg -nostdin -v error -y -i '" + path + "' " + output + " '" + target + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    std::string bytes = ReadBytes(target);
    remove(target.c_str());
    return bytes;
}

void ExpectSameBytes(const std::string& actual, const std::string& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    const size_t common = std::min(actual.size(), expected.size());
    const auto difference =
        std::mismatch(actual.begin(), actual.begin() + long(common), expected.begin());
    EXPECT_EQ(size_t(difference.first - actual.begin()), common) << "first differing byte";
}

void ExpectSameBytes(const std::string& actual, const std::vector<uint8_t>& expected) {
    ExpectSameBytes(actual, std::string(expected.begin(), expected.end()));
}

std::string TopDown(const std::vector<uint8_t>& frame, uint32_t width, uint32_t height,
                    uint32_t bytesPerPixel) {
    const uint32_t row = (width * bytesPerPixel + 3) / 4 * 4;
    std::string rows;
    for (uint32_t y = height; y-- > 0;) {
        rows.append(reinterpret_cast<const char*>(frame.data()) + size_t(y) * row,
                    width * bytesPerPixel);
    }
    return rows;
}

}  // namespace zedadu::test
