// Files that claim more than they hold: each class of hostile input opens or fails cleanly, and
// nothing is sized from a claim the file cannot back.
#include <gtest/gtest.h>

#include "frame/avi_file_handle.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

AviSpec VideoAndAudio() {
    AviSpec fixture;
    fixture.totalFrames = 3;
    fixture.streams = {{FourCC("vids"), FourCC("DIB "), 3, BitmapFormat(4, 2, 24)},
                       {FourCC("auds"), 0, 30, WaveFormat(1, 8000, 8)}};
    for (int i = 0; i < 3; ++i) {
        fixture.chunks.push_back({FourCC("00db"), std::string(24, char('a' + i))});
        fixture.chunks.push_back({FourCC("01wb"), std::string(10, char(i))});
    }
    return fixture;
}

const AviFileHandle& Handle(const ReadingFile& file) {
    return *static_cast<const AviFileHandle*>(file.handle());
}

bool ReadsFrame(const ReadingFile& file, uint32_t frame) {
    std::vector<uint8_t> buffer(64);
    ImageFrameRequest request = FrameRequest(frame, FORMAT_ID_RGB32, 4, 2, buffer);
    return AVFILE_ReadImageFrame(file.handle(), &request) == 1;
}

class HostileFile : public testing::Test {
  protected:
    ScratchDirectory directory;
    std::string path = directory.file("hostile.avi");
};

TEST_F(HostileFile, IndexClaimingMoreThanTheFileHoldsIsReadAsFarAsTheFileGoes) {
    std::string bytes = VideoAndAudio().build();
    bytes.replace(bytes.rfind("idx1") + 4, 4, Le32(0xFFFFFFF0));
    WriteBytes(path, bytes);
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    EXPECT_EQ(file.info().frameCount, 3u);
    EXPECT_TRUE(ReadsFrame(file, 2));
}

TEST_F(HostileFile, ChunkSizesBeyondTheFileSizeNoBuffer) {
    AviSpec fixture = VideoAndAudio();
    std::vector<IndexEntry> entries = fixture.entries();
    entries[2].size = 0xFFFFFFF0;  // video frame 1
    entries[3].size = 0xFFFFFFF0;  // an audio chunk: the two largest would wrap a 32-bit sum
    WriteBytes(path, fixture.build(entries));
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const int32_t fileSize = int32_t(fixture.build(entries).size());
    EXPECT_EQ(Handle(file).readSpan, fileSize);
    EXPECT_EQ(Handle(file).maxAudioChunk, fileSize);
    EXPECT_TRUE(ReadsFrame(file, 0));
    EXPECT_TRUE(ReadsFrame(file, 1));  // an uncompressed read never exceeds the image size
    std::vector<uint8_t> buffer(100);
    AudioSamplesRequest request = SamplesRequest(0, 20, FORMAT_ID_PCM8, buffer);
    EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);

    InstalledFakeDecoder fake(FourCC("FAKE"));  // a compressed chunk is read whole, or not at all
    fixture.streams[0].format = BitmapFormat(4, 2, 24, FourCC("FAKE"));
    WriteBytes(path, fixture.build(entries));
    ReadingFile compressed(path);
    EXPECT_TRUE(ReadsFrame(compressed, 0));
    EXPECT_FALSE(ReadsFrame(compressed, 1));
}

TEST_F(HostileFile, BitmapSizesThatOverflowOrRunBackwardsFailTheOpen) {
    AviSpec fixture = VideoAndAudio();
    for (const auto& [width, height, bits] :
         {std::tuple{65536, 65536, 32}, std::tuple{-4, 2, 24}, std::tuple{0x40000000, 1, 24}}) {
        fixture.streams[0].format = BitmapFormat(width, height, uint16_t(bits));
        WriteBytes(path, fixture.build());
        EXPECT_FALSE(ReadingFile(path).opened()) << width << " x " << height;
    }
    fixture.streams[0].format = BitmapFormat(4, -2, 24, FourCC("FAKE"));  // top-down compressed
    WriteBytes(path, fixture.build());
    EXPECT_FALSE(ReadingFile(path).opened());
    fixture.streams[0].format = BitmapFormat(0, 2, 24);  // opens; its frames fail
    WriteBytes(path, fixture.build());
    ReadingFile empty(path);
    ASSERT_TRUE(empty.opened());
    EXPECT_FALSE(ReadsFrame(empty, 0));
}

TEST_F(HostileFile, EveryTruncationOpensOrFailsCleanly) {
    const std::string bytes = VideoAndAudio().build();
    std::vector<uint8_t> buffer(64);
    for (size_t length = 0; length < bytes.size(); ++length) {
        WriteBytes(path, bytes.substr(0, length));
        ReadingFile file(path);
        if (file.opened()) {
            ReadsFrame(file, 0);
            AudioSamplesRequest request = SamplesRequest(0, 30, FORMAT_ID_PCM16, buffer);
            AVFILE_ReadAudioSamples(file.handle(), &request);
        }
    }
}

TEST_F(HostileFile, AudioWithoutWholeBytePcmFramesIsRefused) {
    AviSpec fixture = VideoAndAudio();
    std::vector<uint8_t> buffer(200);
    for (const uint16_t bits : {0, 4, 24}) {
        fixture.streams[1].format = WaveFormat(2, 8000, bits);
        WriteBytes(path, fixture.build());
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        AudioSamplesRequest request = SamplesRequest(0, 3, FORMAT_ID_PCM8, buffer);
        EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 0) << bits << " bits";
    }
}

TEST_F(HostileFile, EmptyStreamListsEndTheWalk) {
    AviSpec fixture = VideoAndAudio();
    std::string bytes = fixture.build();
    bytes.replace(bytes.find("strl") - 4, 4, Le32(0));
    WriteBytes(path, bytes);
    EXPECT_FALSE(ReadingFile(path).opened());  // a 'strl' without 'strh'
}

}  // namespace
}  // namespace zedadu::test
