// Every compressor the layer offers at sizes from 2 x 2 to 4096 x 2160, through the entry points:
// recorded and decoded by ffmpeg, or refused at open where the compressor says it does not take
// the size.
// 4096 x 2160 runs in its own executable (label "large"): Cinepak takes half a minute a frame.
#include <cmath>

#include "platform/vfw/vfw.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

struct Size {
    int32_t width;
    int32_t height;
};

#ifdef ZEDADU_LARGE_FRAME_SIZES
constexpr Size kSizes[] = {{4096, 2160}};
#define ZEDADU_FRAME_SIZE_SUITE LargeFrames
#else
constexpr Size kSizes[] = {{2, 2}, {3, 3}, {641, 479}, {720, 486}, {1920, 1080}};
#define ZEDADU_FRAME_SIZE_SUITE Frames
#endif

struct Compressor {
    const char* handler;
    double psnrFloor;  // 0: lossless, the frames come back exactly
    // Video 1 codes whole 4x4 blocks from the top left; its decoders leave the rest black.
    bool wholeBlocks = false;
    // What the compressor says it takes.
    Size minimum{1, 1};
    Size step{1, 1};
    bool dvSizesOnly = false;
};

void PrintTo(const Compressor& compressor, std::ostream* out) {
    *out << compressor.handler;
}

// The top-left width x height pixels of a picture of rows `rowWidth` pixels long, bgr24.
std::string Region(const std::string& picture, int32_t rowWidth, int32_t width, int32_t height) {
    std::string region;
    for (int32_t y = 0; y < height; ++y) {
        region += picture.substr(size_t(y) * rowWidth * 3, size_t(width) * 3);
    }
    return region;
}

double Psnr(const std::string& a, const std::string& b) {
    double squared = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
        squared += d * d;
    }
    return squared == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / squared);
}

// What ffmpeg decodes of the first frame, against the frame sent.
void ExpectFirstFrameDecoded(const Compressor& compressor, const WriterSetup& s, const Clip& clip) {
    const std::string decoded = Decoded(clip.path, "-frames:v 1 -f rawvideo -pix_fmt bgr24");
    const std::string sent = TopDown(clip.frames[0].data(), s.width, s.height, 3);
    ASSERT_EQ(decoded.size(), sent.size());
    int32_t codedWidth = s.width, codedHeight = s.height;
    if (compressor.wholeBlocks) {
        codedWidth = s.width / 4 * 4;
        codedHeight = s.height / 4 * 4;
        const std::string uncodedRows = decoded.substr(size_t(codedHeight) * s.width * 3);
        EXPECT_EQ(uncodedRows, std::string(uncodedRows.size(), '\0')) << "the last rows";
        for (int32_t y = 0; y < codedHeight; ++y) {
            const std::string right =
                decoded.substr((size_t(y) * s.width + codedWidth) * 3, (s.width - codedWidth) * 3);
            ASSERT_EQ(right, std::string(right.size(), '\0')) << "the last columns, row " << y;
        }
    }
    const std::string coded = Region(decoded, s.width, codedWidth, codedHeight);
    const std::string original = Region(sent, s.width, codedWidth, codedHeight);
    if (compressor.psnrFloor == 0) {
        ExpectSameBytes(coded, original);
    } else if (!coded.empty()) {
        EXPECT_GE(Psnr(coded, original), compressor.psnrFloor);
    }
}

ICFRAMESIZES StatedSizes(FOURCC handler) {
    ICFRAMESIZES sizes{};
    sizes.dwSize = sizeof sizes;
    HIC compressor = ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS);
    EXPECT_EQ(ICSendMessage(compressor, ICM_COMPRESS_FRAME_SIZES, 0, DWORD_PTR(&sizes)), ICERR_OK);
    ICClose(compressor);
    return sizes;
}

void ExpectStatement(const Compressor& compressor, const ICFRAMESIZES& sizes) {
    EXPECT_EQ(sizes.cxMin, compressor.minimum.width);
    EXPECT_EQ(sizes.cyMin, compressor.minimum.height);
    EXPECT_EQ(sizes.cxStep, compressor.step.width);
    EXPECT_EQ(sizes.cyStep, compressor.step.height);
    ASSERT_EQ(sizes.cListed, compressor.dvSizesOnly ? 2u : 0u);
    if (compressor.dvSizesOnly) {
        EXPECT_EQ(sizes.listed[0].cx, 720);
        EXPECT_EQ(sizes.listed[0].cy, 480);
        EXPECT_EQ(sizes.listed[1].cx, 720);
        EXPECT_EQ(sizes.listed[1].cy, 576);
    }
}

bool Takes(const ICFRAMESIZES& sizes, const Size& size) {
    bool listed = sizes.cListed == 0;
    for (DWORD i = 0; i < sizes.cListed; ++i) {
        listed = listed || (sizes.listed[i].cx == size.width && sizes.listed[i].cy == size.height);
    }
    return listed && size.width >= sizes.cxMin && size.height >= sizes.cyMin &&
           size.width % sizes.cxStep == 0 && size.height % sizes.cyStep == 0;
}

class FrameSizes : public WriterTest, public testing::WithParamInterface<Compressor> {};

// Sizes the compressor says it does not take are refused at open, without a message (the host
// can then tell the user what the compressor says); the others record and decode.
TEST_P(FrameSizes, EverySizeIsRecordedOrRefusedAsTheCompressorSays) {
    const Compressor compressor = GetParam();
    const char* code = compressor.handler;
    const FOURCC handler = mmioFOURCC(code[0], code[1], code[2], code[3]);
    const ICFRAMESIZES stated = StatedSizes(handler);
    ExpectStatement(compressor, stated);
    for (const Size& size : kSizes) {
        WriterSetup s{.handler = handler, .width = size.width, .height = size.height};
        s.frames = size.width * size.height > 720 * 576 ? 1 : 2;
        s.smooth = true;
        const std::string path = dir.file(std::string(code) + "-" + std::to_string(size.width) +
                                          "x" + std::to_string(size.height) + ".avi");
        SCOPED_TRACE(path);
        if (!Takes(stated, size)) {
            MessageRecorder messages;
            EXPECT_EQ(OpenWriter(s, path), nullptr);
            EXPECT_TRUE(messages.shown().empty());
            continue;
        }
        const Clip clip = WriteClip(s, path, s.frames);
        ASSERT_EQ(clip.frames.size(), s.frames);
        ExpectValidAvi(path);
        ExpectFirstFrameDecoded(compressor, s, clip);
        std::filesystem::remove(path);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ZEDADU_FRAME_SIZE_SUITE, FrameSizes,
    testing::Values(Compressor{"MSVC", 24, true, {4, 4}}, Compressor{"CVID", 22},
                    Compressor{"MJPG", 25}, Compressor{"dvsd", 25, false, {1, 1}, {1, 1}, true},
                    Compressor{"HFYU", 0}, Compressor{"FFV1", 0}, Compressor{"XVID", 25},
                    Compressor{"ZMBV", 0}, Compressor{"ULRG", 0},
                    Compressor{"ULY2", 28, false, {2, 1}, {2, 1}}, Compressor{"MPNG", 0}),
    [](const testing::TestParamInfo<Compressor>& info) { return std::string(info.param.handler); });

}  // namespace
}  // namespace zedadu::test
