// The writer's conversation with a compressor, recorded by a fake compressor driver: the messages
// at open, at stream start and per frame, key-frame forcing, the frame budget, the frames
// information, and the messages shown when the compressor or the data rate will not do.
#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "platform/hostlib/hostlib.h"
#include "platform/vfw/vfw.h"
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

struct CompressCall {
    DWORD flags;
    LONG frameNumber;
    DWORD frameSize;
    DWORD quality;
    bool hasPrevious;
    DWORD inputCompression;
    WORD inputBitCount;
    DWORD inputSize;
};

// What the fake compressor answers and what it was told.
struct FakeCompressor {
    LRESULT frameQuery = ICERR_OK;  // ICM_COMPRESS_QUERY with no output format
    LRESULT pairQuery = ICERR_OK;   // ... with both formats
    LRESULT begin = ICERR_OK;
    DWORD infoFlags = VIDCF_CRUNCH | VIDCF_TEMPORAL;
    DWORD paletteEntries = 0;
    DWORD chunkId = 'd' | 'c' << 8;  // 0: names none
    std::set<LONG> marksKey;         // unforced frames the compressor makes key frames itself
    std::vector<UINT> messages;
    std::vector<CompressCall> compress;
    std::vector<LPARAM> qualities;
    ICCOMPRESSFRAMES frames{};
    LPARAM framesSize = 0, compressSize = 0, infoSize = 0;
    DWORD outputSize = 0;
    int opened = 0, closed = 0;
};
FakeCompressor fake;

LRESULT Compress(ICCOMPRESS& c) {
    fake.compress.push_back({c.dwFlags, c.lFrameNum, c.dwFrameSize, c.dwQuality,
                             c.lpbiPrev != nullptr && c.lpPrev != nullptr,
                             c.lpbiInput->biCompression, c.lpbiInput->biBitCount,
                             c.lpbiInput->biSizeImage});
    // Stores the frame as it is (uncompressed bottom-up rows), so that any decoder reads it.
    const DWORD size = std::min(fake.outputSize, c.lpbiInput->biSizeImage);
    memcpy(c.lpOutput, c.lpInput, size);
    memset(static_cast<uint8_t*>(c.lpOutput) + size, 0, fake.outputSize - size);
    c.lpbiOutput->biSizeImage = fake.outputSize;
    if (fake.chunkId) {
        *c.lpckid = fake.chunkId;
    }
    if (fake.marksKey.count(c.lFrameNum)) {
        *c.lpdwFlags |= AVIIF_KEYFRAME;
    }
    return ICERR_OK;
}

LRESULT FakeDriver(DWORD_PTR, HDRVR, UINT message, LPARAM a, LPARAM b) {
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(a);
    auto* output = reinterpret_cast<BITMAPINFOHEADER*>(b);
    if (message == DRV_LOAD || message == DRV_ENABLE || message == DRV_DISABLE ||
        message == DRV_FREE) {
        return 1;
    }
    fake.opened += message == DRV_OPEN;
    fake.closed += message == DRV_CLOSE;
    fake.messages.push_back(message);
    switch (message) {
        case ICM_SETQUALITY:
            fake.qualities.push_back(a);
            return ICERR_OK;
        case ICM_COMPRESS_QUERY:
            return b ? fake.pairQuery : fake.frameQuery;
        case ICM_COMPRESS_GET_SIZE:
            return input->biSizeImage;
        case ICM_COMPRESS_GET_FORMAT:
            *output = *input;
            output->biClrUsed = fake.paletteEntries;
            fake.outputSize = input->biSizeImage;
            return ICERR_OK;
        case ICM_GETINFO:
            reinterpret_cast<ICINFO*>(a)->dwFlags = fake.infoFlags;
            fake.infoSize = b;
            return sizeof(ICINFO);
        case ICM_COMPRESS_FRAMES_INFO:
            fake.frames = *reinterpret_cast<ICCOMPRESSFRAMES*>(a);
            fake.framesSize = b;
            return ICERR_OK;
        case ICM_COMPRESS_BEGIN:
            return fake.begin;
        case ICM_COMPRESS:
            fake.compressSize = b;
            return Compress(*reinterpret_cast<ICCOMPRESS*>(a));
        default:
            return message == DRV_OPEN || message == DRV_CLOSE ? 1 : ICERR_OK;
    }
}

class CompressorContract : public WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        fake = FakeCompressor{};
        ASSERT_TRUE(ICInstall(ICTYPE_VIDEO, FourCC("FAKE"), reinterpret_cast<LPARAM>(&FakeDriver),
                              "fake", ICINSTALL_FUNCTION));
    }
    void TearDown() override {
        ICRemove(ICTYPE_VIDEO, FourCC("FAKE"), 0);
        EXPECT_EQ(fake.opened, fake.closed) << "every compressor instance is closed";
        WriterTest::TearDown();
    }
    // 29.97 frames a second, data rate 800, padding 512, 44100 Hz 16-bit stereo audio.
    static constexpr WriterSetup kStandard{.handler = FourCC("fake"),
                                           .rate = 29970026,
                                           .scale = 1000000,
                                           .padding = 512,
                                           .dataRate = 800,
                                           .frames = 9,
                                           .audio = true};
};

std::string HostString(uint32_t id) {
    char text[100] = {};
    MyLoadString(id, text, sizeof text);
    return text;
}

TEST_F(CompressorContract, MessagesKeyFramesBudgetAndFramesInformation) {
    const WriterSetup& s = kStandard;
    fake.pairQuery = ICERR_BADFORMAT;  // the open then asks for the compressor's own format
    fake.chunkId = FourCC("00dc");     // a whole chunk id rather than the two-character code
    fake.marksKey = {2};
    const std::string path = dir.file("fake.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(fake.messages, (std::vector<UINT>{DRV_OPEN, ICM_SETQUALITY, ICM_COMPRESS_QUERY,
                                                ICM_COMPRESS_GET_SIZE, ICM_COMPRESS_QUERY,
                                                ICM_COMPRESS_GET_FORMAT, DRV_CLOSE}));
    fake.messages.clear();
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t i = 0; i < s.frames; ++i) {
        frames.push_back(TestFrame(s, i));
        VideoWriteRecord record{};
        record.pixels = frames.back().data();
        record.format.size = sizeof record.format;
        snprintf(record.format.formatId, sizeof record.format.formatId, "%s", s.videoId);
        ASSERT_EQ(AVFILE_WriteNextVideoFrame(handle, &record), 1);
        EXPECT_NE(record.pixels, frames.back().data()) << "points at the compressed frame";
    }
    std::vector<UINT> expected(s.frames, ICM_COMPRESS);  // after the stream start's messages
    expected.insert(expected.begin(),
                    {DRV_OPEN, ICM_SETQUALITY, ICM_COMPRESS_QUERY, ICM_COMPRESS_GET_SIZE,
                     ICM_COMPRESS_GET_FORMAT, ICM_GETINFO, ICM_COMPRESS_FRAMES_INFO,
                     ICM_COMPRESS_BEGIN, ICM_COMPRESS_GET_SIZE});
    EXPECT_EQ(fake.messages, expected);
    EXPECT_EQ(fake.qualities, (std::vector<LPARAM>{7500, 7500}));
    EXPECT_EQ(fake.infoSize, LPARAM(sizeof(ICINFO)));
    EXPECT_EQ(fake.framesSize, LPARAM(sizeof(ICCOMPRESSFRAMES)));
    EXPECT_EQ(fake.compressSize, LPARAM(sizeof(ICCOMPRESS)));
    const ICCOMPRESSFRAMES& info = fake.frames;
    EXPECT_TRUE(info.lpbiOutput && info.lpbiInput);
    // Flags, start, count, quality, data rate, key rate, rate, scale, overhead per frame.
    EXPECT_EQ(
        std::tuple(info.dwFlags, info.lStartFrame, info.lFrameCount, info.lQuality, info.lDataRate,
                   info.lKeyRate, info.dwRate, info.dwScale, info.dwOverheadPerFrame),
        std::tuple(DWORD(ICCOMPRESSFRAMES_PADDING), 0, 2000000000, 7500, 613366, 4, 29970026u,
                   1000000u, 6356u));
    for (uint32_t i = 0; i < s.frames; ++i) {
        const CompressCall& call = fake.compress[i];
        const bool forced = i % 4 == 0;
        EXPECT_EQ(std::tuple(call.flags, call.hasPrevious, call.frameNumber, call.frameSize,
                             call.quality),
                  std::tuple(forced ? ICCOMPRESS_KEYFRAME : 0u, !forced, LONG(i), 20465u, 7500u))
            << i;
    }
    fake.messages.clear();
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_EQ(fake.messages, (std::vector<UINT>{ICM_COMPRESS_END, DRV_CLOSE}));
    const std::string b = ReadBytes(path);
    EXPECT_EQ(Id(b, 112), "FAKE");  // the handler code is upper-cased in the stream header
    const std::vector<IndexEntry> index = IndexOf(b);
    const auto key = [](const IndexEntry& e) {
        return e.chunkId == FourCC("00dc") && e.flags == 0x10;
    };
    EXPECT_EQ(std::count_if(index.begin(), index.end(), key), 4);  // 0, 2 (by the compressor), 4, 8
    ExpectValidAvi(path);
    std::string written;
    for (const auto& frame : frames) {
        written += TopDown(frame.data(), s.width, s.height, 3);
    }
    ExpectSameBytes(Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24"), written);
}

TEST_F(CompressorContract, KeyRateOneUnnamedChunksAndRateFromTheLastFrame) {
    WriterSetup s = kStandard;
    s.keyFrameRate = 0;  // raised to 1: every frame is a key frame
    s.dataRate = 0;      // no budget, no data rate, no question
    s.width = 33;        // rows of 100 bytes: 20000-byte frames
    s.height = 200;
    fake.chunkId = 0;
    MessageRecorder messages;
    const Clip clip = WriteClip(s, dir.file("unnamed.avi"), 3);
    for (const CompressCall& call : fake.compress) {
        EXPECT_EQ(call.flags, ICCOMPRESS_KEYFRAME);
        EXPECT_EQ(call.frameSize, 0u);
    }
    EXPECT_EQ(fake.frames.lKeyRate, 1);
    EXPECT_EQ(fake.frames.lDataRate, 0);
    EXPECT_TRUE(messages.shown().empty());
    const std::string b = clip.bytes();
    EXPECT_EQ(U32At(b, 32 + 4), 764324u);  // (20000 + 6356) x 29
    EXPECT_EQ(IndexOf(b).at(2).chunkId, FourCC("00dc"));
    ExpectValidAvi(clip.path);
}

// Only a compressor that says it meets a data rate (VIDCF_CRUNCH) gets a byte budget per frame;
// the others are told the data rate once, with the frames information. A file without video
// asks no compressor anything.
TEST_F(CompressorContract, TheBudgetGoesOnlyToCrunchingCompressorsAndAudioAloneProbesNone) {
    WriterSetup s = kStandard;
    fake.infoFlags = VIDCF_QUALITY | VIDCF_TEMPORAL;
    const Clip clip = WriteClip(s, dir.file("quality.avi"), 3, 1000);
    ASSERT_EQ(fake.compress.size(), 3u);
    for (const CompressCall& call : fake.compress) {
        EXPECT_EQ(call.frameSize, 0u);
    }
    EXPECT_EQ(fake.frames.lDataRate, 613366);
    ExpectValidAvi(clip.path);

    fake.messages.clear();
    s.frames = 0;
    void* handle = OpenWriter(s, dir.file("audio.avi"));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(CompressorContract, HostLayoutsReachTheCompressorAsAgreed) {
    WriterSetup s = kStandard;
    s.frames = 2;
    const std::string path = dir.file("layouts.avi");
    void* handle = OpenWriter(s, path);
    ASSERT_NE(handle, nullptr);
    auto yuy2 = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(handle, s, yuy2, FORMAT_ID_YUY2));
    auto rgb32 = TestFrame(s, 1);
    const auto original = rgb32;
    ASSERT_TRUE(WriteFrame(handle, s, rgb32, FORMAT_ID_RGB32));
    ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    const CompressCall& first = fake.compress[0];
    EXPECT_EQ(std::tuple(first.inputCompression, first.inputBitCount, first.inputSize),
              std::tuple(FourCC("YUY2"), WORD(16), uint32_t(s.width * s.height * 2)));
    EXPECT_EQ(std::tuple(fake.compress[1].inputCompression, fake.compress[1].inputBitCount),
              std::tuple(DWORD(BI_RGB), WORD(24)));
    EXPECT_EQ(IndexOf(ReadBytes(path)).at(2).chunkId, FourCC("00dc"));
    for (size_t pixel = 0; pixel < size_t(s.width) * s.height; ++pixel) {
        ASSERT_EQ(memcmp(&rgb32[3 * pixel], &original[4 * pixel], 3), 0) << "converted in place";
    }
    ExpectValidAvi(path);
}

TEST_F(CompressorContract, RefusalsAndTheirMessages) {
    const WriterSetup& s = kStandard;
    MessageRecorder messages;
    fake.frameQuery = ICERR_BADFORMAT;
    EXPECT_EQ(OpenWriter(s, dir.file("refused.avi")), nullptr);
    WriterSetup missing = s;
    missing.handler = FourCC("NONE");
    EXPECT_EQ(OpenWriter(missing, dir.file("missing.avi")), nullptr);
    EXPECT_TRUE(messages.shown().empty());
    fake.frameQuery = ICERR_OK;

    // The compressor refuses to begin or its palette overflows the header room (788), the data
    // rate is too low (789, answered), or there is no video stream to start (786).
    struct Case {
        const char* name;
        LRESULT begin;
        DWORD paletteEntries;
        uint32_t padding, dataRate, frames, message;
        int32_t answer;
        bool starts;
    } cases[] = {
        {"begin", ICERR_UNSUPPORTED, 0, 512, 800, 9, 788, IDOK, false},
        {"palette", ICERR_OK, 256, 0, 800, 9, 788, IDOK, false},
        {"rate-no", ICERR_OK, 0, 512, 100, 9, 789, IDNO, false},
        {"rate-yes", ICERR_OK, 0, 512, 100, 9, 789, IDYES, true},
        {"no-video", ICERR_OK, 0, 512, 800, 0, 786, IDOK, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t shown = messages.shown().size();
        fake.begin = c.begin;
        fake.paletteEntries = c.paletteEntries;
        WriterSetup w = s;
        w.padding = c.padding;
        w.dataRate = c.dataRate;
        w.frames = c.frames;
        const std::string path = dir.file(std::string(c.name) + ".avi");
        void* handle = OpenWriter(w, path);
        ASSERT_NE(handle, nullptr);
        messages.answerNextWith(c.answer);
        auto frame = TestFrame(w, 0);
        EXPECT_EQ(WriteFrame(handle, w, frame), c.starts);
        ASSERT_EQ(messages.shown().size(), shown + 1);
        const ShownMessage& message = messages.shown().back();
        EXPECT_EQ(message.messageId, c.message);
        EXPECT_EQ(message.flags, c.message == 789 ? 0x12034u : 0x12030u);
        EXPECT_EQ(message.text1, HostString(c.message == 786 ? 787 : 785));
        EXPECT_EQ(message.text2, "");
        // A stream that did not start takes nothing more, and leaves no file behind.
        EXPECT_EQ(WriteFrame(handle, w, frame), c.starts);
        EXPECT_EQ(messages.shown().size(), shown + 1);
        if (c.starts) {
            EXPECT_EQ(fake.frames.lDataRate, 0);
        }
        ASSERT_EQ(AVFILE_CloseFileForWrite(handle), 1);
        EXPECT_EQ(std::filesystem::exists(path), c.starts);
    }
}

}  // namespace
}  // namespace zedadu::test
