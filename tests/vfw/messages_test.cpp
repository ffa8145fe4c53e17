// What the built-in compressors answer to the messages of the writer and the settings dialog:
// information, format questions, state and boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/vfw/ffmpeg/bitmap.h"
#include "tests/support/test_support.h"
#include "tests/vfw/vfw_test_support.h"

namespace zedadu::test {
namespace {

struct InfoCase {
    const char* handler;
    DWORD flags;
    const char16_t* description;
    bool options;  // encoder options the configuration box offers
};

constexpr DWORD kTemporal = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;

constexpr InfoCase kInfoCases[] = {
    {"MSVC", kTemporal, u"Video 1 (MSVC)", false},
    {"CVID", VIDCF_QUALITY | kTemporal, u"Cinepak", false},
    {"MJPG", VIDCF_QUALITY | VIDCF_CRUNCH, u"Motion JPEG", true},
    {"dvsd", 0, u"DV (dvsd)", false},
    {"HFYU", 0, u"HuffYUV", true},
    {"FFV1", kTemporal, u"FFV1", true},
    {"XVID", VIDCF_QUALITY | kTemporal, u"MPEG-4 Part 2 (XVID)", true},
    {"ZMBV", kTemporal, u"ZMBV", true},
    {"ULRG", 0, u"Ut Video (ULRG)", true},
    {"ULY2", 0, u"Ut Video (ULY2)", true},
    {"MPNG", 0, u"PNG (MPNG)", true},
};

TEST(CompressorInfoTest, InformationFlagsQualityAndBoxes) {
    for (const InfoCase& expected : kInfoCases) {
        SCOPED_TRACE(expected.handler);
        Compressor compressor = OpenCompressor(Code(expected.handler), ICMODE_COMPRESS);
        ASSERT_TRUE(compressor);
        ICINFO info;
        Poison(info);
        ASSERT_EQ(ICGetInfo(compressor.get(), &info, sizeof info), LRESULT(sizeof info));
        EXPECT_EQ(info.dwSize, sizeof info);
        EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
        EXPECT_EQ(info.fccHandler, Code(expected.handler));
        EXPECT_EQ(info.dwFlags, expected.flags);
        EXPECT_EQ(std::u16string(info.szDescription), expected.description);
        EXPECT_EQ(std::u16string(info.szDriver).substr(0, 11), u"libavcodec:");
        DWORD quality = 0;
        EXPECT_EQ(ICSendMessage(compressor.get(), ICM_GETDEFAULTQUALITY, DWORD_PTR(&quality), 0),
                  ICERR_OK);
        EXPECT_EQ(quality, 7500u);
        // A configuration box exists where there are encoder options; an about box always.
        EXPECT_EQ(ICSendMessage(compressor.get(), ICM_CONFIGURE, DWORD_PTR(ICQUERYBOX), 0),
                  expected.options ? ICERR_OK : ICERR_UNSUPPORTED);
        EXPECT_EQ(ICSendMessage(compressor.get(), ICM_ABOUT, DWORD_PTR(ICQUERYBOX), 0), ICERR_OK);
    }
    // Refused trial opens are answers, not errors: the libraries stay silent.
    EXPECT_EQ(av_log_get_level(), AV_LOG_QUIET);
    Compressor decoder = OpenCompressor(FourCC("iv50"), ICMODE_DECOMPRESS);
    ICINFO info;
    Poison(info);
    EXPECT_EQ(ICGetInfo(decoder.get(), &info, 8), 8);
    EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(info.dwFlags, 0xCCCCCCCCu) << "only 8 bytes are filled";
    ICGetInfo(decoder.get(), &info, sizeof info);
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(std::u16string(info.szDescription), u"indeo5 (IV50)");
}

struct QueryCase {
    const char* handler;
    int width;
    int height;
    WORD bitCount;
    DWORD compression;
    LRESULT expected;
};

// What each encoder takes, including the frame sizes the dialog probes.
constexpr QueryCase kQueryCases[] = {
    {"MSVC", 720, 480, 24, BI_RGB, ICERR_OK},
    {"MSVC", 720, 486, 24, BI_RGB, ICERR_OK},
    {"MSVC", 5, 4, 16, BI_RGB, ICERR_OK},
    {"MSVC", 4, 3, 16, BI_RGB, ICERR_BADFORMAT},
    {"CVID", 240, 176, 32, BI_RGB, ICERR_OK},
    {"CVID", 66, 47, 24, BI_RGB, ICERR_OK},
    {"dvsd", 720, 480, 24, BI_RGB, ICERR_OK},
    {"dvsd", 720, 576, 16, BI_RGB, ICERR_OK},
    {"dvsd", 640, 480, 24, BI_RGB, ICERR_BADFORMAT},
    {"MJPG", 161, 113, 16, kYuy2, ICERR_BADFORMAT},
    {"MJPG", 161, 113, 24, BI_RGB, ICERR_OK},
    {"MJPG", 64, 48, 8, BI_RGB, ICERR_BADFORMAT},
    {"MJPG", 64, 48, 16, BI_BITFIELDS, ICERR_BADFORMAT},
    {"HFYU", 63, 48, 24, BI_RGB, ICERR_OK},
    {"ULY2", 720, 486, 24, BI_RGB, ICERR_OK},
    {"ULY2", 721, 486, 24, BI_RGB, ICERR_BADFORMAT},
    {"XVID", 63, 47, 32, BI_RGB, ICERR_OK},
    {"MPNG", 1, 1, 24, BI_RGB, ICERR_OK},
    {"FFV1", 64, -48, 24, BI_RGB, ICERR_OK},
    {"ZMBV", 0, 48, 24, BI_RGB, ICERR_BADFORMAT},
};

TEST(CompressorFormatTest, QueryRefusesExactlyWhatTheEncoderCannotTake) {
    for (const QueryCase& query : kQueryCases) {
        SCOPED_TRACE(std::string(query.handler) + " " + std::to_string(query.width) + "x" +
                     std::to_string(query.height) + " " + std::to_string(query.bitCount));
        Compressor compressor = OpenCompressor(Code(query.handler), ICMODE_COMPRESS);
        const BITMAPINFOHEADER input =
            UncompressedHeader(query.width, query.height, query.bitCount, query.compression);
        EXPECT_EQ(ICSendMessage(compressor.get(), ICM_COMPRESS_QUERY, DWORD_PTR(&input), 0),
                  query.expected);
        const LRESULT size =
            ICSendMessage(compressor.get(), ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input), 0);
        EXPECT_EQ(size > 0, query.expected == ICERR_OK);
    }
}

// The dialog's colour-depth probe: a 120x160 header of each depth, the proposed output format
// written into 1064 bytes, then the query with both.
TEST(CompressorFormatTest, OutputFormatsFitTheProbeAndCarryExtraData) {
    for (const InfoCase& each : kInfoCases) {
        SCOPED_TRACE(each.handler);
        Compressor compressor = OpenCompressor(Code(each.handler), ICMODE_COMPRESS);
        for (WORD depth : {32, 24, 16}) {
            BITMAPINFOHEADER probe = UncompressedHeader(120, 160, depth);
            std::vector<uint8_t> scratch(1064, 0xCC);
            const LRESULT proposed = ICSendMessage(compressor.get(), ICM_COMPRESS_GET_FORMAT,
                                                   DWORD_PTR(&probe), DWORD_PTR(scratch.data()));
            const bool dv = std::string(each.handler) == "dvsd";
            ASSERT_EQ(proposed, dv ? ICERR_BADFORMAT : ICERR_OK);
            if (!dv) {
                EXPECT_EQ(ICSendMessage(compressor.get(), ICM_COMPRESS_QUERY, DWORD_PTR(&probe),
                                        DWORD_PTR(scratch.data())),
                          ICERR_OK);
            }
        }
    }
    Compressor huffyuv = OpenCompressor(FourCC("HFYU"), ICMODE_COMPRESS);
    const BITMAPINFOHEADER input = UncompressedHeader(64, 48, 24);
    const LRESULT size =
        ICSendMessage(huffyuv.get(), ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input), 0);
    ASSERT_GT(size, 40);
    std::vector<uint8_t> format(static_cast<size_t>(size));
    ASSERT_EQ(ICSendMessage(huffyuv.get(), ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input),
                            DWORD_PTR(format.data())),
              ICERR_OK);
    auto& output = *reinterpret_cast<BITMAPINFOHEADER*>(format.data());
    EXPECT_EQ(output.biSize, DWORD(size));
    EXPECT_EQ(output.biCompression, FourCC("HFYU"));
    EXPECT_EQ(output.biBitCount, 24);
    EXPECT_EQ(output.biSizeImage,
              DWORD(ICSendMessage(huffyuv.get(), ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input), 0)));
    output.biBitCount = 32;
    EXPECT_EQ(ICSendMessage(huffyuv.get(), ICM_COMPRESS_QUERY, DWORD_PTR(&input),
                            DWORD_PTR(format.data())),
              ICERR_BADFORMAT);
}

// A compression begun for one size takes pictures of that size only.
TEST(CompressorFormatTest, PicturesOfAnotherSizeThanBegunAreRefused) {
    Compressor compressor = OpenCompressor(FourCC("MJPG"), ICMODE_COMPRESS);
    BITMAPINFOHEADER begun = UncompressedHeader(64, 48, 24);
    std::vector<uint8_t> format(1064);
    ICSendMessage(compressor.get(), ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&begun),
                  DWORD_PTR(format.data()));
    ASSERT_EQ(ICSendMessage(compressor.get(), ICM_COMPRESS_BEGIN, DWORD_PTR(&begun),
                            DWORD_PTR(format.data())),
              ICERR_OK);
    BITMAPINFOHEADER other = UncompressedHeader(64, 50, 24);
    std::vector<uint8_t> picture(other.biSizeImage), chunk(100000);
    ICCOMPRESS request{};
    request.lpbiOutput = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
    request.lpOutput = chunk.data();
    request.lpbiInput = &other;
    request.lpInput = picture.data();
    EXPECT_EQ(ICSendMessage(compressor.get(), ICM_COMPRESS, DWORD_PTR(&request), sizeof request),
              ICERR_BADFORMAT);
    request.lpbiInput = &begun;
    EXPECT_EQ(ICSendMessage(compressor.get(), ICM_COMPRESS, DWORD_PTR(&request), sizeof request),
              ICERR_OK);
}

}  // namespace
}  // namespace zedadu::test
