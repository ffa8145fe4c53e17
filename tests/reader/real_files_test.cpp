// Files written by ffmpeg, read through the entry points and compared with ffmpeg's own decode of
// the same file: uncompressed video as every tool writes it, and compressed video through the
// installed decompressors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "core/text.h"
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
// one before, or the same frame again), then the last, the first and the middle one alone, each
// order on a fresh handle.
std::vector<std::vector<uint32_t>> ReadingOrders(uint32_t frames) {
    std::vector<uint32_t> inOrder, scattered;
    for (uint32_t i = 0; i < frames; ++i) {
        inOrder.push_back(i);
        scattered.push_back((i * 7 + 3) % frames);
        if (i % 3 == 0) {
            scattered.push_back(scattered.back());
        }
    }
    return {inOrder, scattered, {frames - 1, 0, frames / 2}};
}

// Reads a frame in the layout asked for and compares it with ffmpeg's decode (bgr24 and bgra).
// The reference holds one picture for each frame whose chunk carries one; a frame shows its
// picture (pictureOf), or its own when no map is given.
void ExpectFrameEqualsReference(ReadingFile& file, const Clip& clip, uint32_t frame,
                                const char* asked, const std::string (&references)[2],
                                const std::vector<uint32_t>& pictureOf) {
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
    const uint32_t picture = pictureOf.empty() ? frame : pictureOf[frame];
    ASSERT_LE(frameBytes * (picture + 1), references[layout].size()) << clip.name;
    const std::string ours = TopDown(buffer.data(), clip.width, clip.height, pixelBytes);
    const char* theirs = references[layout].data() + frameBytes * picture;
    int worst = 0;
    for (size_t b = 0; b < frameBytes; ++b) {
        worst = std::max(worst, std::abs(int(uint8_t(ours[b])) - int(uint8_t(theirs[b]))));
    }
    ASSERT_LE(worst, clip.tolerance) << clip.name << " frame " << frame << " as " << asked;
}

// Reads every frame as RGB24 and RGB32, in order and scattered, and compares it with ffmpeg's
// decode of the same file: every picture its decoder puts out, in that order.
void ExpectFramesEqualFfmpegDecode(const std::string& path, const Clip& clip, uint32_t frames,
                                   const ScratchDirectory& directory,
                                   const std::vector<uint32_t>& pictureOf = {}) {
    const std::string bgr = directory.file("reference.bgr"),
                      bgra = directory.file("reference.bgra");
    const std::string decode = "-i " + path + " -fps_mode passthrough -f rawvideo -pix_fmt ";
    ASSERT_TRUE(Ffmpeg(decode + "bgr24 " + bgr));
    ASSERT_TRUE(Ffmpeg(decode + "bgra " + bgra));
    const std::string references[] = {ReadBytes(bgr), ReadBytes(bgra)};
    const size_t pictures = pictureOf.empty() ? frames : pictureOf.back() + 1;
    ASSERT_EQ(references[0].size(), size_t(clip.width) * clip.height * 3 * pictures) << clip.name;
    for (const std::vector<uint32_t>& order : ReadingOrders(frames)) {
        ReadingFile file(path);
        ASSERT_TRUE(file.opened());
        ASSERT_EQ(file.info().frameCount, frames);
        for (const char* asked : {FORMAT_ID_RGB24, FORMAT_ID_RGB32}) {
            for (const uint32_t frame : order) {
                ExpectFrameEqualsReference(file, clip, frame, asked, references, pictureOf);
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

// The picture each frame shows in ffmpeg's decode, which puts out none for chunks of 0 bytes: the
// one before (for leading empty chunks the first).
std::vector<uint32_t> PicturesOfFrames(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    const size_t index = bytes.rfind("idx1");
    std::vector<uint32_t> pictureOf;
    uint32_t pictures = 0;
    for (size_t at = index + 8; index != std::string::npos && at + 16 <= bytes.size(); at += 16) {
        if (Id(bytes, at) == "00dc") {
            pictures += U32At(bytes, at + 12) > 0;
            pictureOf.push_back(std::max(pictures, 1u) - 1);
        }
    }
    return pictureOf;
}

std::string TestPicture(const Clip& clip, double seconds) {
    return "-f lavfi -i testsrc2=size=" + std::to_string(clip.width) + "x" +
           std::to_string(clip.height) + ":rate=25 -t " + std::to_string(seconds) + " ";
}

// Decoders that hold pictures back put them out in display order: frame n is the n-th picture,
// whichever way it is read. MPEG-4 with 1 and 2 B-frames writes open groups (B-frames after a
// key frame that show before it); XviD packs a P- and a B-frame into one chunk and follows it
// with a placeholder; H.264 with a B-frame pyramid and a long group, and with open groups; H.265
// with B-frames.
TEST(RealFiles, FramesOfReorderingCodecsAreTheirPicturesInDisplayOrder) {
    ScratchDirectory directory;
    const Clip clips[] = {
        {"mpeg4-bf1", "-c:v mpeg4 -vtag XVID -bf 1 -g 12 -q:v 4", 96, 64, FourCC("XVID"), 2},
        {"mpeg4-bf2", "-c:v mpeg4 -vtag DX50 -bf 2 -g 12 -q:v 4", 96, 64, FourCC("DX50"), 2},
        {"xvid-packed", "-c:v libxvid -bf 2 -g 12 -vtag XVID", 96, 64, FourCC("XVID"), 2},
        {"h264-pyramid", "-c:v libx264 -bf 3 -b_strategy 0 -g 30", 96, 64, FourCC("H264"), 2},
        {"h264-open", "-c:v libx264 -bf 3 -g 12 -x264-params open-gop=1", 96, 64, FourCC("H264"),
         2},
        {"hevc", "-c:v libx265 -vtag HEVC -x265-params log-level=none:bframes=3 -g 12", 96, 64,
         FourCC("HEVC"), 2},
    };
    for (const Clip& clip : clips) {
        const std::string path = directory.file(clip.name + ".avi");
        if (!Ffmpeg(TestPicture(clip, 1.8) + clip.encode + " " + path)) {
            continue;  // reported; the other clips still run
        }
        ExpectFramesEqualFfmpegDecode(path, clip, 45, directory, PicturesOfFrames(path));
    }
}

// A chunk of 0 bytes (a frame the recorder dropped, written by ffmpeg for a gap in the time
// stamps) carries no picture: its frame shows the picture before it, and the frame count stays.
TEST(RealFiles, DroppedFramesOfReorderingCodecsShowThePictureBefore) {
    ScratchDirectory directory;
    const Clip clip{"mpeg4-drops", "", 96, 64, FourCC("XVID"), 2};
    const std::string path = directory.file("drops.avi");
    ASSERT_TRUE(Ffmpeg(TestPicture(clip, 1.2) +
                       "-vf select='not(between(n\\,5\\,6))*not(eq(n\\,20))' "
                       "-fps_mode passthrough -c:v mpeg4 -vtag XVID -bf 2 -g 12 -q:v 4 " +
                       path));
    const std::vector<uint32_t> pictureOf = PicturesOfFrames(path);
    ASSERT_EQ(pictureOf.size(), 30u);
    ASSERT_EQ(pictureOf.back(), 26u);
    ExpectFramesEqualFfmpegDecode(path, clip, 30, directory, pictureOf);
}

TEST(RealFiles, InfoRecordPathAndFileTime) {
    ScratchDirectory directory;
    const std::string path = directory.file("clip.avi");
    ASSERT_TRUE(Ffmpeg(
        "-f lavfi -i testsrc=size=16x16:rate=10 -frames:v 3 -c:v rawvideo -pix_fmt bgr24 " + path));
    const timespec written[2] = {{946684800, 500}, {946684800, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), written, 0), 0);
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
    EXPECT_EQ(info[0].lastWriteTime[0] | uint64_t(info[0].lastWriteTime[1]) << 32,
              125911584000000005ULL);  // 2000-01-01 00:00:00.0000005 UTC
    EXPECT_STREQ(ReadingOf(file.handle()).audioFormat.description, "0KHz 8bit Mono");

    // A dot in a directory name keeps the path as it is.
    std::filesystem::create_directory(directory.file("v1.0"));
    std::filesystem::copy_file(path, directory.file("v1.0/clip"));
    EXPECT_TRUE(ReadingFile(directory.file("v1.0/clip")).opened());
}

}  // namespace
}  // namespace zedadu::test
