// Opening and frame reading against a fake decompressor that records every message: layout
// negotiation, handler settling, the key-frame walk and continuation, the fitted size and the
// fallbacks.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <tuple>

#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

constexpr FOURCC kFake = FourCC("FAKE");

// Frame i's chunk starts with the byte i, which the fake decoder paints over the whole image.
std::string FakeVideo(uint32_t frames, const std::set<uint32_t>& keys, int32_t width = 8,
                      int32_t height = 6, FOURCC handler = kFake, FOURCC compression = kFake,
                      const std::set<uint32_t>& dropped = {}) {
    AviSpec fixture;
    fixture.totalFrames = frames;
    fixture.streams = {
        {FourCC("vids"), handler, frames, BitmapFormat(width, height, 24, compression)}};
    for (uint32_t i = 0; i < frames; ++i) {
        const std::string data =
            dropped.count(i) ? std::string(2, char(i)) : char(i) + std::string("xyz");
        fixture.chunks.push_back({FourCC("00dc"), data, keys.count(i) ? kIndexKeyFrame : 0u});
    }
    return fixture.build();
}

class FakeDecoderFile : public testing::Test {
  protected:
    void Write(const std::string& bytes) { WriteBytes(path, bytes); }
    // Reads a frame into a fresh buffer and answers the markers decoded for it, or {231} when the
    // read failed. The image delivered is the newest one decoded, whether drawn now or before.
    std::vector<uint8_t> Decode(ReadingFile& file, uint32_t frame,
                                const char* formatId = FORMAT_ID_RGB32) {
        fake->decoded.clear();
        fake->decodeFlags.clear();
        std::vector<uint8_t> buffer(8 * 6 * 4);
        ImageFrameRequest request = FrameRequest(frame, formatId, 8, 6, buffer);
        if (!AVFILE_ReadImageFrame(file.handle(), &request)) {
            return {231};
        }
        EXPECT_EQ(buffer[0], fake->newest) << "frame " << frame;
        EXPECT_EQ(buffer[buffer.size() - 2], fake->newest) << "frame " << frame;
        return fake->decoded;
    }

    ScratchDirectory directory;
    std::string path = directory.file("fake.avi");
    InstalledFakeDecoder fake{kFake};
};

TEST_F(FakeDecoderFile, NegotiationOffersWhatTheDecompressorAcceptsInAFixedOrder) {
    Write(FakeVideo(3, {0}));
    {
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        const ReadingFileInfo info = file.info();
        ASSERT_EQ(info.videoFormatCount, 3u);
        const char* ids[] = {FORMAT_ID_YUY2, FORMAT_ID_RGB24, FORMAT_ID_RGB32};
        for (uint32_t i = 0; i < 3; ++i) {
            const ImageFormatStruct& offered = info.videoFormats[i];
            EXPECT_STREQ(offered.formatId, ids[i]);
            EXPECT_STREQ(offered.description, "8 X 6 24 Bit Fake Decoder");
            EXPECT_EQ(std::tuple(offered.imageSize, offered.flags, offered.rate),
                      std::tuple(8u * 6 * (i + 2), 2u, 25u));
        }
        EXPECT_EQ(ReadingOf(file.handle()).videoFormat.formatId[0], '\0');
        EXPECT_EQ(fake->messages, (std::vector<UINT>{ICM_GETINFO, ICM_DECOMPRESS_QUERY,
                                                     ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_QUERY,
                                                     ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_END}));
    }
    fake->clear();
    fake->accepted = {{16, FourCC("YUY2")}};
    fake->preferred = {16, FourCC("YUY2")};
    {
        ReadingFile file(path);
        const ReadingFileInfo info = file.info();
        ASSERT_EQ(info.videoFormatCount, 2u);
        EXPECT_STREQ(info.videoFormats[0].formatId, FORMAT_ID_YUY2);
        EXPECT_STREQ(info.videoFormats[1].formatId, FORMAT_ID_RGB32);
        EXPECT_EQ(fake->messages,
                  (std::vector<UINT>{ICM_GETINFO, ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_GET_FORMAT,
                                     ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_QUERY,
                                     ICM_DECOMPRESS_GET_FORMAT, ICM_DECOMPRESS_QUERY,
                                     ICM_DECOMPRESS_GET_FORMAT, ICM_DECOMPRESS_END}));
    }
    fake->clear();
    fake->accepted = {};
    EXPECT_FALSE(ReadingFile(path).opened());
    EXPECT_EQ(fake->messages.back(), ICM_DECOMPRESS_END);

    // A video stream without frames has nothing to negotiate and offers no layout.
    fake->clear();
    Write(FakeVideo(0, {}));
    ReadingFile empty(path);
    ASSERT_TRUE(empty.opened());
    EXPECT_EQ(empty.info().videoFormatCount, 0u);
    EXPECT_TRUE(fake->messages.empty());
}

TEST_F(FakeDecoderFile, HandlersSettleOnTheDecompressorThatDecodesThem) {
    InstalledFakeDecoder video1(FourCC("MSVC")), runLength(FourCC("MRLE")), dv(FourCC("dvsd"));
    Write(FakeVideo(2, {0}, 8, 6, FourCC("cRaM"), 0));
    EXPECT_TRUE(ReadingFile(path).opened());
    EXPECT_EQ(video1->messages.front(), ICM_GETINFO);
    Write(FakeVideo(2, {0}, 8, 6, 0, kFake));  // handler 0: the compression code decides
    fake->clear();
    EXPECT_TRUE(ReadingFile(path).opened());
    EXPECT_FALSE(fake->messages.empty());
    Write(FakeVideo(2, {0}, 8, 6, FourCC("DIB "), BI_RLE8));
    {
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        EXPECT_EQ(ReadingOf(file.handle()).streamFormat.header.biCompression, 0u);
        EXPECT_FALSE(runLength->messages.empty());
    }
    // An uncompressed stream whose image is larger than its first chunk holds run-length data.
    runLength->clear();
    AviSpec shortChunks;
    shortChunks.totalFrames = 2;
    shortChunks.streams = {{FourCC("vids"), FourCC("DIB "), 2, BitmapFormat(8, 6, 8, 0, 48)}};
    shortChunks.chunks = {{FourCC("00dc"), std::string("\0abc", 4)}, {FourCC("00dc"), "\1abc", 0}};
    Write(shortChunks.build());
    {
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        runLength->decoded.clear();
        std::vector<uint8_t> buffer(8 * 6 * 4);
        ImageFrameRequest request = FrameRequest(1, FORMAT_ID_RGB32, 8, 6, buffer);
        ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request));
        EXPECT_EQ(runLength->decoded, (std::vector<uint8_t>{0, 1}));
    }
    Write(FakeVideo(2, {0}, 8, 6, FourCC("dvsd"), FourCC("dvsd")));
    ReadingFile file(path);
    const ReadingFileInfo info = file.info();
    EXPECT_EQ(info.infoFlags, 8u);
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        EXPECT_EQ(info.videoFormats[i].flags, 0x102u);
    }
}

// The frames a walk passes are decoded without being drawn. Frames drawn straight into the host's
// buffer are drawn again from the decompressor's newest picture when asked for twice or followed
// by a dropped frame; frames widened on the way hold their image in the decode buffer instead.
TEST_F(FakeDecoderFile, FramesDecodeFromTheNearestKeyFrameOrContinue) {
    Write(FakeVideo(10, {0, 5}, 8, 6, kFake, kFake, {8}));
    ReadingFile file(path), other(path);
    using Markers = std::vector<uint8_t>;
    using Flags = std::vector<DWORD>;
    EXPECT_EQ(Decode(file, 0), Markers{0});
    EXPECT_EQ(Decode(file, 1), Markers{1});
    EXPECT_EQ(Decode(file, 2), Markers{2});
    EXPECT_EQ(fake->decodeFlags, Flags{ICDECOMPRESS_NOTKEYFRAME});
    EXPECT_EQ(Decode(file, 7), (Markers{5, 6, 7}));
    EXPECT_EQ(fake->decodeFlags,
              (Flags{ICDECOMPRESS_PREROLL, ICDECOMPRESS_PREROLL | ICDECOMPRESS_NOTKEYFRAME,
                     ICDECOMPRESS_NOTKEYFRAME}));
    EXPECT_EQ(fake->redraws, 0);
    EXPECT_EQ(Decode(file, 7), Markers{});  // already decoded: drawn again
    EXPECT_EQ(Decode(file, 8), Markers{});  // a dropped frame: frame 7's image stands
    EXPECT_EQ(fake->redraws, 2);
    EXPECT_EQ(Decode(file, 9), Markers{9});
    EXPECT_EQ(Decode(file, 2), (Markers{0, 1, 2}));
    EXPECT_EQ(Decode(file, 4), (Markers{3, 4}));
    EXPECT_EQ(Decode(other, 0), Markers{0});
    EXPECT_EQ(Decode(file, 5), Markers{5});     // another handle used the cache meanwhile
    EXPECT_EQ(Decode(file, 10), Markers{231});  // frameNumber equal to frameCount
    auto reopened = std::make_unique<ReadingFile>(path);
    EXPECT_EQ(Decode(*reopened, 3), (Markers{0, 1, 2, 3}));
    reopened.reset();
    reopened = std::make_unique<ReadingFile>(path);  // likely at the closed handle's address
    EXPECT_EQ(Decode(*reopened, 3), (Markers{0, 1, 2, 3}));

    fake->accepted = {{24, 0}};  // 32-bit requests are widened from the decode buffer
    ReadingFile widened(path);
    fake->clear();
    EXPECT_EQ(Decode(widened, 7), (Markers{5, 6, 7}));
    EXPECT_EQ(Decode(widened, 7), Markers{});
    EXPECT_EQ(Decode(widened, 8), Markers{});
    EXPECT_EQ(Decode(widened, 9), Markers{9});
    EXPECT_EQ(fake->redraws, 0);
    EXPECT_EQ(Decode(widened, 8), (Markers{5, 6, 7}));  // 7 was passed, then drawn again
    EXPECT_EQ(fake->redraws, 1);
}

// Every index entry of the video stream is a frame, whatever its chunk type ("00pc" changes the
// palette). A compressed frame asked for with flag 0x100 is delivered with the DV flags 0x102;
// uncompressed frames always carry 2.
TEST_F(FakeDecoderFile, EveryVideoEntryIsAFrameAndTheResultFlagsFollowTheRequest) {
    AviSpec fixture;
    fixture.totalFrames = 3;
    fixture.streams = {{FourCC("vids"), kFake, 3, BitmapFormat(8, 6, 24, kFake)}};
    fixture.chunks = {{FourCC("00dc"), std::string("\0key", 4)},
                      {FourCC("00pc"), "\1pal", 0},
                      {FourCC("00dc"), "\2abc", 0}};
    Write(fixture.build());
    ReadingFile file(path);
    ASSERT_EQ(file.info().frameCount, 3u);
    EXPECT_EQ(Decode(file, 2), (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(Decode(file, 1), (std::vector<uint8_t>{0, 1}));
    std::vector<uint8_t> buffer(8 * 6 * 4);
    for (const uint32_t requested : {0x100u, 0x102u, 0x2u, 0x0u}) {
        ImageFrameRequest request = FrameRequest(0, FORMAT_ID_RGB32, 8, 6, buffer);
        request.requested.flags = requested;
        ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request));
        EXPECT_EQ(request.result.flags, requested & 0x100 ? 0x102u : 2u) << requested;
    }

    AviSpec uncompressed;
    uncompressed.totalFrames = 1;
    uncompressed.streams = {{FourCC("vids"), FourCC("DIB "), 1, BitmapFormat(8, 6, 32)}};
    uncompressed.chunks = {{FourCC("00db"), std::string(8 * 6 * 4, 'u')}};
    Write(uncompressed.build());
    ReadingFile stored(path);
    for (const char* formatId : {FORMAT_ID_RGB32, FORMAT_ID_RGB24}) {
        ImageFrameRequest request = FrameRequest(0, formatId, 8, 6, buffer);
        request.requested.flags = 0x100;
        ASSERT_TRUE(AVFILE_ReadImageFrame(stored.handle(), &request));
        EXPECT_EQ(request.result.flags, 2u);
    }
}

TEST_F(FakeDecoderFile, TheBoxFitsTheSourceAspectAndFallsBackToWhatTheDecompressorDoes) {
    Write(FakeVideo(2, {0}, 320, 240));
    std::vector<uint8_t> buffer(640 * 480 * 4);
    ReadingFile file(path);
    ImageFrameRequest request = FrameRequest(0, FORMAT_ID_RGB32, 640, 360, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request));
    EXPECT_EQ(fake->queried.back().biWidth, 640);
    EXPECT_EQ(fake->queried.back().biHeight, 480);
    EXPECT_EQ(request.result.imageSize, 640u * 480 * 4);
    const size_t queries = fake->queried.size();
    request = FrameRequest(1, FORMAT_ID_RGB32, 400, 480, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request));
    EXPECT_EQ(request.result.width, 640);
    EXPECT_EQ(fake->queried.size(), queries);  // same size and layout: no new set-up

    fake->scales = false;
    fake->accepted = {{24, 0}};
    ReadingFile fixed(path);
    fake->clear();
    request = FrameRequest(0, FORMAT_ID_RGB32, 640, 360, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(fixed.handle(), &request));
    EXPECT_EQ(fake->messages, (std::vector<UINT>{ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_GET_FORMAT,
                                                 ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_BEGIN,
                                                 ICM_DECOMPRESS_HELD_BACK, ICM_DECOMPRESS}));
    EXPECT_EQ(std::tuple(request.result.width, request.result.height, request.result.imageSize),
              std::tuple(320, 240, 320u * 240 * 4));
    EXPECT_STREQ(request.result.formatId, FORMAT_ID_RGB32);
    EXPECT_EQ(buffer[3] & buffer[320 * 240 * 4 - 1], 255);  // widened from 24 bits
    fake->clear();
    request = FrameRequest(1, FORMAT_ID_RGB32, 640, 360, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(fixed.handle(), &request));
    EXPECT_EQ(fake->messages, std::vector<UINT>{ICM_DECOMPRESS});

    request = FrameRequest(1, FORMAT_ID_YUY2, 320, 240, buffer);  // served by 24-bit output
    ASSERT_TRUE(AVFILE_ReadImageFrame(fixed.handle(), &request));
    EXPECT_STREQ(request.result.formatId, FORMAT_ID_YUY2);
    EXPECT_EQ(request.result.imageSize, 320u * 240 * 2);
    request = FrameRequest(1, FORMAT_ID_RGB32, 0, 0, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(fixed.handle(), &request));
    EXPECT_EQ(request.result.width, 320);
    request = FrameRequest(1, FORMAT_ID_PCM16, 320, 240, buffer);  // names no image layout
    EXPECT_FALSE(AVFILE_ReadImageFrame(fixed.handle(), &request));
    request = FrameRequest(1, FORMAT_ID_RGB32, 320, 240, buffer);
    request.bufferSize = 320 * 240 * 4 - 1;
    EXPECT_FALSE(AVFILE_ReadImageFrame(fixed.handle(), &request));
}

}  // namespace
}  // namespace zedadu::test
