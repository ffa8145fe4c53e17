// Files in the OpenDML form (the settings file's "OpenDML" key), with parts made small so that a
// recording of a few hundred kilobytes has several: their layout chunk by chunk, every index
// against the chunks it names, and what ffmpeg and GStreamer read of them.
#include <fstream>

#include "plugin/plugin.h"
#include "tests/writer/open_dml_support.h"
#include "tests/writer/writer_test_support.h"
#include "writer/writer_internal.h"

namespace zedadu::test {
namespace {

class OpenDml : public WriterTest {
  protected:
    void SetUp() override {
        WriterTest::SetUp();
        std::ofstream(ini()) << "[VideoWritingSettings]\nOpenDML=1\n";
        writer::SetOpenDmlPartBytesForTesting(kPartBytes);
    }
    void TearDown() override {
        writer::SetOpenDmlPartBytesForTesting(0);
        WriterTest::TearDown();
    }
    static constexpr uint64_t kPartBytes = 400000;  // room for the opening records of a lead
};

// Every part within its size, every chunk where its indexes say, the counts of the headers, the
// first part's idx1, padded records aligned in every part, and the whole clip as ffmpeg decodes it.
TEST_F(OpenDml, PartsIndexesAndHeaders) {
    struct Case {
        uint32_t padding;
        int32_t offset;
        bool audio;
    } cases[] = {{0, 0, true}, {512, 1, true}, {2048, 0, true}, {0, 0, false}, {512, 0, false}};
    for (const Case& c : cases) {
        WriterSetup s{.width = 64, .height = 48, .padding = c.padding, .offset = c.offset};
        s.frames = 90;
        s.audio = c.audio;
        const std::string name = "odml-" + std::to_string(c.padding) + "-" +
                                 std::to_string(c.offset) + "-" + std::to_string(c.audio) + ".avi";
        SCOPED_TRACE(name);
        const Clip clip = WriteClip(s, dir.file(name), s.frames, c.audio ? 1764 : 0);
        const OpenDmlFile file = ParseOpenDml(clip.bytes());
        ASSERT_GE(file.parts.size(), 3u);
        for (const OpenDmlPart& part : file.parts) {
            EXPECT_LE(part.bytes, kPartBytes)
                << &part - file.parts.data() << " of " << file.parts.size();
        }
        EXPECT_EQ(file.videoChunks.size(), s.frames);
        EXPECT_EQ(file.grandFrames, s.frames);
        EXPECT_EQ(file.videoLength, s.frames);
        EXPECT_EQ(file.firstPartFrames, file.parts.front().videoChunks);
        EXPECT_EQ(file.audioFrames, clip.audioFrames);
        EXPECT_EQ(file.audioLength, clip.audioFrames);
        EXPECT_EQ(file.legacyEntries, file.parts.front().legacyChunks);
        for (const uint64_t chunk : file.videoChunks) {
            if (c.padding) {
                EXPECT_EQ(chunk % c.padding, 0u) << chunk;
            }
        }
        ExpectValidAvi(clip.path);
        ExpectSameBytes(Decoded(clip.path, "-map 0:v -f rawvideo -pix_fmt bgr24"), clip.topDown(s));
        if (c.audio) {
            ExpectSameBytes(Decoded(clip.path, "-map 0:a -f s16le"),
                            TestSamples(s, 0, clip.audioFrames));
        }
        ExpectGStreamerReadsWhole(clip.path, s.frames, double(s.frames) / s.rate);
        ExpectOurReaderReads(s, clip.path, s.frames);
    }
}

// A file size limit (a disk that fills) in the third part: frames fail from there on, and the file
// is read by ffmpeg up to the last frame that went in, with every index pointing at its chunks.
TEST_F(OpenDml, AFullDiskLeavesAFileReadUpToTheFailure) {
    WriterSetup s{.width = 64, .height = 48, .padding = 512, .offset = 1, .frames = 200};
    s.audio = true;
    const std::string path = dir.file("full.avi");
    void* handle = OpenWriter(s, path);
    uint32_t written = 0, sent = 0;
    {
        const FileSizeLimit limit(2 * kPartBytes + 150000);
        for (uint32_t i = 0; i < s.frames; ++i) {
            auto frame = TestFrame(s, i);
            if (!WriteFrame(handle, s, frame)) {
                break;
            }
            ++written;
            auto samples = TestSamples(s, sent, 1764);
            if (WriteSamples(handle, s, samples, 1764)) {
                sent += 1764;
            }
        }
        EXPECT_GT(written, 30u);  // in the third part
        EXPECT_LT(written, s.frames);
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    ExpectValidAvi(path);
    const std::string decoded = Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24");
    std::string expected;
    for (uint32_t i = 0; i < written; ++i) {
        const auto frame = TestFrame(s, i);
        expected += TopDown(frame.data(), s.width, s.height, 3);
    }
    ExpectSameBytes(decoded, expected);
    const std::string audio = Decoded(path, "-map 0:a -f s16le");
    const auto samples = TestSamples(s, 0, sent);
    ASSERT_LE(audio.size(), samples.size());
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), samples.begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
    ExpectOurReaderReads(s, path, written);
}

// With the key absent or 0 the file is in the legacy form, byte for byte.
TEST_F(OpenDml, TheKeyOffOrAbsentWritesTheLegacyForm) {
    const WriterSetup s{.width = 64, .height = 48, .padding = 512, .frames = 20, .audio = true};
    const std::string on = WriteClip(s, dir.file("on.avi"), s.frames, 1764).bytes();
    std::ofstream(ini()) << "[VideoWritingSettings]\nOpenDML=0\n";
    const std::string off = WriteClip(s, dir.file("off.avi"), s.frames, 1764).bytes();
    std::ofstream(ini()) << "[VideoWritingSettings]\n";
    const std::string absent = WriteClip(s, dir.file("absent.avi"), s.frames, 1764).bytes();
    std::ofstream(ini()) << "[VideoWritingSettings]\nOpenDML=2\n";
    EXPECT_EQ(WriteClip(s, dir.file("two.avi"), s.frames, 1764).bytes(), on);
    EXPECT_NE(on.find("indx"), std::string::npos);
    EXPECT_EQ(off.find("indx"), std::string::npos);
    EXPECT_EQ(off, absent);
    EXPECT_EQ(MovieListAt(off), 488u);
}

}  // namespace
}  // namespace zedadu::test
