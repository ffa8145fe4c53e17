// The layout of written files, byte by byte, for the worked examples.
#include "frame/avi_file_handle.h"
#include "frame/plugin.h"
#include "tests/writer/writer_test_support.h"
#include "writer/writer_internal.h"

namespace zedadu::test {
namespace {

using Layout = WriterTest;

TEST_F(Layout, UncompressedVideoOnlyWithoutPadding) {
    WriterSetup s;
    s.width = 720;
    s.height = 486;
    s.rate = 29970026;
    s.scale = 1000000;
    const std::string path = dir.file("clip.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t i = 0; i < 3; ++i) {
        frames.push_back(TestFrame(s, i));
        ASSERT_TRUE(WriteFrame(handle, s, frames.back()));
    }
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    const std::string b = ReadBytes(path);
    const uint32_t frame = 1049760, stride = frame + 8;
    const size_t indexAt = 512 + 3 * stride;
    ASSERT_EQ(b.size(), indexAt + 8 + 3 * 16);
    EXPECT_EQ(Id(b, 0) + Id(b, 8), "RIFFAVI ");
    EXPECT_EQ(Le32(b, 4), b.size() - 8);
    EXPECT_EQ(Id(b, 12) + Id(b, 20) + Id(b, 24), "LISThdrlavih");
    EXPECT_EQ(Le32(b, 16), 500u - 20);
    const uint32_t avih[] = {33366, (frame + 0) * 29, 0, 0x10, 3, 0, 1, frame + 32, 720, 486};
    for (size_t i = 0; i < std::size(avih); ++i) {
        EXPECT_EQ(Le32(b, 32 + 4 * i), avih[i]) << "avih field " << i;
    }
    EXPECT_EQ(Id(b, 88) + Id(b, 96) + Id(b, 100) + Id(b, 108) + Id(b, 112), "LISTstrlstrhvidsDIB ");
    EXPECT_EQ(Le32(b, 108 + 20), 1000000u);
    EXPECT_EQ(Le32(b, 108 + 24), 29970026u);
    EXPECT_EQ(Le32(b, 108 + 32), 3u);
    EXPECT_EQ(Id(b, 172), "strf");
    EXPECT_EQ(Le32(b, 176), 40u);
    EXPECT_EQ(Le32(b, 180 + 20), frame);  // biSizeImage
    EXPECT_EQ(Id(b, 220), "JUNK");
    EXPECT_EQ(Le32(b, 224), 500u - 228);
    EXPECT_EQ(b.substr(228, 272), std::string(272, '\0'));
    EXPECT_EQ(Id(b, 500) + Id(b, 508), "LISTmovi");
    EXPECT_EQ(Le32(b, 504), 4 + 3 * stride);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Id(b, 512 + i * stride), "00xx");
        EXPECT_EQ(Le32(b, 516 + i * stride), frame);
        EXPECT_EQ(b.compare(520 + i * stride, frame,
                            reinterpret_cast<const char*>(frames[i].data()), frame),
                  0);
    }
    const std::vector<IndexEntry> index = IndexOf(b);
    ASSERT_EQ(index.size(), 3u);
    const uint32_t offsets[] = {4, 1049772, 2099540};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(index[i].chunkId, FourCC("00xx"));
        EXPECT_EQ(index[i].flags, 0x10u);
        EXPECT_EQ(index[i].offset, offsets[i]);
        EXPECT_EQ(index[i].size, frame);
    }
    ExpectValidAvi(path);
}

// 29.97 frames a second, 44100 Hz 16-bit stereo: slots of 6356 bytes.
WriterSetup PaddedWithAudio(uint32_t padding) {
    WriterSetup s;
    s.rate = 29970026;
    s.scale = 1000000;
    s.padding = padding;
    s.audio = true;
    s.frames = 2;
    return s;
}

TEST_F(Layout, PaddedRecordsAudioSlotsAndFillers) {
    const WriterSetup s = PaddedWithAudio(512);
    const std::string path = dir.file("padded.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    const std::string b = ReadBytes(path);
    EXPECT_EQ(MovieListAt(b), 488u);
    EXPECT_EQ(Le32(b, 32 + 8), 512u);     // dwPaddingGranularity
    EXPECT_EQ(Le32(b, 32 + 12), 0x110u);  // dwFlags
    EXPECT_EQ(Le32(b, 32 + 24), 2u);      // dwStreams
    // The opening record: LIST "rec " { JUNK slot, JUNK filler }, 13 x 512 bytes.
    EXPECT_EQ(Id(b, 500) + Id(b, 508) + Id(b, 512), "LISTrec JUNK");
    EXPECT_EQ(Le32(b, 504), 6648u);
    EXPECT_EQ(Le32(b, 516), 6348u);
    EXPECT_EQ(Id(b, 512 + 6356), "JUNK");
    EXPECT_EQ(Le32(b, 512 + 6356 + 4), 280u);
    EXPECT_EQ(b.substr(520, 6348 + 8 + 280).find_first_not_of('\0', 6348), 6348u);
    // The frame's record: its chunk on a multiple of 512, then the slot, then the filler.
    EXPECT_EQ(Id(b, 7156) + Id(b, 7164) + Id(b, 7168), "LISTrec 00xx");
    EXPECT_EQ((7156 + 8 + Le32(b, 7160)) % 512, 500u % 512);
    const uint32_t slot = 7168 + 8 + 2304;
    EXPECT_EQ(Id(b, slot), "JUNK");
    EXPECT_EQ(Le32(b, slot + 4), 6348u);
    const std::vector<IndexEntry> index = IndexOf(b);
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].chunkId, FourCC("rec "));
    EXPECT_EQ(index[0].offset, 4u);
    EXPECT_EQ(index[0].size, 6648u);
    EXPECT_EQ(index[1].chunkId, FourCC("rec "));
    EXPECT_EQ(index[1].offset, 7156u - 496);
    EXPECT_EQ(index[2].chunkId, FourCC("00xx"));
    EXPECT_EQ(index[2].offset, 7168u - 496);
    ExpectValidAvi(path);
}

TEST_F(Layout, MovieListPositionAndFirstChunkFollowThePadding) {
    EXPECT_EQ(writer::MovieListPosition(0), 500u);
    EXPECT_EQ(writer::MovieListPosition(1), 488u);
    EXPECT_EQ(writer::MovieListPosition(512), 488u);
    EXPECT_EQ(writer::MovieListPosition(2048), 2024u);
    for (uint32_t padding : {2048u, 4096u}) {
        const WriterSetup s = PaddedWithAudio(padding);
        const std::string path = dir.file("pad" + std::to_string(padding) + ".avi");
        void* handle = OpenWriter(s, path);
        ASSERT_NE(handle, nullptr);
        auto frame = TestFrame(s, 0);
        ASSERT_TRUE(WriteFrame(handle, s, frame));
        ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
        const std::string b = ReadBytes(path);
        EXPECT_EQ(MovieListAt(b), padding - 24);
        EXPECT_EQ(Id(b, padding), "JUNK");  // the first slot, on a multiple of the padding
        const uint32_t second = padding - 12 + Le32(b, padding - 8) + 8;
        EXPECT_EQ((second + 12) % padding, 0u);
        EXPECT_EQ(Id(b, second + 12), "00xx");
        ExpectValidAvi(path);
    }
}

// Slot size and audio lead, read from the finished files' headers.
TEST_F(Layout, SlotSizesAndAudioLead) {
    struct Case {
        uint32_t rate, scale, sampleRate, channels;
        const char* id;
        int32_t offset;
        uint32_t slot, initialFrames, microseconds;
    } cases[] = {
        {29970026, 1000000, 44100, 2, FORMAT_ID_PCM16, 1, 6356, 22, 33366},
        {30, 1, 48000, 1, FORMAT_ID_PCM8, 0, 1710, 0, 33333},
        {25, 1, 48000, 2, FORMAT_ID_PCM16, 1, 8056, 18, 40000},
        {2, 1, 8000, 1, FORMAT_ID_PCM16, 0, 16056, 0, 500000},  // slots per second never below 1
        {100, 1, 8000, 1, FORMAT_ID_PCM16, 1, 216, 58, 10000},  // the lead stays within the ring
    };
    for (const Case& c : cases) {
        WriterSetup s;
        s.rate = c.rate;
        s.scale = c.scale;
        s.audio = true;
        s.sampleRate = c.sampleRate;
        s.channels = c.channels;
        s.audioId = c.id;
        s.offset = c.offset;
        s.padding = 512;
        const std::string path = dir.file("lead" + std::to_string(c.rate) + ".avi");
        void* handle = OpenWriter(s, path);
        ASSERT_NE(handle, nullptr);
        auto frame = TestFrame(s, 0);
        ASSERT_TRUE(WriteFrame(handle, s, frame));
        ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
        const std::string b = ReadBytes(path);
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(Le32(b, 32), c.microseconds);
        EXPECT_EQ(Le32(b, 32 + 20), c.initialFrames);
        EXPECT_EQ(Le32(b, 232 + 8 + 16), c.initialFrames);  // audio strh dwInitialFrames
        EXPECT_EQ(Le32(b, 232 + 8 + 36), c.slot);
        EXPECT_EQ(Le32(b, 500 + 12 + 4), c.slot - 8);
        const std::vector<IndexEntry> index = IndexOf(b);
        EXPECT_EQ(index.size(), c.initialFrames + 1 + 2);  // opening records, frame record, chunk
        ExpectValidAvi(path);
    }
}

TEST_F(Layout, FillerRuleAndFileLimit) {
    EXPECT_EQ(writer::FillerBytes(12 + 6356, 512), 280u + 8);
    EXPECT_EQ(writer::FillerBytes(1024, 512), 512u);      // already aligned: a whole filler
    EXPECT_EQ(writer::FillerBytes(1020, 512), 4u + 512);  // too small for a header: carried over
    EXPECT_EQ(writer::FillerBytes(1016, 512), 8u);
    AviFileHandle handle;
    handle.videoIndex.resize(10);
    const uint64_t limit = 0xFFFFFFFFull - 8 - 16 * 11;
    EXPECT_TRUE(writer::FinishedFileFits(handle, limit - 1, 1));
    EXPECT_TRUE(writer::FinishedFileFits(handle, limit, 1));
    EXPECT_FALSE(writer::FinishedFileFits(handle, limit + 1, 1));
    EXPECT_FALSE(writer::FinishedFileFits(handle, 0xFFFFFFFFull, 0));
}

}  // namespace
}  // namespace zedadu::test
