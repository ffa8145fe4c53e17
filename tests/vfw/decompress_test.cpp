// Decompression through the built-in drivers, checked against libavcodec's own decode of clips
// that ffmpeg makes, and against hand-made run-length bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/vfw/builtin.h"
#include "tests/support/test_support.h"
#include "tests/vfw/vfw_test_support.h"

namespace zedadu::test {
namespace {

struct DecodeCase {
    const char* name;
    const char* encoding;  // ffmpeg's options after the test source
    const char* size = "64x48";
    const char* rate = "10";
};

// Every video code of AVI files that Debian's ffmpeg writes and libavcodec decodes; B-frames
// (mpeg4 -bf, libx264) included. DV, FFV1 with slices and MagicYUV decode on slice threads here,
// against libavcodec on one thread.
const DecodeCase kDecodeCases[] = {
    {"MSVC", "-c:v msvideo1"},
    {"CRAM", "-c:v msvideo1 -vtag CRAM"},
    {"cvid", "-c:v cinepak"},
    {"MJPG", "-c:v mjpeg -pix_fmt yuvj422p"},
    {"dvsd_ntsc", "-c:v dvvideo -pix_fmt yuv411p", "720x480", "30000/1001"},
    {"dvsd_pal", "-c:v dvvideo -pix_fmt yuv420p", "720x576", "25"},
    {"HFYU_rgb", "-c:v huffyuv"},
    {"HFYU_yuv", "-c:v huffyuv -pix_fmt yuv422p"},
    {"FFVH", "-c:v ffvhuff"},
    {"FFV1", "-c:v ffv1"},
    {"FFV1_slices", "-c:v ffv1 -level 3 -slices 16", "128x96"},
    {"XVID", "-c:v mpeg4 -vtag XVID"},
    {"XVID_bframes", "-c:v mpeg4 -vtag XVID -bf 2"},
    {"DX50", "-c:v mpeg4 -vtag DX50"},
    {"xvid_libxvid", "-c:v libxvid"},
    {"MP42", "-c:v msmpeg4v2"},
    {"MP43", "-c:v msmpeg4"},
    {"DIV3", "-c:v msmpeg4 -vtag DIV3"},
    {"WMV1", "-c:v wmv1"},
    {"WMV2", "-c:v wmv2"},
    {"ZMBV", "-c:v zmbv"},
    {"ULRG", "-c:v utvideo"},
    {"ULRA", "-c:v utvideo -pix_fmt gbrap"},
    {"ULY0", "-c:v utvideo -pix_fmt yuv420p"},
    {"ULY2", "-c:v utvideo -pix_fmt yuv422p"},
    {"ULY4", "-c:v utvideo -pix_fmt yuv444p"},
    {"M8RG", "-c:v magicyuv"},
    {"M8Y2", "-c:v magicyuv -pix_fmt yuv422p"},
    {"MPNG", "-c:v png"},
    {"H264", "-c:v libx264 -pix_fmt yuv420p"},
    {"H261", "-c:v h261", "352x288"},
    {"H263", "-c:v h263", "352x288"},
    {"FLV1", "-c:v flv"},
    {"ASV1", "-c:v asv1"},
    {"ASV2", "-c:v asv2"},
    {"AYUV", "-c:v ayuv"},
    {"CFHD", "-c:v cfhd"},
    {"CLJR", "-c:v cljr"},
    {"drac", "-c:v vc2"},
    {"FSV1", "-c:v flashsv"},
    {"mpg1", "-c:v mpeg1video", "64x48", "25"},
    {"mpg2", "-c:v mpeg2video"},
    {"MJLS", "-c:v jpegls"},
    {"mjp2", "-c:v jpeg2000"},
    {"R10k", "-c:v r10k"},
    {"r210", "-c:v r210"},
    {"YUY2", "-c:v rawvideo -pix_fmt yuyv422"},
    {"UYVY", "-c:v rawvideo -pix_fmt uyvy422"},
    {"azpr", "-c:v rpza"},
    {"SNOW", "-c:v snow"},
    {"SHQ4", "-c:v speedhq"},
    {"svq1", "-c:v svq1"},
    {"tga", "-c:v targa"},
    {"theo", "-c:v libtheora"},
    {"v210", "-c:v v210"},
    {"v308", "-c:v v308"},
    {"v408", "-c:v v408"},
    {"v410", "-c:v v410"},
    {"VP80", "-c:v libvpx"},
    {"VP90", "-c:v libvpx-vp9"},
    {"AV01", "-c:v libaom-av1 -cpu-used 8"},
    {"Y41P", "-c:v y41p"},
    {"yuv4", "-c:v yuv4"},
    {"ZLIB", "-c:v zlib"},
    {"dpx", "-c:v dpx"},
    {"AMVF", "-c:v amv", "64x48", "25"},
    {"ap4h", "-c:v prores"},
    {"Hap1", "-c:v hap"},
    // Widths libswscale does not write exactly: an even one that is no multiple of 8, an odd one.
    {"MJPG_450", "-c:v mjpeg -pix_fmt yuvj422p", "450x20"},
    {"FFV1_449", "-c:v ffv1", "449x21"},
};

struct OutputCase {
    const char* name;
    WORD bitCount;
    DWORD compression;
    bool scaled;  // one and a half times the source size plus one column: padded rows
};

constexpr OutputCase kOutputs[] = {
    {"RGB24", 24, BI_RGB, false}, {"RGB32", 32, BI_RGB, false},       {"RGB16", 16, BI_RGB, false},
    {"YUY2", 16, kYuy2, false},   {"RGB24 scaled", 24, BI_RGB, true},
};

::testing::AssertionResult SameBytes(const std::vector<uint8_t>& actual,
                                     const std::vector<uint8_t>& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto [at, _] =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at byte " << at - actual.begin();
}

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

// A bitmap between guard bytes, its row padding filled with them too: the layer writes the bytes
// of the rows and nothing else.
class GuardedBitmap {
  public:
    explicit GuardedBitmap(const BitmapLayout& layout)
        : layout_(layout), bytes_(kGuard + layout.ImageSize() + kGuard, kGuardByte) {
        const size_t rowBytes = layout.pixelFormat == AV_PIX_FMT_YUYV422
                                    ? size_t(layout.width + 1) / 2 * 4
                                    : size_t(layout.width) * BytesPerPixel(layout.pixelFormat);
        guarded_.push_back({0, kGuard});
        for (int row = 0; row < layout.height; ++row) {
            guarded_.push_back({kGuard + row * size_t(layout.stride) + rowBytes,
                                kGuard + (row + 1) * size_t(layout.stride)});
        }
        guarded_.push_back({bytes_.size() - kGuard, bytes_.size()});
    }
    uint8_t* bits() { return bytes_.data() + kGuard; }
    std::vector<uint8_t> image() const {
        return {bytes_.begin() + kGuard, bytes_.end() - long(kGuard)};
    }
    ::testing::AssertionResult GuardsIntact() const {
        for (const auto& [begin, end] : guarded_) {
            for (size_t i = begin; i < end; ++i) {
                if (bytes_[i] != kGuardByte) {
                    return ::testing::AssertionFailure()
                           << "byte " << long(i) - long(kGuard) << " of a " << layout_.width
                           << " pixels wide bitmap written";
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

  private:
    BitmapLayout layout_;
    std::vector<uint8_t> bytes_;
    std::vector<std::pair<size_t, size_t>> guarded_;
};

// Decodes every chunk through ICDecompress and through libavcodec as libavformat sets it up,
// both converted by libswscale with the same flags, and compares the pictures after each call.
// Every other chunk is prerolled (decoded, nothing drawn) and then drawn by an update. No chunk of
// these whole clips is reported as damaged.
void ExpectBitExact(const std::string& clip, AviVideo& video, const OutputCase& output) {
    BITMAPINFOHEADER& source = video.Header();
    const int width = output.scaled ? source.biWidth * 3 / 2 + 1 : source.biWidth;
    const int height =
        output.scaled ? std::abs(source.biHeight) * 3 / 2 : std::abs(source.biHeight);
    BITMAPINFOHEADER target =
        UncompressedHeader(width, height, output.bitCount, output.compression);
    const BitmapLayout layout = *UncompressedLayout(target);
    const int rowBytes = width * BytesPerPixel(layout.pixelFormat);

    Compressor decompressor = OpenCompressor(source.biCompression, ICMODE_DECOMPRESS);
    ASSERT_TRUE(decompressor);
    ASSERT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_QUERY, DWORD_PTR(&source),
                            DWORD_PTR(&target)),
              ICERR_OK);
    ASSERT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_BEGIN, DWORD_PTR(&source),
                            DWORD_PTR(&target)),
              ICERR_OK);
    CodecContext reference = OpenDecoderForFile(clip);
    ASSERT_TRUE(reference);

    GuardedBitmap bitmap(layout);
    std::vector<uint8_t> expected(size_t(rowBytes) * height, kGuardByte);
    Frame latest;
    for (size_t i = 0; i < video.chunks.size(); ++i) {
        const std::vector<uint8_t>& chunk = video.chunks[i];
        const bool key = video.flags[i] & AVIIF_KEYFRAME;
        const DWORD preroll = i % 2 ? ICDECOMPRESS_PREROLL : 0;
        const std::vector<uint8_t> before = bitmap.image();
        source.biSizeImage = DWORD(chunk.size());
        const DWORD result =
            ICDecompress(decompressor.get(), (key ? 0 : ICDECOMPRESS_NOTKEYFRAME) | preroll,
                         &source, const_cast<uint8_t*>(chunk.data()), &target, bitmap.bits());
        ASSERT_TRUE(LRESULT(int32_t(result)) >= ICERR_OK) << "chunk " << i << " said to be damaged";
        if (preroll) {
            ASSERT_TRUE(bitmap.image() == before) << "chunk " << i << " drawn";
            source.biSizeImage = 0;
            ICDecompress(decompressor.get(), ICDECOMPRESS_UPDATE, &source, nullptr, &target,
                         bitmap.bits());
        }
        if (Frame frame = DecodeChunk(reference.get(), chunk, key)) {
            latest = std::move(frame);
        }
        if (latest) {
            expected = ConvertFrame(*latest, layout.pixelFormat, width, height, rowBytes);
        }
        ASSERT_TRUE(bitmap.GuardsIntact()) << "chunk " << i;
        ASSERT_TRUE(SameBytes(TopDownRows(bitmap.image(), layout, rowBytes), expected))
            << "chunk " << i;
    }
    // A 0-byte chunk is a dropped frame: the picture stays.
    const std::vector<uint8_t> before = bitmap.image();
    source.biSizeImage = 0;
    EXPECT_EQ(ICDecompress(decompressor.get(), ICDECOMPRESS_NOTKEYFRAME, &source, nullptr, &target,
                           bitmap.bits()),
              DWORD(ICERR_OK));
    EXPECT_TRUE(bitmap.image() == before);
    EXPECT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_END, 0, 0), ICERR_OK);
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, EveryChunkMatchesLibavcodecBitExactInEveryLayout) {
    const DecodeCase& decodeCase = GetParam();
    ScratchDirectory directory;
    const std::string clip = directory.file("clip.avi");
    ASSERT_TRUE(Ffmpeg(std::string("-f lavfi -i testsrc2=size=") + decodeCase.size + ":rate=" +
                       decodeCase.rate + " -frames:v 6 " + decodeCase.encoding + " " + clip));
    AviVideo video = ReadAviVideo(clip);
    ASSERT_EQ(video.chunks.size(), 6u);
    for (const OutputCase& output : kOutputs) {
        SCOPED_TRACE(output.name);
        ExpectBitExact(clip, video, output);
    }
}

// Motion JPEG whose entropy-coded data is damaged (stuffed 0xFF bytes: all-ones bits, no Huffman
// code) decodes to a concealed picture, which is drawn, and answers ICERR_ERROR, drawn, hurried
// or prerolled; the next whole chunk answers ICERR_OK.
TEST(DamagedChunkTest, DecodeErrorsAreAnErrorResultAfterThePictureIsDrawn) {
    ScratchDirectory directory;
    const std::string clip = directory.file("clip.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=64x48 -frames:v 2 -c:v mjpeg " + clip));
    AviVideo video = ReadAviVideo(clip);
    std::vector<uint8_t> damaged = video.chunks[0];
    const uint8_t startOfScan[] = {0xFF, 0xDA};
    const auto scan =
        std::search(damaged.begin(), damaged.end(), std::begin(startOfScan), std::end(startOfScan));
    ASSERT_NE(scan, damaged.end());
    const size_t coded = size_t(scan - damaged.begin()) + 2 + (scan[2] << 8 | scan[3]);
    for (size_t at = coded + 16; at < coded + 48; at += 2) {
        damaged[at] = 0xFF;
        damaged[at + 1] = 0;
    }
    BITMAPINFOHEADER& source = video.Header();
    BITMAPINFOHEADER target = UncompressedHeader(64, 48, 24);
    Compressor decompressor = OpenCompressor(source.biCompression, ICMODE_DECOMPRESS);
    ASSERT_TRUE(decompressor);
    const auto decode = [&](const std::vector<uint8_t>& chunk, DWORD flags, uint8_t* bits) {
        source.biSizeImage = DWORD(chunk.size());
        return ICDecompress(decompressor.get(), flags, &source, const_cast<uint8_t*>(chunk.data()),
                            &target, bits);
    };
    std::vector<uint8_t> bitmap(target.biSizeImage, kGuardByte);
    EXPECT_EQ(decode(damaged, 0, bitmap.data()), DWORD(ICERR_ERROR));
    EXPECT_NE(std::count(bitmap.begin(), bitmap.end(), kGuardByte), ptrdiff_t(bitmap.size()))
        << "the concealed picture is drawn";
    for (const DWORD flags : {ICDECOMPRESS_HURRYUP, ICDECOMPRESS_PREROLL}) {
        EXPECT_EQ(decode(damaged, flags, bitmap.data()), DWORD(ICERR_ERROR)) << flags;
    }
    EXPECT_EQ(decode(video.chunks[1], 0, bitmap.data()), DWORD(ICERR_OK));
}

INSTANTIATE_TEST_SUITE_P(FfmpegClips, DecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A 4x2 run-length bitmap: bottom row four pixels of colour 1, top row two of colour 2 and two of
// colour 3. The reader hands run-length streams over as plain bitmaps of the "MRLE" driver.
TEST(RunLengthTest, PaletteColoursLandInBitmapRowOrder) {
    struct Format {
        BITMAPINFOHEADER header;
        RGBQUAD palette[4];
    } format{};
    format.header = UncompressedHeader(4, 2, 8, BI_RLE8);
    format.header.biClrUsed = 4;
    format.palette[1] = {10, 20, 30, 0};
    format.palette[2] = {40, 50, 60, 0};
    format.palette[3] = {70, 80, 90, 0};
    const uint8_t rle[] = {4, 1, 0, 0, 2, 2, 2, 3, 0, 1};
    format.header.biSizeImage = sizeof rle;
    for (DWORD compression : {BI_RLE8, BI_RGB}) {
        format.header.biCompression = compression;
        Compressor decompressor = OpenCompressor(FourCC("MRLE"), ICMODE_DECOMPRESS);
        ASSERT_TRUE(decompressor);
        BITMAPINFOHEADER rgb24 = UncompressedHeader(4, 2, 24);
        std::vector<uint8_t> bitmap(rgb24.biSizeImage);
        ICDecompress(decompressor.get(), 0, &format.header, const_cast<uint8_t*>(rle), &rgb24,
                     bitmap.data());
        const std::vector<uint8_t> expected = {10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30,
                                               40, 50, 60, 40, 50, 60, 70, 80, 90, 70, 80, 90};
        EXPECT_EQ(bitmap, expected) << "compression " << compression;
        BITMAPINFOHEADER rgb32 = UncompressedHeader(4, 2, 32);
        std::vector<uint8_t> wide(rgb32.biSizeImage);
        ICDecompress(decompressor.get(), 0, &format.header, const_cast<uint8_t*>(rle), &rgb32,
                     wide.data());
        EXPECT_EQ(std::vector<uint8_t>(wide.begin(), wide.begin() + 4),
                  (std::vector<uint8_t>{10, 20, 30, 255}));
    }
}

// The decompressor proposes the source size in a layout it was offered, else 24-bit RGB.
TEST(DecoderCodesTest, GetFormatKeepsAnOfferedLayoutAtTheSourceSize) {
    Compressor decompressor = OpenCompressor(FourCC("MJPG"), ICMODE_DECOMPRESS);
    BITMAPINFOHEADER source = UncompressedHeader(320, 240, 24, FourCC("MJPG"));
    EXPECT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_GET_FORMAT, DWORD_PTR(&source), 0),
              LRESULT(sizeof(BITMAPINFOHEADER)));
    BITMAPINFOHEADER offered = UncompressedHeader(100, 50, 16, kYuy2);
    ASSERT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_GET_FORMAT, DWORD_PTR(&source),
                            DWORD_PTR(&offered)),
              ICERR_OK);
    const BITMAPINFOHEADER yuy2 = UncompressedHeader(320, 240, 16, kYuy2);
    EXPECT_EQ(0, memcmp(&offered, &yuy2, sizeof offered));
    BITMAPINFOHEADER palettised = UncompressedHeader(100, 50, 8);
    ASSERT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_GET_FORMAT, DWORD_PTR(&source),
                            DWORD_PTR(&palettised)),
              ICERR_OK);
    const BITMAPINFOHEADER rgb24 = UncompressedHeader(320, 240, 24);
    EXPECT_EQ(0, memcmp(&palettised, &rgb24, sizeof palettised));
    EXPECT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_QUERY, DWORD_PTR(&source),
                            DWORD_PTR(&palettised)),
              ICERR_OK);
    palettised.biBitCount = 8;
    EXPECT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_QUERY, DWORD_PTR(&source),
                            DWORD_PTR(&palettised)),
              ICERR_BADFORMAT);
}

// Codes of the same codecs and of libavcodec's other decoders open for decompression, take a
// format of their own code, and describe themselves.
TEST(DecoderCodesTest, AliasesAndListedCodesOpenForDecompression) {
    std::vector<FOURCC> codes;
    for (const char* code :
         {"CRAM", "WHAM", "MRLE", "dmb1", "dv25", "dvsl", "dvhd", "dv50", "FFVH", "DIVX",
          "DX50", "FMP4", "xvid", "DIV3", "IV31", "IV32", "IV41", "IV50", "ULY0", "ULY4",
          "MAGY", "X264", "AVC1", "TSCC", "YUY2", "UYVY", "YVYU", "YV12", "I420", "Y800"}) {
        codes.push_back(Code(code));
    }
    for (const auto& builtIn : vfw::BuiltInCompressors()) {
        codes.push_back(builtIn.handler);
    }
    for (FOURCC code : codes) {
        SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&code), 4));
        Compressor decompressor = OpenCompressor(code, ICMODE_DECOMPRESS);
        ASSERT_TRUE(decompressor);
        BITMAPINFOHEADER format = UncompressedHeader(64, 48, 24, code);
        BITMAPINFOHEADER rgb = UncompressedHeader(64, 48, 32);
        EXPECT_EQ(ICSendMessage(decompressor.get(), ICM_DECOMPRESS_QUERY, DWORD_PTR(&format),
                                DWORD_PTR(&rgb)),
                  ICERR_OK);
        ICINFO info{};
        EXPECT_EQ(ICGetInfo(decompressor.get(), &info, sizeof info), LRESULT(sizeof info));
        EXPECT_NE(info.szDescription[0], u'\0');
    }
    EXPECT_FALSE(OpenCompressor(FourCC("DIB "), ICMODE_DECOMPRESS));
    EXPECT_FALSE(OpenCompressor(FourCC("XYZ1"), ICMODE_DECOMPRESS));
    EXPECT_FALSE(OpenCompressor(FourCC("DIVX"), ICMODE_COMPRESS));
}

struct KeyFrameCase {
    const char* name;
    const char* encoding;
    bool everyChunk;  // the codec codes every picture alone
    bool reorders;    // pictures come out later than their chunks
};

// Whatever way the layer tells (for every chunk at once, by the parser's picture type, or by a
// trial decode), every key frame the encoder made is found, and every chunk said to decode alone
// gives alone what it gives in order.
TEST(KeyFrameQueryTest, ChunksSaidToDecodeAloneDoAndTheEncodersKeyFramesAreFound) {
    const KeyFrameCase cases[] = {
        {"MSVC", "-c:v msvideo1 -g 5", false, false},
        {"cvid", "-c:v cinepak -g 5", false, false},
        {"FFV1", "-c:v ffv1 -g 5", false, false},
        {"ZMBV", "-c:v zmbv -g 5", false, false},
        {"MP43", "-c:v msmpeg4 -g 5", false, false},
        {"XVID", "-c:v mpeg4 -vtag XVID -g 5", false, false},
        {"XVID_bframes", "-c:v mpeg4 -vtag XVID -bf 2 -g 6", false, true},
        {"H264", "-c:v libx264 -pix_fmt yuv420p -g 6", false, true},
        {"MPNG", "-c:v png", false, false},
        {"MJPG", "-c:v mjpeg -pix_fmt yuvj422p", true, false},
        {"HFYU", "-c:v huffyuv", true, false},
    };
    ScratchDirectory directory;
    for (const KeyFrameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string clip = directory.file(std::string(c.name) + ".avi");
        ASSERT_TRUE(Ffmpeg(std::string("-f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 16 ") +
                           c.encoding + " " + clip));
        AviVideo video = ReadAviVideo(clip);
        BITMAPINFOHEADER& header = video.Header();
        Compressor probe = OpenCompressor(header.biCompression, ICMODE_DECOMPRESS);
        ASSERT_TRUE(probe);
        header.biSizeImage = 0;
        EXPECT_EQ(ICSendMessage(probe.get(), ICM_DECOMPRESS_KEYFRAME_QUERY, DWORD_PTR(&header), 0),
                  c.everyChunk ? 1 : 0);
        CodecContext inOrder = OpenDecoderForFormat(header);
        int dependent = 0;
        for (size_t i = 0; i < video.chunks.size(); ++i) {
            const std::vector<uint8_t>& chunk = video.chunks[i];
            const bool encoderKey = video.flags[i] & AVIIF_KEYFRAME;
            header.biSizeImage = DWORD(chunk.size());
            const LRESULT alone = ICSendMessage(probe.get(), ICM_DECOMPRESS_KEYFRAME_QUERY,
                                                DWORD_PTR(&header), DWORD_PTR(chunk.data()));
            ASSERT_TRUE(alone == 0 || alone == 1) << alone;
            dependent += alone == 0;
            EXPECT_TRUE(alone == 1 || !encoderKey) << "chunk " << i;
            const Frame picture = DecodeChunk(inOrder.get(), chunk, encoderKey);
            if (alone == 1 && !c.reorders) {
                CodecContext fresh = OpenDecoderForFormat(header);
                const Frame first = DecodeChunk(fresh.get(), chunk, true);
                ASSERT_TRUE(picture && first) << "chunk " << i;
                EXPECT_EQ(ConvertFrame(*first, AV_PIX_FMT_BGR24, 64, 48, 64 * 3),
                          ConvertFrame(*picture, AV_PIX_FMT_BGR24, 64, 48, 64 * 3))
                    << "chunk " << i;
            }
        }
        EXPECT_EQ(dependent == 0, c.everyChunk || std::string(c.name) == "MPNG");
    }
}

}  // namespace
}  // namespace zedadu::test
