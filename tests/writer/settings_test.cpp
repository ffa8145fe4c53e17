// The writing settings: INI defaults and values, copies of the host's formats, the dialog run
// with its save order, the release, and the writing file information.
#include <fstream>
#include <tuple>

#include "dialog/settings_dialog.h"
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"
#include "writer/testing.h"

namespace zedadu::test {
namespace {

WritingSettingsRecord EmptyRecord(uint32_t request) {
    WritingSettingsRecord record;
    Poison(record);
    record.request = request;
    record.accepted = 0xCCCCCCCC;
    record.currentVideo.size = record.resultVideo.size = sizeof(ImageFormatStruct);
    record.currentAudio.size = record.resultAudio.size = sizeof(AudioFormatRecord);
    record.currentVideo.settingsBlock = nullptr;
    return record;
}

std::string Handler(const WritingSettingsRecord& record) {
    const FOURCC code =
        static_cast<const CompressionSettings*>(record.resultVideo.settingsBlock)->fccHandler;
    return std::string(reinterpret_cast<const char*>(&code), 4);
}

class Settings : public WriterTest {
  protected:
    void writeIni(const std::string& text) { std::ofstream(ini()) << text; }
    void TearDown() override {
        writer::SetSettingsDialogRunnerForTesting(nullptr);
        WriterTest::TearDown();
    }
};

TEST_F(Settings, DefaultsWithoutAnIniFile) {
    WritingSettingsRecord record = EmptyRecord(kSettingsLoadIni);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.accepted, 1u);
    const AudioFormatRecord& audio = record.resultAudio;
    EXPECT_STREQ(audio.formatId, FORMAT_ID_PCM16);
    EXPECT_STREQ(audio.description, "44KHz 16bit Stereo");
    EXPECT_EQ(std::tuple(audio.channels, audio.sampleRate, audio.frameBytes, audio.flags),
              std::tuple(2u, 44100u, 4u, 0x10000000u));
    const ImageFormatStruct& video = record.resultVideo;
    EXPECT_STREQ(video.formatId, FORMAT_ID_RGB24);
    EXPECT_STREQ(video.description, "720 x 486 24bit");
    EXPECT_EQ(std::tuple(video.width, video.height, video.rate, video.scale, video.imageSize,
                         video.flags),
              std::tuple(720, 486, 29970026u, 1000000u, 1049760u, 0x10000002u));
    ASSERT_EQ(video.settingsBlockSize, 148u);
    CompressionSettings expected{};
    expected.headerSize = 148;
    expected.fccHandler = FourCC("MSVC");
    expected.quality = 7500;
    expected.paddingSize = 512;
    expected.keyFrameRate = 4;
    expected.dataRate = 800;
    EXPECT_EQ(memcmp(video.settingsBlock, &expected, sizeof expected), 0);
    EXPECT_EQ(AVFILE_ReleaseFormatFromSetWritingSettings(&record), 1);
    EXPECT_EQ(record.resultVideo.settingsBlock, nullptr);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 0u);
    EXPECT_EQ(AVFILE_ReleaseFormatFromSetWritingSettings(&record), 1);  // nothing left to free
    EXPECT_FALSE(std::filesystem::exists(ini())) << "loading writes nothing";
}

// Sections and keys in any case, a short or long handler code, the image size of 24 bits
// whatever the layout, and the settings block's values.
TEST_F(Settings, ValuesFromTheIniFile) {
    struct Case {
        std::string ini;
        std::string audioDescription;
        uint32_t frameBytes;
        std::string handler;
        std::string videoDescription;
    } cases[] = {
        {"[audiowritingsettings]\nSAMPLESPERSECOND=22050\nchannels=1\nCompression=" +
             std::string(FORMAT_ID_PCM8) + "\n[VideoWritingSettings]\nfccHandler=ab\n",
         "22KHz 8bit Mono", 1, "ab  ", "720 x 486 24bit"},
        {"[AudioWritingSettings]\nSamplesPerSecond=11025\nChannels=6\n[VideoWritingSettings]\n"
         "fccHandler=\nCompression=" +
             std::string(FORMAT_ID_RGB32) + "\nWidth=640\nHeight=480\n",
         "11KHz 16bit Mono", 12, "    ", "640 x 480 24bit"},
        {"; a comment\n[VideoWritingSettings]\nfccHandler=abcdef\nQuality=-5\nPaddingSize=2048\n"
         "KeyFrameRate=1\nDataRate=0\noffsetAudioandVideo=1\nFieldRendering=3\n",
         "44KHz 16bit Stereo", 4, "abcd", "720 x 486 24bit"},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        WritingSettingsRecord record = EmptyRecord(kSettingsLoadIni);
        ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
        EXPECT_EQ(record.resultAudio.description, c.audioDescription);
        EXPECT_EQ(record.resultAudio.frameBytes, c.frameBytes);
        EXPECT_EQ(Handler(record), c.handler);
        EXPECT_EQ(record.resultVideo.description, c.videoDescription);
        EXPECT_EQ(record.resultVideo.imageSize,
                  uint32_t(record.resultVideo.width * record.resultVideo.height * 3));
        const auto& block =
            *static_cast<const CompressionSettings*>(record.resultVideo.settingsBlock);
        if (&c == &cases[2]) {
            EXPECT_EQ(std::tuple(block.quality, block.paddingSize, block.keyFrameRate,
                                 block.dataRate, block.offsetAudioAndVideo, block.fieldRendering),
                      std::tuple(uint32_t(-5), 2048u, 1u, 0u, 1, 3u));
        }
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    }
}

TEST_F(Settings, CopiesOfTheHostsFormatsAndRefusedRecords) {
    WritingSettingsRecord record = EmptyRecord(0);
    record.currentVideo.width = 320;
    record.currentAudio.channels = 1;
    std::vector<uint8_t> block(148 + 6, 0);
    reinterpret_cast<CompressionSettings*>(block.data())->stateSize = 6;
    memcpy(block.data() + 148, "state!", 6);
    record.currentVideo.settingsBlock = block.data();
    record.currentVideo.settingsBlockSize = uint32_t(block.size());
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.accepted, 0xCCCCCCCCu) << "left as the host set it";
    EXPECT_EQ(record.resultVideo.width, 320);
    EXPECT_EQ(record.resultAudio.channels, 1u);
    ASSERT_NE(record.resultVideo.settingsBlock, block.data());
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 154u);
    EXPECT_EQ(memcmp(record.resultVideo.settingsBlock, block.data(), 154), 0);
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    // A block claiming more state than it holds is refused; one too small is not handed back.
    reinterpret_cast<CompressionSettings*>(block.data())->stateSize = 7;
    EXPECT_EQ(AVFILE_SetWritingSettings(&record), 0);
    record.currentVideo.settingsBlockSize = 100;
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.resultVideo.settingsBlock, nullptr);
    // Wrong sizes of the embedded records: refused with nothing written.
    for (int which = 0; which < 4; ++which) {
        WritingSettingsRecord wrong = EmptyRecord(kSettingsLoadIni);
        uint32_t* sizes[] = {&wrong.resultAudio.size, &wrong.currentAudio.size,
                             &wrong.resultVideo.size, &wrong.currentVideo.size};
        *sizes[which] -= 1;
        const WritingSettingsRecord before = wrong;
        EXPECT_EQ(AVFILE_SetWritingSettings(&wrong), 0);
        EXPECT_EQ(memcmp(&wrong, &before, sizeof wrong), 0);
    }
}

// A scripted dialog: records the template, edits the working copies, may grow the block.
struct ScriptedDialog {
    static inline std::string shownTemplate;
    static inline intptr_t answer = 1;
    static inline CompressionSettings* leftBlock = nullptr;
    static intptr_t Run(const char* name, HWND, dialog::SettingsDialogSession& session) {
        shownTemplate = name;
        session.audioFormat.sampleRate = 22050;
        session.videoFormat.width += 32;
        if (CompressionSettings* block = session.settingsBlock) {
            auto* grown = static_cast<CompressionSettings*>(realloc(block, 148 + 8));
            grown->stateSize = 8;
            grown->fccHandler = FourCC("DIB ");
            session.settingsBlock = grown;
        }
        leftBlock = session.settingsBlock;
        return answer;
    }
};

TEST_F(Settings, DialogRunSaveOrderAndCancel) {
    // Without a dialog layer the run ends as a cancel: nothing saved, the block handed back.
    WritingSettingsRecord record =
        EmptyRecord(kSettingsLoadIni | kSettingsShowDialog | kSettingsVideo);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.accepted, 0u);
    EXPECT_NE(record.resultVideo.settingsBlock, nullptr);
    EXPECT_FALSE(std::filesystem::exists(ini()));
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);

    writer::SetSettingsDialogRunnerForTesting(&ScriptedDialog::Run);
    writeIni("; kept\n[Other]\nkey=value\n");
    record = EmptyRecord(kSettingsLoadIni | kSettingsShowDialog | kSettingsVideo | kSettingsAudio);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(ScriptedDialog::shownTemplate, "AVIFILESETTINGS_BOTH");
    EXPECT_EQ(record.accepted, 1u);
    EXPECT_EQ(record.resultAudio.sampleRate, 22050u);
    EXPECT_EQ(record.resultVideo.width, 752);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 156u);
    EXPECT_EQ(record.resultVideo.settingsBlock, ScriptedDialog::leftBlock);
    EXPECT_EQ(ReadBytes(ini()),
              "; kept\n[Other]\nkey=value\n\n[AudioWritingSettings]\nChannels=2\n"
              "SamplesPerSecond=22050\nCompression=" +
                  std::string(FORMAT_ID_PCM16) +
                  "\n\n[VideoWritingSettings]\nCompression=" + FORMAT_ID_RGB24 +
                  "\nWidth=752\nHeight=486\nRate=29970026\nScale=1000000\nfccHandler=DIB \n"
                  "Quality=7500\nPaddingSize=512\nKeyFrameRate=4\nDataRate=800\n"
                  "offsetAudioandVideo=0\nFieldRendering=0\n");
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);

    // Cancel keeps the exchanged block and saves nothing; audio alone shows no video part.
    const std::string saved = ReadBytes(ini());
    ScriptedDialog::answer = 2;
    record = EmptyRecord(kSettingsLoadIni | kSettingsShowDialog | kSettingsVideo);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(ScriptedDialog::shownTemplate, "AVIFILESETTINGS_VIDEO");
    EXPECT_EQ(record.accepted, 0u);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 156u);
    EXPECT_EQ(record.resultVideo.width, 752) << "the saved width, not the edit";
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    record = EmptyRecord(kSettingsLoadIni | kSettingsShowDialog | kSettingsAudio);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(ScriptedDialog::shownTemplate, "AVIFILESETTINGS_AUDIO");
    EXPECT_EQ(ScriptedDialog::leftBlock, nullptr);
    EXPECT_EQ(ReadBytes(ini()), saved);
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);

    // No part chosen: no dialog. A video dialog without a block: refused before the dialog.
    ScriptedDialog::shownTemplate.clear();
    record = EmptyRecord(kSettingsLoadIni | kSettingsShowDialog);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.accepted, 1u);
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    record = EmptyRecord(kSettingsShowDialog | kSettingsVideo);
    EXPECT_EQ(AVFILE_SetWritingSettings(&record), 0);
    EXPECT_EQ(ScriptedDialog::shownTemplate, "");
    ScriptedDialog::answer = 1;
}

}  // namespace
}  // namespace zedadu::test
