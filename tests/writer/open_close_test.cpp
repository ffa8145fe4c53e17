// Opening for write: the output name, an existing file, the writing handle's formats and what the
// writer refuses; closing a handle that never streamed.
#include <filesystem>
#include <fstream>
#include <tuple>

#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

using OpenClose = WriterTest;

TEST_F(OpenClose, OutputNamesAndExistingFiles) {
    WriterSetup s;
    OpenRequest clip(s, dir.file("clip"));
    void* handle = nullptr;
    ASSERT_EQ(AVFILE_OpenFileForWrite(&handle, &clip.request), 1);
    EXPECT_EQ(std::string(clip.name), dir.file("clip.avi"));
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no frame, no file";

    std::filesystem::create_directory(dir.path() / "archive.old");
    const std::string dotted = dir.file("archive.old/clip");
    WriteClip(s, dotted, 1);
    EXPECT_TRUE(std::filesystem::exists(dotted));

    MessageRecorder messages;
    s.options = 1;
    messages.answerNextWith(IDNO);
    void* refused = &refused;
    OpenRequest ask(s, dotted);
    EXPECT_EQ(AVFILE_OpenFileForWrite(&refused, &ask.request), 0);
    EXPECT_EQ(refused, nullptr);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].messageId, 63u);
    EXPECT_EQ(messages.shown()[0].text1, dotted);
    EXPECT_EQ(messages.shown()[0].flags, 0x12034u);
    EXPECT_TRUE(std::filesystem::exists(dotted));
    handle = OpenWriter(s, dotted);  // answered Yes
    EXPECT_FALSE(std::filesystem::exists(dotted));
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    s.options = 0;
    std::ofstream(dotted) << "old";
    handle = OpenWriter(s, dotted);
    EXPECT_FALSE(std::filesystem::exists(dotted));
    EXPECT_EQ(messages.shown().size(), 2u) << "replaced without a question";
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);

    // The path with its extension must fit 999 characters.
    const std::string base = dir.file("");
    handle = OpenWriter(s, base + std::string(995 - base.size(), 'n'));
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_EQ(OpenWriter(s, base + std::string(996 - base.size(), 'n')), nullptr);
}

TEST_F(OpenClose, WritingHandleFormatsAndInfo) {
    WriterSetup s{.width = 720, .height = 486, .videoId = FORMAT_ID_RGB16, .audio = true};
    s.sampleRate = 22050;
    s.audioId = FORMAT_ID_PCM8;
    OpenRequest open(s, dir.file("formats.avi"));
    open.request.video.flags = 0x1000000A;
    void* opened = nullptr;
    ASSERT_EQ(AVFILE_OpenFileForWrite(&opened, &open.request), 1);
    const writer::WritingFile& writing = WritingOf(opened);
    const BITMAPINFOHEADER& bitmap = writing.frameFormat.header;
    EXPECT_EQ(std::tuple(bitmap.biBitCount, bitmap.biSizeImage, writing.videoFormat.flags),
              std::tuple(WORD(16), 699840u, 0x102u));
    EXPECT_EQ(writing.videoFormat.settingsBlock, nullptr);
    WritingFileInfo info;
    Poison(info);
    info.size = sizeof info - 1;
    EXPECT_EQ(AVFILE_GetWritingFileInfo(opened, &info), 0);
    EXPECT_TRUE(IsPoisonedExceptSize(info));
    info.size = sizeof info + 8;
    ASSERT_EQ(AVFILE_GetWritingFileInfo(opened, &info), 1);
    EXPECT_EQ(info.size, sizeof info);
    EXPECT_EQ(info.videoFlags, 0x1000000Au);
    ASSERT_EQ(info.videoFormatCount, 2u);
    EXPECT_STREQ(info.videoFormats[0].formatId, FORMAT_ID_RGB24);
    EXPECT_EQ(info.videoFormats[0].imageSize, 720u * 486 * 3);
    EXPECT_STREQ(info.videoFormats[1].formatId, FORMAT_ID_RGB32);
    EXPECT_EQ(info.videoFormats[1].imageSize, 720u * 486 * 4);
    ASSERT_EQ(info.audioFormatCount, 2u);
    EXPECT_STREQ(info.audioFormats[1].formatId, FORMAT_ID_PCM16);
    EXPECT_EQ(info.audioFormats[1].frameBytes, 4u);
    EXPECT_EQ(AVFILE_CloseFileForWrite(opened), 1);

    s.videoId = FORMAT_ID_RGB24;
    s.width = 3;
    for (const uint32_t frames : {0u, 1u}) {  // audio only; rows padded to 4 bytes
        s.frames = frames;
        opened = OpenWriter(s, dir.file("narrow.avi"));
        ASSERT_NE(opened, nullptr);
        const writer::WritingFile& narrow = WritingOf(opened);
        EXPECT_EQ(narrow.accepted.videoCount, frames ? 2u : 0u);
        EXPECT_EQ(narrow.frameFormat.header.biSizeImage, frames ? 12u * 486 : 0u);
        EXPECT_EQ(AVFILE_CloseFileForWrite(opened), 1);
    }
}

TEST_F(OpenClose, FormatsThatCannotBeWrittenAreRefused) {
    WriterSetup s{.audio = true};
    OpenRequest noBlock(s, dir.file("a.avi"));
    free(noBlock.request.video.settingsBlock);
    noBlock.request.video.settingsBlock = nullptr;
    void* handle = nullptr;
    EXPECT_EQ(AVFILE_OpenFileForWrite(&handle, &noBlock.request), 0);
    for (auto change : std::initializer_list<void (*)(OpenWriteRequest&)>{
             [](OpenWriteRequest& r) { r.video.rate = 0; },
             [](OpenWriteRequest& r) { r.video.height = -486; },
             [](OpenWriteRequest& r) {
                 r.video.width = 70000;
                 r.video.height = 70000;
             },
             [](OpenWriteRequest& r) { r.audio.frameBytes = 3; },
             [](OpenWriteRequest& r) {
                 r.audio.channels = 0;
                 r.audio.frameBytes = 0;
             },
             [](OpenWriteRequest& r) {
                 static_cast<CompressionSettings*>(r.video.settingsBlock)->paddingSize = 1u << 21;
             },
             [](OpenWriteRequest& r) {
                 static_cast<CompressionSettings*>(r.video.settingsBlock)->stateSize = 1;
             }}) {
        OpenRequest open(s, dir.file("b.avi"));
        change(open.request);
        EXPECT_EQ(AVFILE_OpenFileForWrite(&handle, &open.request), 0);
        EXPECT_EQ(handle, nullptr);
    }
    // Paddings too small for a filler mean no padding.
    s.padding = 7;
    const Clip seven = WriteClip(s, dir.file("seven.avi"), 1);
    EXPECT_EQ(MovieListAt(seven.bytes()), 500u);
    ExpectValidAvi(seven.path);
}

// Every call that takes a handle refuses one without the tag, and one of the other side: a
// reading handle given to a writing call, or the other way round.
TEST_F(OpenClose, HandlesUntaggedOrOfTheOtherSideAreRefused) {
    const WriterSetup s{.audio = true};
    ReadingFile reading(WriteClip(s, dir.file("read.avi"), 2, 100).path);
    ASSERT_TRUE(reading.opened());
    void* writing = OpenWriter(s, dir.file("write.avi"));
    writer::WritingFile untagged;
    for (void* handle : {reading.handle(), static_cast<void*>(&untagged)}) {
        WritingFileInfo info{};
        info.size = sizeof info;
        EXPECT_EQ(AVFILE_GetWritingFileInfo(handle, &info), 0);
        auto frame = TestFrame(s, 0);
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        auto samples = TestSamples(s, 0, 10);
        EXPECT_FALSE(WriteSamples(handle, s, samples, 10));
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 0);
    }
    ReadingFileInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(AVFILE_GetReadingFileInfo(writing, &info), 0);
    std::vector<uint8_t> buffer(FrameBytes(s) * 2);
    ImageFrameRequest frame = FrameRequest(0, FORMAT_ID_RGB24, s.width, s.height, buffer);
    EXPECT_EQ(AVFILE_ReadImageFrame(writing, &frame), 0);
    AudioSamplesRequest samples = SamplesRequest(0, 10, FORMAT_ID_PCM16, buffer);
    EXPECT_EQ(AVFILE_ReadAudioSamples(writing, &samples), 0);
    EXPECT_EQ(AVFILE_CloseReadingFile(writing), 0);
    // The host sees the tag in the first four bytes of either; both go on working.
    EXPECT_EQ(memcmp(reading.handle(), "AVI ", 4), 0);
    EXPECT_EQ(memcmp(writing, "AVI ", 4), 0);
    EXPECT_EQ(reading.info().frameCount, 2u);
    auto frameBytes = TestFrame(s, 0);
    EXPECT_TRUE(WriteFrame(writing, s, frameBytes));
    EXPECT_EQ(AVFILE_CloseFileForWrite(writing), 1);
}

}  // namespace
}  // namespace zedadu::test
