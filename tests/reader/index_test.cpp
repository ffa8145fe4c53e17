// How the legacy index is found, split by stream and placed in the file, read back through the
// entry points with uncompressed frames whose bytes name their frame.
#include <gtest/gtest.h>

#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

constexpr int32_t kWidth = 4, kHeight = 2;  // 24-bit rows of 12 bytes: no padding
constexpr size_t kImageBytes = kWidth * kHeight * 3;

AviSpec Uncompressed(uint32_t frames, std::vector<ChunkSpec> leading = {}) {
    AviSpec fixture;
    fixture.totalFrames = frames;
    fixture.streams = {{FourCC("vids"), FourCC("DIB "), frames, BitmapFormat(kWidth, kHeight, 24)}};
    fixture.chunks = std::move(leading);
    for (uint32_t i = 0; i < frames; ++i) {
        fixture.chunks.push_back({FourCC("00db"), std::string(kImageBytes, char('a' + i))});
    }
    return fixture;
}

// Every frame reads back as the bytes of its own chunk.
void ExpectFramesReadBack(const std::string& path, uint32_t frames) {
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    ASSERT_EQ(file.info().frameCount, frames);
    std::vector<uint8_t> buffer(kImageBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        ImageFrameRequest request = FrameRequest(i, FORMAT_ID_RGB24, kWidth, kHeight, buffer);
        ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request)) << "frame " << i;
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()),
                  std::string(kImageBytes, char('a' + i)))
            << "frame " << i;
    }
}

TEST(LegacyIndex, OffsetsCountFromTheMovieListOrTheFileStartWhateverPrecedesTheFirstChunk) {
    ScratchDirectory directory;
    const std::string path = directory.file("index.avi");
    const ChunkSpec reservedSlot{FourCC("JUNK"), std::string(6360, '\0'), 0, false};
    const ChunkSpec smallJunk{FourCC("JUNK"), std::string(4, '\0'), 0, false};
    const ChunkSpec leadingList{FourCC("JUNK"), std::string(5000, '\0'), 0, false, FourCC("rec ")};
    const std::vector<std::vector<ChunkSpec>> leads = {
        {}, {smallJunk}, {reservedSlot}, {leadingList}};
    for (const IndexOrigin origin : {IndexOrigin::MovieListType, IndexOrigin::FileStart}) {
        for (const std::vector<ChunkSpec>& lead : leads) {
            AviSpec fixture = Uncompressed(5, lead);
            fixture.origin = origin;
            WriteBytes(path, fixture.build());
            SCOPED_TRACE(testing::Message()
                         << "origin " << int(origin) << ", leading chunks " << lead.size() << " of "
                         << (lead.empty() ? 0 : lead[0].data.size()));
            ExpectFramesReadBack(path, 5);
        }
    }
}

TEST(LegacyIndex, AnIndexTheFileConfirmsUnderNoOriginKeepsTheFirstEntryRule) {
    ScratchDirectory directory;
    const std::string path = directory.file("index.avi");
    AviSpec fixture = Uncompressed(3, {{FourCC("JUNK"), std::string(6000, '\0'), 0, false}});
    std::vector<IndexEntry> entries = fixture.entries();
    for (IndexEntry& entry : entries) {
        entry.offset += 2;  // no chunk header lies where any reading puts one
    }
    WriteBytes(path, fixture.build(entries));
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const std::vector<IndexEntry>& video = ReadingOf(file.handle()).index.video;
    // The first entry is taken to be the first chunk of the movie list.
    EXPECT_EQ(video[0].offset, fixture.movieListType() + 12);
    EXPECT_EQ(video[1].offset - video[0].offset, 8 + kImageBytes);
}

// The headers claim 10 frames where the index holds 3, and a third stream has chunks of its own.
TEST(LegacyIndex, StreamsAndLengthsFollowTheIndex) {
    ScratchDirectory directory;
    const std::string path = directory.file("streams.avi");
    AviSpec fixture = Uncompressed(3);
    fixture.totalFrames = fixture.streams[0].length = 10;
    fixture.streams.push_back({FourCC("auds"), 0, 6, WaveFormat(1, 8000, 8)});
    fixture.streams.push_back({FourCC("txts"), 0, 1, "text"});
    fixture.chunks.insert(fixture.chunks.begin() + 1, 3, {FourCC("01wb"), "ab"});
    fixture.chunks.push_back({FourCC("02tx"), std::string(3000, 't')});
    WriteBytes(path, fixture.build());
    ExpectFramesReadBack(path, 3);
    ReadingFile file(path);
    EXPECT_EQ(file.info().audioLength, 6u);
    std::vector<uint8_t> samples(6);
    AudioSamplesRequest request = SamplesRequest(0, 6, FORMAT_ID_PCM8, samples);
    EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);
    EXPECT_EQ(std::string(samples.begin(), samples.end()), "ababab");
    const reader::StreamIndex& index = ReadingOf(file.handle()).index;
    EXPECT_EQ(index.maxVideoChunk, int32_t(kImageBytes));
    EXPECT_EQ(index.maxAudioChunk, 2);
    EXPECT_EQ(index.readSpan, 3000) << "the largest chunk of any stream";
}

// A complete index in a file whose sizes hold is the file's index: chunks it leaves out, and
// another file joined behind it (a second 'AVI ' form), are not read.
TEST(LegacyIndex, ACompleteIndexIsTheFilesIndexWhateverFollowsIt) {
    ScratchDirectory directory;
    const std::string path = directory.file("joined.avi");
    const std::string ten = Uncompressed(10).build();
    WriteBytes(path, ten + ten);
    ExpectFramesReadBack(path, 10);
    const AviSpec fixture = Uncompressed(10);
    std::vector<IndexEntry> entries = fixture.entries();
    entries.resize(8);
    WriteBytes(path, fixture.build(entries));
    ExpectFramesReadBack(path, 8);
}

// One read may cover two video chunks and what lies between them once there are four or more.
TEST(LegacyIndex, TheReadSpanWidensToTheWidestStepBetweenVideoChunks) {
    ScratchDirectory directory;
    const std::string path = directory.file("gap.avi");
    const ChunkSpec gap{FourCC("JUNK"), std::string(5000, '\0'), 0, false};
    for (const uint32_t frames : {3u, 4u}) {
        AviSpec fixture = Uncompressed(frames);
        fixture.chunks.insert(fixture.chunks.begin() + 2, gap);
        WriteBytes(path, fixture.build());
        ExpectFramesReadBack(path, frames);
        ReadingFile file(path);
        const int32_t step = int32_t(kImageBytes + 8 + gap.data.size() + 8);
        EXPECT_EQ(ReadingOf(file.handle()).index.readSpan,
                  frames == 4 ? step : int32_t(kImageBytes))
            << frames;
    }
}

}  // namespace
}  // namespace zedadu::test
