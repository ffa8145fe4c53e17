// Files written by ffmpeg, read through the entry points and compared with ffmpeg's own decode of
// the same file: uncompressed video as every tool writes it, and compressed video through the
// installed decompressors.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "frame/text.h"
#include "platform/vfw/compressor.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

struct Clip {
    std::string name;
    std::string encode;  // ffmpeg output options
    int32_t width, height;
    FOURCC handler;     // the decompressor the file needs; 0 for uncompressed frames
    int tolerance = 0;  // largest channel difference allowed against ffmpeg's decode
};

// Frames in order, then scattered with repeats (each a walk from a key frame, a frame after the
// one before, or the same frame again) on a fresh handle.
std::vector<std::vector<uint32_t>> ReadingOrders(uint32_t frames) {
    std::vector<uint32_t> inOrder, scattered;
    for (uint32_t i = 0; i < frames; ++i) {
        inOrder.push_back(i);
        scattered.push_back((i * 7 + 3) % frames);
        if (i % 3 == 0) {
            scattered.push_back(scattered.back());
        }
    }
    return {inOrder, scattered};
}

// Reads a frame in the layout asked for and compares it with ffmpeg's decode (bgr24 and bgra).
void ExpectFrameEqualsReference(ReadingFile& file, const Clip& clip, uint32_t frame,
                                const char* asked, const std::string (&references)[2],
                                uint32_t frames) {
    std::vector<uint8_t> buffer(size_t(clip.width) * clip.height * 4, 0xA5);
    ImageFrameRequest request = FrameRequest(frame, asked, clip.width, clip.height, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request)) << clip.name << " " << frame;
    ASSERT_EQ(std::count(buffer.begin() + request.result.imageSize, buffer.end(), 0xA5),
              long(buffer.size() - request.result.imageSize))
        << "written past the image";
    ASSERT_EQ(request.result.width, clip.width);
    ASSERT_EQ(request.result.height, clip.height);
    // 32-bit frames asked for as RGB24 are delivered as stored and say so.
    const int layout = SameText(request.result.formatId, FORMAT_ID_RGB32) ? 1 : 0;
    const int pixelBytes = 3 + layout;
    const size_t frameBytes = size_t(clip.width) * clip.height * pixelBytes;
    ASSERT_EQ(references[layout].size(), frameBytes * frames);
    const std::string ours = TopDown(buffer.data(), clip.width, clip.height, pixelBytes);
    const char* theirs = references[layout].data() + frameBytes * frame;
    int worst = 0;
    for (size_t b = 0; b < frameBytes; ++b) {
        worst = std::max(worst, std::abs(int(uint8_t(ours[b])) - int(uint8_t(theirs[b]))));
    }
    ASSERT_LE(worst, clip.tolerance) << clip.name << " frame " << frame << " as " << asked;
}

// Reads every frame as RGB24 and RGB32, in order and scattered, and compares it with ffmpeg's
// decode of the same file.
void ExpectFramesEqualFfmpegDecode(const std::string& path, const Clip& clip, uint32_t frames,
                                   const ScratchDirectory& directory) {
    const std::string bgr = directory.file("reference.bgr"),
                      bgra = directory.file("reference.bgra");
    ASSERT_TRUE(Ffmpeg("-i " + path + " -f rawvideo -pix_fmt bgr24 " + bgr));
    ASSERT_TRUE(Ffmpeg("-i " + path + " -f rawvideo -pix_fmt bgra " + bgra));
    const std::string references[] = {ReadBytes(bgr), ReadBytes(bgra)};
    for (const std::vector<uint32_t>& order : ReadingOrders(frames)) {
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        ASSERT_EQ(file.info().frameCount, frames);
        for (const char* asked : {FORMAT_ID_RGB24, FORMAT_ID_RGB32}) {
            for (const uint32_t frame : order) {
                ExpectFrameEqualsReference(file, clip, frame, asked, references, frames);
                if (::testing::Test::HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

TEST(RealFiles, UncompressedFramesAsFfmpegWritesThemReadAsItDecodesThem) {
    ScratchDirectory directory;
    // bgr24 at an odd width: stored top row first with an image size that leaves out the row
    // padding; pal8: a colour table behind the header.
    for (const Clip& clip : {Clip{"bgr24", "-c:v rawvideo -pix_fmt bgr24", 33, 17, 0},
                             Clip{"pal8", "-c:v rawvideo -pix_fmt pal8", 33, 17, 0},
                             Clip{"bgra", "-c:v rawvideo -pix_fmt bgra", 20, 10, 0}}) {
        const std::string path = directory.file(clip.name + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=" + std::to_string(clip.width) + "x" +
                           std::to_string(clip.height) + ":rate=10 -frames:v 7 " + clip.encode +
                           " " + path));
        ExpectFramesEqualFfmpegDecode(path, clip, 7, directory);
        ReadingFile file(path);
        const ReadingFileInfo info = file.info();
        ASSERT_EQ(info.videoFormatCount, 2u);
        EXPECT_EQ(info.videoFormats[0].height, clip.height);
        EXPECT_STREQ(info.videoFormats[0].formatId, FORMAT_ID_RGB24);
        EXPECT_STREQ(info.videoFormats[1].formatId, FORMAT_ID_RGB32);
    }
}

TEST(RealFiles, TheColourTableStartsAtTheHeadersOwnSize) {
    ScratchDirectory directory;
    const std::string path = directory.file("extra.avi");
    std::string table;
    for (int i = 0; i < 256; ++i) {
        table += std::string{char(i), char(255 - i), char(i / 2), 0};
    }
    AviSpec fixture;
    fixture.totalFrames = 1;
    fixture.streams = {
        {FourCC("vids"), FourCC("DIB "), 1, BitmapFormat(4, 1, 8, 0, 4, "xtra", table)}};
    fixture.chunks = {{FourCC("00db"), std::string{1, 2, 3, char(200)}}};
    WriteBytes(path, fixture.build());
    ReadingFile file(path);
    std::vector<uint8_t> buffer(16);
    ImageFrameRequest request = FrameRequest(0, FORMAT_ID_RGB32, 4, 1, buffer);
    ASSERT_TRUE(AVFILE_ReadImageFrame(file.handle(), &request));
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 254, 0, 255, 2, 253, 1, 255, 3, 252, 1, 255, 200, 55,
                                            100, 255}));
}

// msrle has no ffmpeg encoder; run-length frames are read in the malformed-input suite.
TEST(RealFiles, CompressedFramesReadAsFfmpegDecodesThem) {
    ScratchDirectory directory;
    // Both sides decode with libavcodec; the colour conversion of YUV codecs may round apart.
    const Clip clips[] = {
        {"msvideo1", "-c:v msvideo1", 64, 48, FourCC("MSVC")},
        {"cinepak", "-c:v cinepak", 64, 48, FourCC("cvid"), 2},
        {"mjpeg", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", 64, 48, FourCC("MJPG"), 2},
        {"huffyuv", "-c:v huffyuv -pix_fmt bgra", 64, 48, FourCC("HFYU")},
        // Widths that libswscale's vectors overshoot, drawn straight into the host's buffer.
        {"mjpeg-450", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", 450, 30, FourCC("MJPG"), 2},
        {"ffv1-449", "-c:v ffv1 -level 3 -slices 4", 449, 31, FourCC("FFV1"), 2},
        {"dvvideo", "-c:v dvvideo -pix_fmt yuv411p -s 720x480", 720, 480, FourCC("dvsd"), 2},
    };
    for (const Clip& clip : clips) {
        if (!vfw::Compressor(clip.handler, ICMODE_DECOMPRESS)) {
            GTEST_SKIP() << "no decompressor installed for " << clip.name;
        }
        const std::string path = directory.file(clip.name + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=" + std::to_string(clip.width) + "x" +
                           std::to_string(clip.height) + ":rate=30000/1001 -frames:v 12 -g 5 " +
                           clip.encode + " " + path));
        ExpectFramesEqualFfmpegDecode(path, clip, 12, directory);
    }
}

TEST(RealFiles, InfoRecordPathAndFileTime) {
    ScratchDirectory directory;
    const std::string path = directory.file("clip.avi");
    ASSERT_TRUE(Ffmpeg(
        "-f lavfi -i testsrc=size=16x16:rate=10 -frames:v 3 -c:v rawvideo -pix_fmt bgr24 " + path));
    ReadingFile file(directory.file("clip"));  // no dot: ".avi" is appended
    ASSERT_TRUE(file.opened());
    ReadingFileInfo info[2];
    Poison(info);
    info[0].size = sizeof(ReadingFileInfo) - 1;
    EXPECT_EQ(AVFILE_GetReadingFileInfo(file.handle(), &info[0]), 0);
    EXPECT_TRUE(IsPoisonedExceptSize(info));
    info[0].size = sizeof(ReadingFileInfo) + 24;
    ASSERT_EQ(AVFILE_GetReadingFileInfo(file.handle(), &info[0]), 1);
    EXPECT_EQ(info[0].size, sizeof(ReadingFileInfo));
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&info[1])[0], 0xCC);  // nothing past the record
    EXPECT_STREQ(info[0].path, path.c_str());
    EXPECT_EQ(info[0].frameCount, 3u);
    EXPECT_EQ(info[0].audioFormatCount, 0u);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    const uint64_t ticks = 116444736000000000ULL + uint64_t(status.st_mtim.tv_sec) * 10000000ULL +
                           uint64_t(status.st_mtim.tv_nsec) / 100;
    EXPECT_EQ(info[0].lastWriteTime[0] | uint64_t(info[0].lastWriteTime[1]) << 32, ticks);
    EXPECT_STREQ(ReadingOf(file.handle()).audioFormat.description, "0KHz 8bit Mono");

    // A dot in a directory name keeps the path as it is.
    std::filesystem::create_directory(directory.file("v1.0"));
    std::filesystem::copy_file(path, directory.file("v1.0/clip"));
    EXPECT_TRUE(ReadingFile(directory.file("v1.0/clip")).opened());
}

}  // namespace
}  // namespace zedadu::test
