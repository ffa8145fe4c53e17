// Audio in the reserved slots: held-back samples, slot capacity, the slot rest, narrowing to
// 8 bits, pad bytes, the ring, and what is refused.
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

using Audio = WriterTest;

// 29.97 frames a second, 44100 Hz 16-bit stereo, padding 512: slots of 6356 bytes, 1587 frames.
const WriterSetup kStandard{
    .rate = 29970026, .scale = 1000000, .padding = 512, .frames = 4, .audio = true};

writer::WritingFile& Handle(void* handle) {
    return WritingOf(handle);
}

TEST_F(Audio, SlotCapacityAndTheSlotRest) {
    const WriterSetup& s = kStandard;
    const std::string path = dir.file("slots.avi");
    MessageRecorder messages;
    void* handle = OpenWriter(s, path);
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    const uint32_t first = Handle(handle).audioSlotPositions[0];
    const uint32_t second = Handle(handle).audioSlotPositions[1];
    auto exact = TestSamples(s, 0, 1588);
    EXPECT_FALSE(WriteSamples(handle, s, exact, 1588));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].messageId, 790u);
    EXPECT_EQ(messages.shown()[0].flags, 0x12030u);
    ASSERT_TRUE(WriteSamples(handle, s, exact, 1587));  // the refused call took no slot
    auto rest = TestSamples(s, 1587, 1586);
    ASSERT_TRUE(WriteSamples(handle, s, rest, 1586));  // leaves 4 bytes: one frame is held back
    EXPECT_EQ(Handle(handle).pendingAudioFrames, 1u);
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    auto last = TestSamples(s, 3173, 10);
    ASSERT_TRUE(WriteSamples(handle, s, last, 10));
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    // The first slot is followed by the record's own filler, the second by an empty JUNK.
    ExpectWords(ReadBytes(path), {{first, FourCC("01wb")},
                                  {first + 4, 6348},
                                  {first + 8 + 6348, FourCC("JUNK")},
                                  {first + 8 + 6348 + 4, 280},
                                  {second + 4, 1585 * 4},
                                  {second + 8 + 6340, FourCC("JUNK")},
                                  {second + 8 + 6340 + 4, 0},
                                  {232 + 8 + 32, 3183}});  // audio dwLength in sample frames
    ExpectValidAvi(path);
    ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"), TestSamples(s, 0, 3183));
}

TEST_F(Audio, HeldBackSamplesGoFirstAndTheOffsetLeadsVideo) {
    WriterSetup s = kStandard;
    s.offset = 1;
    s.frames = 8;
    const std::string path = dir.file("held.avi");
    void* handle = OpenWriter(s, path);
    auto early = TestSamples(s, 0, 1000);
    ASSERT_TRUE(WriteSamples(handle, s, early, 1000));  // before the stream: held
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    const writer::WritingFile& h = Handle(handle);
    EXPECT_EQ(h.audioSlotReserve, 24u);  // 23 slots before the first frame, one after it
    const uint32_t firstChunk = h.videoIndex[23 + 1].offset + h.movieList.dwDataOffset;
    EXPECT_LT(h.audioSlotPositions[22], firstChunk);
    EXPECT_GT(h.audioSlotPositions[23], firstChunk);
    uint32_t sent = 1000;
    for (uint32_t call = 0; call < 30; ++call, sent += 1470) {
        auto samples = TestSamples(s, sent, 1470);
        ASSERT_TRUE(WriteSamples(handle, s, samples, 1470));
        if (call % 8 == 7) {
            ASSERT_TRUE(WriteFrame(handle, s, frame));
        }
    }
    const uint32_t written = h.audioLength;
    EXPECT_EQ(written + h.pendingAudioFrames, sent);
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    ExpectValidAvi(path);
    ExpectSameBytes(Decoded(path, "-map 0:a -f s16le"), TestSamples(s, 0, written));
}

TEST_F(Audio, SixteenBitSamplesNarrowedForAnEightBitFile) {
    WriterSetup wide{.rate = 30, .frames = 2, .audio = true, .channels = 1, .sampleRate = 48000};
    WriterSetup s = wide;
    s.audioId = FORMAT_ID_PCM8;
    const std::string path = dir.file("narrow.avi");
    void* handle = OpenWriter(s, path);
    auto samples = TestSamples(wide, 0, 101);
    ASSERT_TRUE(WriteSamples(handle, wide, samples, 51));  // held back until the stream starts
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    auto more = std::vector<uint8_t>(samples.begin() + 102, samples.end());
    ASSERT_TRUE(WriteSamples(handle, wide, more, 50));
    const uint32_t slot = Handle(handle).audioSlotPositions[0];
    EXPECT_EQ(Handle(handle).audioLength, 101u);
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    const std::string b = ReadBytes(path);
    EXPECT_EQ(b[slot + 8 + 101], '\0');  // the pad byte, then the JUNK rest of the slot
    ExpectWords(b, {{slot + 4, 101},
                    {slot + 8 + 102, FourCC("JUNK")},
                    {slot + 8 + 102 + 4, 1710 - 8 - 102 - 8}});
    ExpectValidAvi(path);
    std::string narrowed;
    for (size_t i = 0; i < 101; ++i) {
        narrowed += char((int16_t(samples[2 * i] | samples[2 * i + 1] << 8) >> 8) + 128);
    }
    ExpectSameBytes(Decoded(path, "-map 0:a -f u8"), narrowed);
}

TEST_F(Audio, TheRingAndRefusedCalls) {
    WriterSetup s = kStandard;
    s.frames = 62;
    const std::string path = dir.file("ring.avi");
    void* handle = OpenWriter(s, path);
    auto samples = TestSamples(s, 0, 100);
    EXPECT_TRUE(WriteSamples(handle, s, samples, 0)) << "nothing to hold, video still to come";
    EXPECT_FALSE(WriteSamples(handle, s, samples, 1, FORMAT_ID_PCM8)) << "not an accepted input";
    AudioWriteRecord small{};
    small.size = sizeof small - 1;
    EXPECT_EQ(AVFILE_WriteNextAudioSamples(handle, &small), 0);
    auto frame = TestFrame(s, 0);
    for (uint32_t i = 0; i < 60; ++i) {
        ASSERT_TRUE(WriteFrame(handle, s, frame));
    }
    // 61 reservations: the ring forgot the first 60 and offers the latest slot only.
    const uint32_t latest = Handle(handle).audioSlotPositions[0];
    ASSERT_TRUE(WriteSamples(handle, s, samples, 100));
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    ASSERT_TRUE(WriteSamples(handle, s, samples, 100));
    EXPECT_TRUE(WriteSamples(handle, s, samples, 100)) << "held while video is still to come";
    ASSERT_TRUE(WriteFrame(handle, s, frame));
    ASSERT_TRUE(WriteSamples(handle, s, samples, 100));
    EXPECT_EQ(Handle(handle).pendingAudioFrames, 0u);
    EXPECT_FALSE(WriteSamples(handle, s, samples, 100)) << "video complete, no slot";
    EXPECT_FALSE(WriteSamples(handle, s, samples, 0));
    const auto& index = Handle(handle).audioIndex;
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[2].size, 800u);
    EXPECT_EQ(index[0].offset, latest - Handle(handle).movieList.dwDataOffset);
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    ExpectValidAvi(path);

    s.frames = 0;
    handle = OpenWriter(s, dir.file("silent.avi"));
    EXPECT_FALSE(WriteSamples(handle, s, samples, 100));
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_EQ(AVFILE_WriteSegment(nullptr), 0);
}

}  // namespace
}  // namespace zedadu::test
