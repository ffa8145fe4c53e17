// The writing-settings dialog run through RunSettingsDialog with scripted user actions and fake
// compressors of chosen capabilities: what the controls held, what the working copies and the INI
// file hold afterwards.
#include <gtest/gtest.h>

#include <cstring>

#include "dialog/compressors.h"
#include "dialog/settings_dialog.h"
#include "frame/module.h"
#include "frame/text.h"
#include "platform/hostlib/host_api.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {
namespace {

using dialog::dialogAudioFormat;
using dialog::dialogSettingsBlock;
using dialog::dialogVideoFormat;
using dialog::kTemplateAudio;
using dialog::kTemplateBoth;
using dialog::kTemplateVideo;
using ui::ControlSnapshot;

constexpr FOURCC kQual = FourCC("QUAL");
constexpr FOURCC kRate = FourCC("RATE");
constexpr FOURCC kBoth = FourCC("BOTH");

// Quality only (with key frames), data rate only, both; "XYZ1" is listed but not installed.
std::vector<FakeCompressor> Compressors() {
    return {{kQual,
             VIDCF_QUALITY | VIDCF_TEMPORAL,
             u"Quality Codec",
             16,
             true,
             true,
             true,
             {24, 32},
             {{720, 576}, {240, 240}}},
            {kRate, VIDCF_CRUNCH, u"Rate Codec", 0, false, false, true, {24}, {}},
            {kBoth,
             VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL,
             u"Both Codec",
             1000,
             true,
             false,
             true,
             {16, 24, 32},
             {}}};
}
const std::vector<std::string> kDrivers32 = {"vidc.qual", "VIDC.RATE", "msacm.imaadpcm",
                                             "VIDC.XYZ1", "VIDC.BOTH"};

class SettingsDialog : public ::testing::Test {
  protected:
    explicit SettingsDialog(std::vector<std::string> drivers = {})
        : world(Compressors(), kDrivers32, std::move(drivers)) {}
    void SetUp() override { SetDefaultWorkingCopies(kQual); }
    void TearDown() override { ReleaseWorkingBlock(); }

    CompressionSettings& block() { return *dialogSettingsBlock; }
    const ControlSnapshot& control(int id) { return world.snapshot().control(id); }
    void expectEnabled(const std::vector<int>& ids, bool enabled) {
        for (const int id : ids) {
            EXPECT_EQ(control(id).enabled, enabled) << "control " << id;
        }
    }
    // Runs a script that must not fail.
    intptr_t run(const std::string& script, const char* templateName = kTemplateBoth) {
        const intptr_t result = world.run(templateName, script);
        EXPECT_EQ(world.snapshot().failure, "") << script;
        return result;
    }

    DialogWorld world;
};

using Items = std::vector<std::string>;

TEST_F(SettingsDialog, OkWithTheStoredCompressorFillsAndReadsEveryControl) {
    SetSkinsModule(static_cast<SkinsModule*>(CreateSkinsModule()));
    const uint32_t skinned = ZedaduHost_SkinnedWindowCount();
    ASSERT_EQ(run("press enter"), 1);
    EXPECT_EQ(ZedaduHost_SkinnedWindowCount(), skinned + 1);
    EXPECT_EQ(world.snapshot().caption, "AVI File Setup");
    EXPECT_EQ(control(1031).text, "Byte Boundary");  // relabelled from the host's strings
    EXPECT_EQ(control(101).items,
              (Items{"Quality Codec", "Rate Codec", "Both Codec", "Uncompressed RGB"}));
    EXPECT_EQ(control(101).selection, 0);
    EXPECT_EQ(control(1011).items,
              (Items{"None (progressive)", "Upper field first", "Lower field first"}));
    EXPECT_EQ(control(105).items,
              (Items{"128", "256", "512", "800", "1500", "2000", "5000", "8000"}));
    EXPECT_EQ(control(106).items, (Items{"512", "2048"}));
    EXPECT_EQ(control(106).text, "512");
    EXPECT_EQ(control(122).items, (Items{"32 Bit Color Depth", "24 Bit Color Depth"}));
    EXPECT_EQ(control(122).selection, 1);
    EXPECT_EQ(control(120).items, (Items{"NTSC", "PAL", "15.000000", "7.000000", "Other"}));
    EXPECT_EQ(control(120).selection, 0);
    EXPECT_EQ(control(123).items,
              (Items{"720 X 486", "720 X 480", "640 X 480", "320 X 240", "240 X 176", "176 X 144",
                     "160 X 120", "160 X 112", "Other"}));
    EXPECT_EQ(control(123).selection, 0);
    EXPECT_EQ(control(1008).items,
              (Items{"48 KHz", "44.1 KHz", "32 KHz", "22.05 KHz", "11.025 KHz", "8 KHz"}));
    EXPECT_EQ(control(1008).selection, 1);
    EXPECT_EQ(control(108).text, "75");
    EXPECT_EQ(control(109).position, 75);
    EXPECT_EQ(control(103).text, "4");
    EXPECT_EQ(control(102).check, BST_CHECKED);
    EXPECT_EQ(control(125).maximum, 32000);
    expectEnabled({101, 107, 110, 108, 109, 102, 103, 122, 120, 123}, true);
    expectEnabled({104, 105, 113, 124, 125, 126, 127, 166}, false);

    // The selection at opening replaced the stored state by the compressor's own 16 bytes.
    EXPECT_EQ(block().fccHandler, kQual);
    EXPECT_STREQ(block().compressorName, "Quality Codec");
    ASSERT_EQ(block().stateSize, 16u);
    const FakeCompressor& qual = world.compressor("QUAL");
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&block())[148 + 15], StateByte(qual, 15));
    EXPECT_EQ(qual.restoredState.size(), 16u);
    EXPECT_EQ(qual.quality, 7500u);
    EXPECT_TRUE(qual.configureOwners.empty());
    EXPECT_EQ(qual.opened, qual.closed);

    EXPECT_EQ(block().quality, 7500u);
    EXPECT_EQ(block().dataRate, 0u);
    EXPECT_EQ(block().keyFrameRate, 4u);
    EXPECT_EQ(block().paddingSize, 512u);
    EXPECT_EQ(world.ini("Quality"), "7500");
    EXPECT_EQ(world.ini("DataRate"), "-");
    EXPECT_EQ(dialogVideoFormat.rate, 29970026u);
    EXPECT_EQ(dialogVideoFormat.scale, 1000000u);
    EXPECT_EQ(dialogVideoFormat.width, 720);
    EXPECT_STREQ(dialogVideoFormat.formatId, FORMAT_ID_RGB24);
    EXPECT_EQ(dialogVideoFormat.flags, 0u);
    EXPECT_STREQ(dialogAudioFormat.description, "44KHz 16bit Stereo");
    EXPECT_EQ(dialogAudioFormat.frameBytes, 4u);
}

TEST_F(SettingsDialog, ChoosingAnotherCompressorFollowsItsCapabilities) {
    struct Case {
        int entry;
        FOURCC handler;
        std::vector<int> enabled, disabled;
        bool dataRateChecked;
        Items depths;
        uint32_t stateSize, keyFrameRate, quality, dataRate;
        const char* iniDataRate;
    };
    const Case cases[] = {
        {1,
         kRate,
         {104, 105, 113},
         {108, 109, 107, 110, 102, 103},
         true,
         {"24 Bit Color Depth"},
         0,
         0,
         0,
         800,
         "800"},
        {2,
         kBoth,
         {104, 108, 109, 107, 102, 103},
         {105, 113, 110},
         false,
         {"32 Bit Color Depth", "24 Bit Color Depth", "16 Bit Color Depth"},
         1000,
         4,
         7500,
         0,
         "-"},
        {3,
         dialog::kUncompressedHandler,
         {},
         {104, 105, 108, 109, 113, 102, 103, 107, 110},
         false,
         {"32 Bit Color Depth", "24 Bit Color Depth", "16 Bit Color Depth"},
         0,
         0,
         7500,
         0,
         "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        SetDefaultWorkingCopies(kQual);
        std::filesystem::remove(world.iniPath());
        ASSERT_EQ(run("select 101 " + std::to_string(c.entry) + "; press 1"), 1);
        expectEnabled(c.enabled, true);
        expectEnabled(c.disabled, false);
        EXPECT_EQ(control(104).check == BST_CHECKED, c.dataRateChecked);
        EXPECT_EQ(control(122).items, c.depths);
        EXPECT_EQ(block().fccHandler, c.handler);
        EXPECT_EQ(block().compressorName, control(101).items[size_t(c.entry)]);
        EXPECT_EQ(block().stateSize, c.stateSize);
        EXPECT_EQ(block().keyFrameRate, c.keyFrameRate);
        EXPECT_EQ(block().quality, c.quality);
        EXPECT_EQ(block().dataRate, c.dataRate);
        EXPECT_EQ(world.ini("Quality"), "7500");  // left behind by the quality control
        EXPECT_EQ(world.ini("DataRate"), c.iniDataRate);
    }
    EXPECT_EQ(control(123).items.size(), 11u);  // the uncompressed entry takes every size
}

TEST_F(SettingsDialog, DataRateAndKeyFramesToggle) {
    struct Case {
        FOURCC stored;
        const char* script;
        uint32_t dataRate, quality, keyFrameRate;
        const char* iniQuality;
        const char* iniDataRate;
    };
    const Case cases[] = {
        // Checking the data rate remembers the quality; the combo starts from the INI default.
        {kBoth, "click 104; expect 105 text 800; expect 108 text ''; type 105 1500; click 102",
         1500, 0, 0, "7500", "1500"},
        // Unchecking it again remembers the data rate and brings the quality back.
        {kBoth, "click 104; click 104; expect 105 disabled; expect 108 text 75; expect 109 enabled",
         0, 7500, 4, "7500", "800"},
        // A compressor without quality control keeps the box checked.
        {kRate, "click 104; expect 104 checked", 800, 0, 0, "7500", "800"},
        {kQual,
         "click 102; expect 103 disabled; expect 103 text ''; click 102; expect 103 text 4;"
         "type 103 9",
         0, 7500, 9, "7500", "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SetDefaultWorkingCopies(c.stored);
        std::filesystem::remove(world.iniPath());
        ASSERT_EQ(run(std::string(c.script) + "; press 1"), 1);
        EXPECT_EQ(block().dataRate, c.dataRate);
        EXPECT_EQ(block().quality, c.quality);
        EXPECT_EQ(block().keyFrameRate, c.keyFrameRate);
        EXPECT_EQ(world.ini("Quality"), c.iniQuality);
        EXPECT_EQ(world.ini("DataRate"), c.iniDataRate);
    }
}

TEST_F(SettingsDialog, QualityFollowsTypingAndScrolling) {
    const char* scripts[] = {
        "type 108 250; expect 108 text 100; expect 109 position 100",
        "type 108 98; scroll 109 page-right; expect 108 text 100; expect 109 position 100",
        "type 108 100; scroll 109 page-right; expect 108 text 100",
        "scroll 109 page-left; expect 108 text 72; expect 109 position 72",
        "scroll 109 line-left; expect 108 text 74",
        "scroll 109 line-right; expect 108 text 76",
        "scroll 109 right; expect 108 text 100",
        "scroll 109 left; expect 108 text 0; expect 109 position 0",
        "scroll 109 thumb 40; expect 108 text 40; expect 109 position 40",
    };
    for (const char* script : scripts) {
        EXPECT_EQ(run(std::string(script) + "; press 2"), 0);
    }
    ASSERT_EQ(run("scroll 109 thumb 40; press 1"), 1);
    EXPECT_EQ(block().quality, 4000u);
    EXPECT_EQ(world.ini("Quality"), "4000");
}

TEST_F(SettingsDialog, OtherFrameSizeAndRateAreReadAndClamped) {
    struct Case {
        int32_t width, height;
        uint32_t rate, scale;
        const char* script;
        int32_t resultWidth, resultHeight;
        uint32_t resultRate;
    };
    const Case cases[] = {
        {720, 486, 29970026, 1000000,
         "select 123 'Other'; expect 124 enabled; expect 124 text 720; type 124 -5; type 126 240;"
         "select 120 'Other'; expect 166 text 29.97; type 166 59.94",
         1, 240, 30000000},
        {720, 486, 29970026, 1000000,
         "select 123 'Other'; type 124 40000; select 120 'Other'; type 166 0.5", 40000, 486,
         1000000},
        {720, 486, 29970026, 1000000, "select 120 'Other'; type 166 ''", 720, 486, 29970026},
        {720, 486, 15, 1, "select 120 'Other'; type 166 nan", 720, 486, 15000000},
        {720, 486, 29970026, 1000000, "select 120 PAL; select 123 2", 640, 480, 25000000},
        {720, 486, 29970026, 1000000,
         "select 120 2; select 123 'Other'; spin 125 up; spin 127 down", 721, 485, 15000000},
        {352, 288, 24, 1,
         "expect 123 text Other; expect 124 text 352; expect 126 text 288; expect 120 text Other;"
         "expect 166 text 24.000000",
         352, 288, 24000000},
        {720, 486, 25000000, 1000000, "expect 120 text PAL; expect 166 disabled", 720, 486,
         25000000},
        {720, 486, 30000, 1001, "expect 120 text NTSC", 720, 486, 29970026},
        // Without a scale the rate is unknown: "Other" at 0, which OK keeps to 1 frame a second.
        {720, 486, 30, 0, "expect 120 text Other; expect 166 text 0.000000", 720, 486, 1000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SetDefaultWorkingCopies(kQual);
        dialogVideoFormat.width = c.width;
        dialogVideoFormat.height = c.height;
        dialogVideoFormat.rate = c.rate;
        dialogVideoFormat.scale = c.scale;
        ASSERT_EQ(run(std::string(c.script) + "; press 1"), 1);
        EXPECT_EQ(dialogVideoFormat.width, c.resultWidth);
        EXPECT_EQ(dialogVideoFormat.height, c.resultHeight);
        EXPECT_EQ(dialogVideoFormat.rate, c.resultRate);
        EXPECT_EQ(dialogVideoFormat.scale, 1000000u);
    }
}

TEST_F(SettingsDialog, AudioListsFollowTheWorkingCopyAndAreReadBack) {
    struct Case {
        uint32_t channels;
        const char* formatId;
        uint32_t sampleRate;
        const char* script;
        uint32_t resultRate;
        const char* description;
        uint32_t frameBytes;
    };
    const Case cases[] = {
        {1, FORMAT_ID_PCM8, 44099,
         "expect 1006 selection 1; expect 1007 selection 1; expect 1008 text '32 KHz'", 32000,
         "32KHz 8bit Mono", 1},
        {2, FORMAT_ID_PCM16, 100000, "expect 1008 selection 0", 48000, "48KHz 16bit Stereo", 4},
        {6, FORMAT_ID_PCM16, 0, "expect 1006 selection 0; expect 1008 text '8 KHz'", 8000,
         "8KHz 16bit Stereo", 4},
        {2, FORMAT_ID_PCM16, 44100, "select 1006 1; select 1007 1; select 1008 3", 22050,
         "22KHz 8bit Mono", 1},
        {2, FORMAT_ID_PCM16, 44100, "select 1008 4", 11025, "11KHz 16bit Stereo", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SetDefaultWorkingCopies(kQual);
        dialogAudioFormat.channels = c.channels;
        CopyText(dialogAudioFormat.formatId, c.formatId);
        dialogAudioFormat.sampleRate = c.sampleRate;
        dialogAudioFormat.flags = 0x10000000;
        ASSERT_EQ(run(std::string(c.script) + "; press 1"), 1);
        EXPECT_EQ(dialogAudioFormat.size, sizeof(AudioFormatRecord));
        EXPECT_EQ(dialogAudioFormat.sampleRate, c.resultRate);
        EXPECT_STREQ(dialogAudioFormat.description, c.description);
        EXPECT_EQ(dialogAudioFormat.frameBytes, c.frameBytes);
        EXPECT_EQ(dialogAudioFormat.channels, c.frameBytes == 1 || c.frameBytes == 2 ? 1u : 2u);
        EXPECT_EQ(dialogAudioFormat.flags, 0u);
    }
}

TEST_F(SettingsDialog, FieldInterleavingAndTheCompressorButtons) {
    struct Case {
        uint32_t flags;
        const char* script;
        uint32_t resultFlags;
    };
    const Case cases[] = {{0x28, "expect 1011 selection 2", 0x28},
                          {0x08, "expect 1011 selection 1", 0x08},
                          {0x20, "expect 1011 selection 0", 0x00},
                          {0x00, "select 1011 1", 0x08},
                          {0x28, "type 1011 'Both fields'; expect 1011 selection -1", 0x28}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        dialogVideoFormat.flags = c.flags;
        ASSERT_EQ(run(std::string(c.script) + "; press 1"), 1);
        EXPECT_EQ(dialogVideoFormat.flags, c.resultFlags);
    }
    const FakeCompressor& qual = world.compressor("QUAL");
    ASSERT_EQ(run("click 107; click 110; press 1"), 1);
    ASSERT_EQ(qual.configureOwners.size(), 1u);
    EXPECT_NE(qual.configureOwners[0], ICQUERYBOX);
    EXPECT_EQ(qual.aboutOwners, qual.configureOwners);
}

TEST_F(SettingsDialog, CancelKeepsTheExchangedBlockAndTheLiveIniKeys) {
    SetDefaultWorkingCopies(kBoth);
    block().dataRate = 500;
    const auto original = reinterpret_cast<uintptr_t>(dialogSettingsBlock);
    ASSERT_EQ(run("expect 104 checked; expect 105 text 500; press 2"), 0);
    EXPECT_NE(reinterpret_cast<uintptr_t>(dialogSettingsBlock), original);
    EXPECT_EQ(block().headerSize, 148u);
    EXPECT_EQ(block().stateSize, 1000u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&block())[148 + 999],
              StateByte(world.compressor("BOTH"), 999));

    // A compressor with quality control only gives up the data rate at opening, and the INI file
    // keeps the rate it had.
    SetDefaultWorkingCopies(kQual);
    block().dataRate = 500;
    ASSERT_EQ(run("expect 104 unchecked; expect 108 text 75; press escape"), 0);
    EXPECT_EQ(world.ini("DataRate"), "500");
    EXPECT_EQ(block().dataRate, 500u);
}

TEST_F(SettingsDialog, AudioOnlyAndVideoOnlyTemplates) {
    ReleaseWorkingBlock();
    const ImageFormatStruct video = dialogVideoFormat;
    ASSERT_EQ(run("select 1008 0; select 1006 1; press 1", kTemplateAudio), 1);
    EXPECT_STREQ(dialogAudioFormat.description, "48KHz 16bit Mono");
    EXPECT_EQ(memcmp(&video, &dialogVideoFormat, sizeof video), 0);
    EXPECT_FALSE(std::filesystem::exists(world.iniPath()));
    EXPECT_EQ(world.compressor("QUAL").opened, 0);
    EXPECT_FALSE(control(101).visible);
    EXPECT_TRUE(control(101).items.empty());
    EXPECT_EQ(control(108).text, "");
    EXPECT_TRUE(control(1006).visible);
    EXPECT_FALSE(world.snapshot().has(1018));

    SetDefaultWorkingCopies(kQual);
    dialogAudioFormat.channels = 1;
    CopyText(dialogAudioFormat.formatId, FORMAT_ID_PCM8);
    dialogAudioFormat.sampleRate = 22050;
    ASSERT_EQ(run("select 120 PAL; press 1", kTemplateVideo), 1);
    EXPECT_FALSE(control(1008).visible);
    EXPECT_EQ(control(1008).selection, 3);
    EXPECT_EQ(control(1006).items, (Items{"Stereo", "Mono"}));
    EXPECT_FALSE(world.snapshot().has(1017));
    EXPECT_STREQ(dialogAudioFormat.description, "22KHz 8bit Mono");
    EXPECT_EQ(dialogVideoFormat.rate, 25000000u);
}

TEST_F(SettingsDialog, StoredCompressorIsFoundIgnoringCaseOrLeftAlone) {
    SetDefaultWorkingCopies(FourCC("qual"));
    ASSERT_EQ(run("expect 101 selection 0; press 1"), 1);
    EXPECT_EQ(block().fccHandler, kQual);

    // No listed compressor of that code: nothing is selected, both probes report it, and the
    // size stays as it was.
    SetDefaultWorkingCopies(FourCC("ZZZZ"));
    dialogVideoFormat.width = 352;
    dialogVideoFormat.height = 288;
    MessageRecorder recorder;
    block().dataRate = 500;
    // With no compressor selected, the data-rate box can be unchecked for the quality control.
    ASSERT_EQ(run("expect 101 selection -1; expect 122 count 0; expect 123 count 0;"
                  "expect 124 disabled; expect 107 enabled; expect 110 enabled; click 104;"
                  "expect 104 unchecked; expect 108 enabled; expect 108 text 75; press 1"),
              1);
    ASSERT_EQ(recorder.shown().size(), 2u);
    for (const ShownMessage& shown : recorder.shown()) {
        EXPECT_EQ(shown.messageId, 788u);
        EXPECT_EQ(shown.text1, "AVI file writer");
        EXPECT_EQ(shown.flags, 0x12030u);
    }
    EXPECT_EQ(block().fccHandler, FourCC("ZZZZ"));
    EXPECT_EQ(dialogVideoFormat.width, 352);
    EXPECT_EQ(dialogVideoFormat.height, 288);
    EXPECT_STREQ(dialogVideoFormat.formatId, FORMAT_ID_RGB24);
}

class ListedTwice : public SettingsDialog {
  protected:
    ListedTwice() : SettingsDialog({"VIDC.QUAL"}) {}
};

TEST_F(ListedTwice, TheLaterEntryStaysSelectedAfterBothHandlersRan) {
    ASSERT_EQ(run("expect 101 count 5; expect 101 selection 1; press 1"), 1);
    const auto& messages = world.compressor("QUAL").messages;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), ICM_CONFIGURE), 4);
}

}  // namespace
}  // namespace zedadu::test
