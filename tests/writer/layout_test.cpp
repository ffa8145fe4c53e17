// The layout of written files, byte by byte, for the worked examples.
#include <algorithm>

#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"
#include "writer/writer_internal.h"

namespace zedadu::test {
namespace {

using Layout = WriterTest;

TEST_F(Layout, UncompressedVideoOnlyWithoutPadding) {
    const WriterSetup s{.width = 720, .height = 486, .rate = 29970026, .scale = 1000000};
    const Clip clip = WriteClip(s, dir.file("clip.avi"), 3);
    const std::string b = clip.bytes();
    const uint32_t frame = 1049760, stride = frame + 8;
    ASSERT_EQ(b.size(), 512 + 3 * stride + 8 + 3 * 16);
    ExpectWords(b, {{0, FourCC("RIFF")},
                    {4, uint32_t(b.size() - 8)},
                    {8, FourCC("AVI ")},
                    {12, FourCC("LIST")},
                    {16, 500 - 20},
                    {20, FourCC("hdrl")},
                    {24, FourCC("avih")},
                    // µs per frame, bytes per second, padding, flags, frames, initial frames,
                    // streams, buffer size, width, height
                    {32, 33366},
                    {36, frame * 29},
                    {40, 0},
                    {44, 0x10},
                    {48, 3},
                    {52, 0},
                    {56, 1},
                    {60, frame + 32},
                    {64, 720},
                    {68, 486},
                    {88, FourCC("LIST")},
                    {96, FourCC("strl")},
                    {100, FourCC("strh")},
                    {108, FourCC("vids")},
                    {112, FourCC("DIB ")},
                    {128, 1000000},
                    {132, 29970026},
                    {140, 3},
                    {172, FourCC("strf")},
                    {176, 40},
                    {200, frame},
                    {220, FourCC("JUNK")},
                    {224, 500 - 228},
                    {500, FourCC("LIST")},
                    {504, 4 + 3 * stride},
                    {508, FourCC("movi")}});
    EXPECT_EQ(b.substr(228, 272), std::string(272, '\0'));
    const std::vector<IndexEntry> index = IndexOf(b);
    ASSERT_EQ(index.size(), 3u);
    const uint32_t offsets[] = {4, 1049772, 2099540};  // chunks at 512, 512 + 1049768, ...
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(index[i], (IndexEntry{FourCC("00xx"), 0x10, offsets[i], frame})) << i;
        ExpectWords(b, {{508 + offsets[i], FourCC("00xx")}, {508 + offsets[i] + 4, frame}});
        EXPECT_EQ(b.compare(508 + offsets[i] + 8, frame,
                            reinterpret_cast<const char*>(clip.frames[i].data()), frame),
                  0);
    }
    ExpectValidAvi(clip.path);
}

// 29.97 frames a second, 44100 Hz 16-bit stereo: slots of 6356 bytes. Each record (LIST "rec ")
// ends on a multiple of the padding; the first holds the opening slot and its filler.
TEST_F(Layout, PaddedRecordsAudioSlotsAndFillers) {
    EXPECT_EQ(writer::FillerBytes(1024, 512), 512u);      // already aligned: a whole filler
    EXPECT_EQ(writer::FillerBytes(1020, 512), 4u + 512);  // too small for a header: carried over
    EXPECT_EQ(writer::FillerBytes(1016, 512), 8u);
    for (const uint32_t padding : {512u, 2048u, 4096u}) {
        SCOPED_TRACE(padding);
        WriterSetup s{.rate = 29970026, .scale = 1000000, .padding = padding, .audio = true};
        s.frames = 2;
        const Clip clip = WriteClip(s, dir.file("padded" + std::to_string(padding) + ".avi"), 1);
        const std::string b = clip.bytes();
        const uint32_t movie = padding - 24;  // M: 488 for 512, 2024 for 2048
        const uint32_t opening = movie + 12, second = opening + 8 + U32At(b, opening + 4);
        const uint32_t slot = second + 12 + 8 + 2304;  // after the frame chunk
        EXPECT_EQ(MovieListAt(b), movie);
        EXPECT_EQ((second + 12) % padding, 0u);
        ExpectWords(b, {{40, padding},
                        {44, 0x110},
                        {56, 2},
                        {opening, FourCC("LIST")},
                        {opening + 8, FourCC("rec ")},
                        {padding, FourCC("JUNK")},
                        {padding + 4, 6348},
                        {second, FourCC("LIST")},
                        {second + 8, FourCC("rec ")},
                        {second + 12, FourCC("00xx")},
                        {slot, FourCC("JUNK")},
                        {slot + 4, 6348}});
        const uint32_t filler = second - (padding + 8 + 6348);
        EXPECT_EQ(Id(b, padding + 8 + 6348), "JUNK");
        EXPECT_EQ(b.substr(padding + 8, 6348) + b.substr(padding + 8 + 6348 + 8, filler - 8),
                  std::string(6348 + filler - 8, '\0'));
        const std::vector<IndexEntry> index = IndexOf(b);
        ASSERT_EQ(index.size(), 3u);
        EXPECT_EQ(index[0].chunkId, FourCC("rec "));
        EXPECT_EQ(index[0].offset, 4u);
        EXPECT_EQ(index[0].size, second - opening - 8);
        EXPECT_EQ(index[1].chunkId, FourCC("rec "));
        EXPECT_EQ(index[1].offset, second - movie - 8);
        EXPECT_EQ(index[2].chunkId, FourCC("00xx"));
        EXPECT_EQ(index[2].offset, second + 12 - movie - 8);
        if (padding == 512) {  // a record of 6656 bytes: LIST size 6648, filler 280
            EXPECT_EQ(index[0].size, 6648u);
            EXPECT_EQ(filler, 280u + 8);
            EXPECT_EQ(second, 7156u);
        }
        ExpectValidAvi(clip.path);
    }
}

// The index lists the entries of both streams in file order: each record before the chunks it
// holds, a record's video chunk before the audio chunk of its slot. The audio stream's format says
// the bytes a second, the block and the bits of the samples as written.
TEST_F(Layout, TheIndexInFileOrderAndTheAudioStreamFormat) {
    struct Case {
        uint32_t channels, sampleRate;
        const char* id;
        uint32_t bytesPerSecond, blockAlign, bits;
    } cases[] = {{2, 22050, FORMAT_ID_PCM8, 44100, 2, 8},
                 {1, 48000, FORMAT_ID_PCM16, 96000, 2, 16},
                 {2, 44100, FORMAT_ID_PCM16, 176400, 4, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sampleRate);
        WriterSetup s{.padding = 512, .audio = true, .channels = c.channels};
        s.sampleRate = c.sampleRate;
        s.audioId = c.id;
        // The samples written after each frame fill the oldest slot: the first lies in the
        // opening record, the next in the record of the frame before.
        const Clip clip = WriteClip(s, dir.file("merged.avi"), 3, 100);
        const std::string b = clip.bytes();
        // The video format takes 40 bytes, so the audio format's data lies at 312.
        ExpectWords(b, {{304, FourCC("strf")},
                        {308, 16},
                        {312, 1 | c.channels << 16},
                        {316, c.sampleRate},
                        {320, c.bytesPerSecond},
                        {324, c.blockAlign | c.bits << 16}});
        const std::vector<IndexEntry> index = IndexOf(b);
        std::vector<std::string> ids;
        for (size_t i = 0; i < index.size(); ++i) {
            ids.push_back(std::string(reinterpret_cast<const char*>(&index[i].chunkId), 4));
            if (i > 0) {
                EXPECT_GT(index[i].offset, index[i - 1].offset) << i;
            }
            EXPECT_EQ(index[i].flags, ids.back() == "00xx" ? 0x10u : 0u) << i;
            EXPECT_EQ(Id(b, MovieListAt(b) + 8 + index[i].offset),
                      ids.back() == "rec " ? "LIST" : ids.back());
        }
        EXPECT_EQ(ids, (std::vector<std::string>{"rec ", "01wb", "rec ", "00xx", "01wb", "rec ",
                                                 "00xx", "01wb", "rec ", "00xx"}));
        ExpectValidAvi(clip.path);
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
        {100, 1, 8000, 1, FORMAT_ID_PCM16, 1, 216, 57, 10000},  // the lead stays within the ring
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        WriterSetup s{.rate = c.rate, .scale = c.scale, .padding = 512, .offset = c.offset};
        s.audio = true;
        s.channels = c.channels;
        s.sampleRate = c.sampleRate;
        s.audioId = c.id;
        const Clip clip = WriteClip(s, dir.file("lead" + std::to_string(c.rate) + ".avi"), 1);
        const std::string b = clip.bytes();
        // avih dwMicroSecPerFrame and dwInitialFrames, audio strh dwInitialFrames and
        // dwSuggestedBufferSize, the first slot's size
        ExpectWords(b, {{32, c.microseconds},
                        {52, c.initialFrames},
                        {256, c.initialFrames},
                        {276, c.slot},
                        {516, c.slot - 8}});
        EXPECT_EQ(IndexOf(b).size(), c.initialFrames + 1 + 2);  // opening records, frame record
        ExpectValidAvi(clip.path);
    }
}

// From 77 1/3 frames a second on, where three quarters of a second reach 58 frames, the lead is
// capped where the ring still holds it after the first frame's reservation: audio written before
// and after every frame starts in the first opening slot, ahead of the first video chunk, and
// comes back whole.
TEST_F(Layout, TheAudioLeadHoldsAtHighFrameRates) {
    const std::pair<uint32_t, uint32_t> rates[] = {{232, 3}, {78, 1}, {100, 1}, {120, 1}};
    for (const auto& [rate, scale] : rates) {
        SCOPED_TRACE(rate);
        WriterSetup s{.rate = rate, .scale = scale, .padding = 512, .offset = 1, .frames = 70};
        s.audio = true;
        s.channels = 1;
        s.sampleRate = 8000;
        const std::string path = dir.file("fast" + std::to_string(rate) + ".avi");
        void* handle = OpenWriter(s, path);
        const uint32_t perFrame = s.sampleRate * scale / rate;
        const uint32_t half = perFrame / 2;
        uint32_t sent = 0;
        for (uint32_t i = 0; i < s.frames; ++i) {
            for (int call = 0; call < 2; ++call) {
                auto samples = TestSamples(s, sent, half);
                ASSERT_TRUE(WriteSamples(handle, s, samples, half));
                sent += half;
                if (call == 0) {
                    auto frame = TestFrame(s, i);
                    ASSERT_TRUE(WriteFrame(handle, s, frame));
                }
            }
        }
        const uint32_t placed = WritingOf(handle).audioLength;
        ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
        const std::string b = ReadBytes(path);
        EXPECT_EQ(U32At(b, 52), 57u);  // dwInitialFrames
        const std::vector<IndexEntry> index = IndexOf(b);
        const auto first = [&](FOURCC id) {
            return std::find_if(index.begin(), index.end(),
                                [&](const IndexEntry& e) { return e.chunkId == id; });
        };
        ASSERT_NE(first(FourCC("01wb")), index.end());
        EXPECT_EQ(first(FourCC("01wb"))->offset, 4u + 12) << "the first opening slot";
        EXPECT_LT(first(FourCC("01wb"))->offset, first(FourCC("00xx"))->offset);
        EXPECT_GE(placed, sent - 58 * perFrame);
        ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"), TestSamples(s, 0, placed));
    }
}

// An odd padding up to 512 is kept: records are whole multiples of it, their fillers without a
// pad byte. Above 512 it would make the header room odd, so it is made even, one byte smaller,
// and the movie list stays intact.
TEST_F(Layout, OddPaddingsAbove512AreMadeEven) {
    for (const uint32_t padding : {9u, 511u, 513u, 1025u}) {
        SCOPED_TRACE(padding);
        WriterSetup s{.padding = padding, .offset = 1, .frames = 4, .audio = true};
        const Clip clip = WriteClip(s, dir.file("odd" + std::to_string(padding) + ".avi"), 4, 1764);
        const std::string b = clip.bytes();
        const uint32_t kept = padding > 512 ? padding - 1 : padding;
        const uint32_t movie = MovieListAt(b);
        EXPECT_EQ(movie, std::max(kept, 512u) - 24);
        EXPECT_EQ(Id(b, movie), "LIST");
        EXPECT_EQ(U32At(b, 40), kept);  // dwPaddingGranularity
        for (const IndexEntry& entry : IndexOf(b)) {
            if (entry.chunkId == FourCC("rec ")) {
                EXPECT_EQ((entry.size + 8) % kept, 0u);
            }
        }
        ExpectValidAvi(clip.path);
        ExpectSameBytes(Decoded(clip.path, "-map 0:v -f rawvideo -pix_fmt bgr24"), clip.topDown(s));
        ReadingFile file(clip.path);
        EXPECT_TRUE(file.opened());
    }
}

}  // namespace
}  // namespace zedadu::test
