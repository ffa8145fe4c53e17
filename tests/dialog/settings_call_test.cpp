// The settings call with the dialog, end to end through AVFILE_SetWritingSettings: the INI file
// is loaded, the dialog runs from a script on fake compressors, and the result records, the block
// and the saved INI file are what the user chose.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "frame/plugin.h"
#include "platform/hostlib/host_api.h"
#include "tests/dialog/settings_call.h"

namespace zedadu::test {
namespace {

using Keys = std::map<std::string, std::string>;

class SettingsCall : public ::testing::Test {
  protected:
    SettingsCall() : world(SettingsCallCompressors(), SettingsCallDrivers()) {}

    // Runs the call with a script; the record is released when the test ends.
    WritingSettingsRecord& call(uint32_t request, const std::string& script) {
        ZedaduHost_SetDialogScript(script.c_str());
        record = SettingsRequest(request);
        EXPECT_EQ(AVFILE_SetWritingSettings(&record), 1) << script;
        EXPECT_EQ(world.snapshot().failure, "") << script;
        return record;
    }
    void TearDown() override { AVFILE_ReleaseFormatFromSetWritingSettings(&record); }
    void expectIni(const Keys& keys, const char* section = "VideoWritingSettings") {
        for (const auto& [key, value] : keys) {
            EXPECT_EQ(world.ini(key.c_str(), section), value) << key;
        }
    }
    void writeIni(const std::string& text) { std::ofstream(world.iniPath()) << text; }

    DialogWorld world;
    WritingSettingsRecord record{};
};

TEST_F(SettingsCall, OkWithTheDefaultsSavesEverySetting) {
    const WritingSettingsRecord& result = call(kEverything, "expect 101 text 'Video 1'; press 1");
    EXPECT_EQ(result.accepted, 1u);
    EXPECT_STREQ(result.resultVideo.formatId, FORMAT_ID_RGB24);
    EXPECT_EQ(result.resultVideo.width, 720);
    EXPECT_EQ(result.resultVideo.rate, 29970026u);
    EXPECT_EQ(result.resultVideo.settingsBlockSize, 148u);
    EXPECT_EQ(BlockOf(result).quality, 7500u);
    EXPECT_EQ(BlockOf(result).dataRate, 0u);  // Video 1 has no data-rate control
    EXPECT_STREQ(BlockOf(result).compressorName, "Video 1");
    EXPECT_STREQ(result.resultAudio.description, "44KHz 16bit Stereo");
    expectIni({{"Compression", FORMAT_ID_RGB24},
               {"Width", "720"},
               {"Height", "486"},
               {"Rate", "29970026"},
               {"Scale", "1000000"},
               {"fccHandler", "MSVC"},
               {"Quality", "7500"},
               {"PaddingSize", "512"},
               {"KeyFrameRate", "4"},
               {"DataRate", "0"},
               {"offsetAudioandVideo", "0"},
               {"FieldRendering", "0"}});
    expectIni({{"Channels", "2"}, {"SamplesPerSecond", "44100"}, {"Compression", FORMAT_ID_PCM16}},
              "AudioWritingSettings");
    const ui::DialogSnapshot& dialog = world.snapshot();
    for (const int id : {101, 108, 109, 102, 103, 110}) {
        EXPECT_TRUE(dialog.control(id).enabled) << id;
    }
    for (const int id : {104, 105, 113, 107}) {
        EXPECT_FALSE(dialog.control(id).enabled) << id;
    }
}

TEST_F(SettingsCall, TheUsersChoicesReachTheRecordsAndTheIniFile) {
    struct Case {
        const char* script;
        Keys video;
        Keys audio;
        uint32_t stateSize;
    };
    const Case cases[] = {
        // Another compressor: its state replaces the stored one, its lists and buttons follow.
        {"select 101 'Rate Codec'; expect 104 checked; expect 105 text 800; expect 107 enabled;"
         "expect 110 disabled; expect 122 count 2; select 122 0",
         {{"fccHandler", "RATE"},
          {"DataRate", "800"},
          {"Quality", "0"},
          {"Compression", FORMAT_ID_RGB32},
          {"KeyFrameRate", "0"}},
         {},
         8},
        {"select 101 2; click 104; type 105 1500; click 102; click 114",
         {{"fccHandler", "BOTH"},
          {"DataRate", "1500"},
          {"Quality", "0"},
          {"KeyFrameRate", "0"},
          {"offsetAudioandVideo", "1"}},
         {},
         1000},
        {"type 108 250; scroll 109 page-left; scroll 109 line-left; type 103 12",
         {{"Quality", "9600"}, {"DataRate", "0"}, {"KeyFrameRate", "12"}},
         {},
         0},
        {"select 123 Other; type 124 -5; type 126 240; select 120 Other; type 166 59.94;"
         "select 106 1; select 1011 2",
         {{"Width", "1"}, {"Height", "240"}, {"Rate", "30000000"}, {"PaddingSize", "2048"}},
         {},
         0},
        {"select 1006 Mono; select 1007 '8 bit'; select 1008 '22.05 KHz'",
         {},
         {{"Channels", "1"}, {"SamplesPerSecond", "22050"}, {"Compression", FORMAT_ID_PCM8}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::filesystem::remove(world.iniPath());
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        const WritingSettingsRecord& result =
            call(kEverything, std::string(c.script) + "; press 1");
        EXPECT_EQ(result.accepted, 1u);
        EXPECT_EQ(BlockOf(result).stateSize, c.stateSize);
        EXPECT_EQ(result.resultVideo.settingsBlockSize, 148 + c.stateSize);
        expectIni(c.video);
        expectIni(c.audio, "AudioWritingSettings");
    }
    EXPECT_EQ(record.resultAudio.frameBytes, 1u);
    EXPECT_STREQ(record.resultAudio.description, "22KHz 8bit Mono");
}

TEST_F(SettingsCall, TheLowQualityQuestion) {
    struct Case {
        const char* typed;
        int answer;
        uint32_t accepted;
        const char* quality;  // saved in the INI file
        size_t questions;
    };
    const Case cases[] = {{"0", IDYES, 1, "7500", 1},
                          {"0", IDNO, 1, "0", 1},
                          {"0", IDCANCEL, 0, "-", 1},
                          {"1", IDNO, 1, "100", 1},
                          {"2", IDNO, 1, "200", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        std::filesystem::remove(world.iniPath());
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        MessageRecorder messages;
        messages.answerNextWith(c.answer);
        // After Cancel the dialog stays open, and the script then leaves it with Cancel.
        const WritingSettingsRecord& result =
            call(kEverything, std::string("type 108 ") + c.typed + "; press 1; press 2");
        EXPECT_EQ(result.accepted, c.accepted);
        EXPECT_EQ(world.ini("Quality"), c.quality);
        ASSERT_EQ(messages.shown().size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(messages.shown()[0].messageId, 792u);
            EXPECT_EQ(messages.shown()[0].text1, "AVI file writer");
            EXPECT_EQ(messages.shown()[0].flags, 0x12033u);
        }
    }
}

TEST_F(SettingsCall, CancelHandsBackTheExchangedBlockAndSavesNothing) {
    writeIni("[VideoWritingSettings]\nfccHandler=BOTH\nDataRate=0\n");
    const WritingSettingsRecord& result = call(kEverything, "type 108 40; click 104; press 2");
    EXPECT_EQ(result.accepted, 0u);
    EXPECT_EQ(BlockOf(result).stateSize, 1000u);  // the block the dialog exchanged
    EXPECT_EQ(result.resultVideo.settingsBlockSize, 1148u);
    EXPECT_EQ(world.ini("fccHandler"), "BOTH");
    EXPECT_EQ(world.ini("Quality"), "4000");  // written live by the dialog
    EXPECT_EQ(world.ini("DataRate"), "0");    // untouched: the call saved nothing
    EXPECT_EQ(world.ini("Width"), "-");

    // Without a front-end the dialog cannot open: the same as a cancelled dialog.
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    ZedaduHost_SetDialogScript(nullptr);
    record = SettingsRequest(kEverything);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_EQ(record.accepted, 0u);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 148u);
}

TEST_F(SettingsCall, AudioOnlyAndVideoOnlyRequests) {
    const uint32_t audioOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio;
    const WritingSettingsRecord& audio = call(audioOnly, "select 1008 0; press 1");
    EXPECT_EQ(audio.accepted, 1u);
    EXPECT_EQ(audio.resultAudio.sampleRate, 48000u);
    EXPECT_EQ(world.snapshot().templateName, "AVIFILESETTINGS_AUDIO");
    EXPECT_TRUE(world.snapshot().control(101).items.empty());
    expectIni({{"SamplesPerSecond", "48000"}}, "AudioWritingSettings");
    expectIni({{"Quality", "-"}, {"DataRate", "-"}, {"Width", "-"}});

    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
    const uint32_t videoOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsVideo;
    const WritingSettingsRecord& video =
        call(videoOnly, "select 120 PAL; expect 1008 hidden; expect 1008 selection 0; press 1");
    EXPECT_EQ(video.accepted, 1u);
    EXPECT_EQ(world.snapshot().templateName, "AVIFILESETTINGS_VIDEO");
    EXPECT_EQ(world.snapshot().control(1008).items.size(), 6u);
    EXPECT_EQ(video.resultVideo.rate, 25000000u);
    EXPECT_EQ(video.resultAudio.sampleRate, 48000u);  // as loaded: audio is not concerned
    expectIni({{"Rate", "25000000"}});
    expectIni({{"SamplesPerSecond", "48000"}}, "AudioWritingSettings");
}

}  // namespace
}  // namespace zedadu::test
