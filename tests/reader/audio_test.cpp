// Audio sample reading: ffmpeg's PCM files read back sample-exact, as stored and widened, and the
// edges of a run: the end of the stream, the end of the index, short reads and refusals.
#include <gtest/gtest.h>

#include "platform/hostlib/hostlib.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

std::string Pattern(size_t bytes) {
    std::string pcm(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) {
        pcm[i] = char(i * 7 + i / 3);
    }
    return pcm;
}

std::vector<uint8_t> Widened(const std::string& pcm8) {
    std::vector<uint8_t> wide(2 * pcm8.size());
    ConvertAudio8To16(reinterpret_cast<int16_t*>(wide.data()),
                      reinterpret_cast<const uint8_t*>(pcm8.data()), uint32_t(pcm8.size()));
    return wide;
}

// Reads the whole stream in runs of an odd length, which cross chunk boundaries anywhere.
std::vector<uint8_t> ReadAll(const ReadingFile& file, const char* formatId, uint32_t frames,
                             uint32_t frameBytes) {
    std::vector<uint8_t> all, buffer(997 * frameBytes);
    for (uint32_t first = 0; first < frames; first += 997) {
        AudioSamplesRequest request = SamplesRequest(first, 997, formatId, buffer);
        EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);
        const uint32_t delivered = std::min(997u, frames - first);
        EXPECT_EQ(request.samplesDelivered, delivered);
        EXPECT_STREQ(request.result.formatId, formatId);
        all.insert(all.end(), buffer.begin(), buffer.begin() + delivered * frameBytes);
    }
    return all;
}

TEST(AudioSamples, PcmAsFfmpegWritesItReadsBackSampleExact) {
    ScratchDirectory directory;
    const std::string raw = directory.file("audio.raw"), path = directory.file("audio.avi");
    for (const int bits : {8, 16}) {
        for (const int channels : {1, 2}) {
            for (const uint32_t rate : {22050u, 44100u, 48000u}) {
                const uint32_t frames = rate * 7 / 10, frameBytes = channels * bits / 8;
                const std::string pcm = Pattern(frames * frameBytes);
                WriteBytes(raw, pcm);
                const std::string format = bits == 8 ? "u8" : "s16le";
                ASSERT_TRUE(Ffmpeg(
                    "-f lavfi -i testsrc=size=16x16:rate=10:duration=1 -f " + format + " -ar " +
                    std::to_string(rate) + " -ac " + std::to_string(channels) + " -i " + raw +
                    " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_" + format + " " + path));
                SCOPED_TRACE(testing::Message()
                             << bits << " bits, " << channels << " channels, " << rate);
                ReadingFile file(path);
                ASSERT_TRUE(file.opened());
                const ReadingFileInfo info = file.info();
                ASSERT_EQ(info.audioLength, frames);
                ASSERT_EQ(info.audioFormatCount, bits == 8 ? 2u : 1u);
                const char* stored = bits == 8 ? FORMAT_ID_PCM8 : FORMAT_ID_PCM16;
                EXPECT_EQ(ReadAll(file, stored, frames, frameBytes),
                          std::vector<uint8_t>(pcm.begin(), pcm.end()));
                if (bits == 8) {
                    EXPECT_EQ(info.audioFormats[1].frameBytes, 2u * channels);
                    EXPECT_EQ(ReadAll(file, FORMAT_ID_PCM16, frames, 2 * frameBytes), Widened(pcm));
                }
            }
        }
    }
}

class AudioEdges : public testing::Test {
  protected:
    // 8-bit stereo at 22050 Hz in three chunks of 10, 20 and 30 frames; the header may claim more
    // frames than the index holds.
    AviSpec Fixture(uint32_t headerLength = 60) {
        AviSpec fixture;
        fixture.streams = {{FourCC("auds"), 0, headerLength, WaveFormat(2, 22050, 8)}};
        for (size_t stored = 0; const size_t frames : {10, 20, 30}) {
            fixture.chunks.push_back({FourCC("00wb"), pcm.substr(stored, 2 * frames)});
            stored += 2 * frames;
        }
        return fixture;
    }
    void Open(const std::string& bytes) {
        WriteBytes(path, bytes);
        file = std::make_unique<ReadingFile>(path);
        ASSERT_TRUE(file->opened());
    }
    AudioSamplesRequest Read(uint32_t first, uint32_t count, const char* formatId,
                             size_t bytes = 400) {
        buffer.assign(bytes, 0xEE);
        AudioSamplesRequest request = SamplesRequest(first, count, formatId, buffer);
        result = AVFILE_ReadAudioSamples(file->handle(), &request);
        return request;
    }
    std::vector<uint8_t> Bytes(size_t from, size_t count) {
        return std::vector<uint8_t>(pcm.begin() + from, pcm.begin() + from + count);
    }
    std::vector<uint8_t> Delivered(size_t from, size_t count) {
        return std::vector<uint8_t>(buffer.begin() + from, buffer.begin() + from + count);
    }

    ScratchDirectory directory;
    std::string path = directory.file("edges.avi");
    std::string pcm = Pattern(120);
    std::unique_ptr<ReadingFile> file;
    std::vector<uint8_t> buffer;
    int32_t result = 0;
};

TEST_F(AudioEdges, RunsAcrossChunksAndPastTheEnd) {
    Open(Fixture().build());
    const ReadingFileInfo info = file->info();
    EXPECT_STREQ(info.audioFormats[0].description, "22KHz 8bit Stereo");
    EXPECT_EQ(info.audioFormats[0].frameBytes, 2u);

    AudioSamplesRequest request = Read(5, 30, FORMAT_ID_PCM8);  // tail, whole, head
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Delivered(0, 60), Bytes(10, 60));
    request = Read(50, 20, FORMAT_ID_PCM8, 40);  // crosses the end: 8-bit silence is 128
    EXPECT_EQ(request.samplesDelivered, 10u);
    EXPECT_EQ(Delivered(0, 20), Bytes(100, 20));
    EXPECT_EQ(Delivered(20, 20), std::vector<uint8_t>(20, 128));
    request = Read(61, 5, FORMAT_ID_PCM16, 20);  // past the end: all silence, the file's layout
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.samplesDelivered, 5u);
    EXPECT_STREQ(request.result.formatId, FORMAT_ID_PCM8);
    EXPECT_EQ(buffer, std::vector<uint8_t>(20, 0));
    request = Read(60, 5, FORMAT_ID_PCM8, 10);  // at the end: silence, nothing delivered
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.samplesDelivered, 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(10, 128));
    request = Read(8, 4, FORMAT_ID_PCM16, 16);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.result.frameBytes, 4u);
    EXPECT_EQ(buffer, Widened(pcm.substr(16, 8)));

    Read(0, 8, FORMAT_ID_PCM16, 31);  // one byte short
    EXPECT_EQ(result, 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(31, 0xEE));
    Read(0, 8, FORMAT_ID_YUY2, 400);
    EXPECT_EQ(result, 0);
    request = Read(0, 8, FORMAT_ID_PCM8, 400);
    request.size = sizeof request - 1;
    EXPECT_EQ(AVFILE_ReadAudioSamples(file->handle(), &request), 0);
}

TEST_F(AudioEdges, FramesTheIndexDoesNotCoverAreSilence) {
    Open(Fixture(100).build());
    AudioSamplesRequest request = Read(55, 10, FORMAT_ID_PCM8, 20);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.samplesDelivered, 5u);
    EXPECT_EQ(Delivered(0, 10), Bytes(110, 10));
    EXPECT_EQ(Delivered(10, 10), std::vector<uint8_t>(10, 128));
    request = Read(70, 10, FORMAT_ID_PCM16, 40);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.samplesDelivered, 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(40, 0));
}

// The third entry places its chunk where only 10 of its 30 frames lie before the end.
TEST_F(AudioEdges, AShortReadCountsTheChunksCompletedBeforeIt) {
    const AviSpec fixture = Fixture();
    std::vector<IndexEntry> entries = fixture.entries();
    entries[2].offset = uint32_t(fixture.build().size()) - 20 - fixture.movieListType();
    Open(fixture.build(entries));
    AudioSamplesRequest request = Read(5, 40, FORMAT_ID_PCM8);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(request.samplesDelivered, 25u);
    EXPECT_EQ(Delivered(0, 50), Bytes(10, 50));
}

}  // namespace
}  // namespace zedadu::test
