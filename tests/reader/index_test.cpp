// How the legacy index is found, split by stream and placed in the file, read back through the
// entry points with uncompressed frames whose bytes name their frame.
#include <gtest/gtest.h>

#include "frame/avi_file_handle.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

constexpr int32_t kWidth = 4, kHeight = 2;  // 24-bit rows of 12 bytes: no padding
constexpr size_t kImageBytes = kWidth * kHeight * 3;

AviSpec Uncompressed(uint32_t frames, std::vector<ChunkSpec> leading = {}) {
    AviSpec spec;
    spec.totalFrames = frames;
    spec.streams = {{FourCC("vids"), FourCC("DIB "), frames, BitmapFormat(kWidth, kHeight, 24)}};
    spec.chunks = std::move(leading);
    for (uint32_t i = 0; i < frames; ++i) {
        spec.chunks.push_back({FourCC("00db"), std::string(kImageBytes, char('a' + i))});
    }
    return spec;
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
            AviSpec spec = Uncompressed(5, lead);
            spec.origin = origin;
            WriteBytes(path, spec.build());
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
    AviSpec spec = Uncompressed(3, {{FourCC("JUNK"), std::string(6000, '\0'), 0, false}});
    std::vector<IndexEntry> entries = spec.entries();
    for (IndexEntry& entry : entries) {
        entry.offset += 2;  // no chunk header lies where any reading puts one
    }
    WriteBytes(path, spec.build(entries));
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const auto* handle = static_cast<const AviFileHandle*>(file.handle());
    // The first entry is taken to be the first chunk of the movie list.
    EXPECT_EQ(handle->videoIndex[0].offset, spec.movieListType() + 12);
    EXPECT_EQ(handle->videoIndex[1].offset - handle->videoIndex[0].offset, 8 + kImageBytes);
}

TEST(LegacyIndex, StreamsLengthsAndReadSpanFollowTheIndex) {
    ScratchDirectory directory;
    const std::string path = directory.file("streams.avi");
    AviSpec spec = Uncompressed(0);
    spec.totalFrames = 10;
    spec.streams[0].length = 10;  // the headers claim more frames than the index holds
    spec.streams.push_back({FourCC("auds"), 0, 6, WaveFormat(1, 8000, 8)});
    spec.streams.push_back({FourCC("txts"), 0, 1, "text"});
    for (uint32_t i = 0; i < 3; ++i) {
        spec.chunks.push_back({FourCC("00db"), std::string(kImageBytes, char('a' + i))});
        spec.chunks.push_back({FourCC("01wb"), "ab"});
    }
    spec.chunks.push_back({FourCC("02tx"), std::string(3000, 't')});
    WriteBytes(path, spec.build());
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const auto* handle = static_cast<const AviFileHandle*>(file.handle());
    EXPECT_EQ(file.info().frameCount, 3u);
    EXPECT_EQ(handle->audioIndex.size(), 3u);
    EXPECT_EQ(handle->maxVideoChunk, int32_t(kImageBytes));
    EXPECT_EQ(handle->maxAudioChunk, 2);
    EXPECT_EQ(handle->readSpan, 3000);  // the text chunk only widens the read span
    ExpectFramesReadBack(path, 3);

    spec.chunks.erase(spec.chunks.end() - 1);  // four video chunks: the widest gap counts
    spec.chunks.push_back({FourCC("00db"), std::string(kImageBytes, 'd')});
    spec.chunks.insert(spec.chunks.end() - 1, {FourCC("JUNK"), std::string(1000, '\0'), 0, false});
    WriteBytes(path, spec.build());
    ReadingFile four(path);
    EXPECT_EQ(static_cast<const AviFileHandle*>(four.handle())->readSpan,
              int32_t(kImageBytes + (8 + 2) + (8 + 1000) + 8));

    spec.withIndex = false;
    WriteBytes(path, spec.build());
    EXPECT_FALSE(ReadingFile(path).opened());
}

}  // namespace
}  // namespace zedadu::test
