// The writing-settings dialog end to end: AVFILE_SetWritingSettings loads the INI file (or takes
// the host's own formats), the dialog runs from a script of user actions on fake compressors, and
// the result records, the settings block, the saved INI file and the dialog's controls are what
// the user chose.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "core/module.h"
#include "dialog/compressors.h"
#include "dialog/settings_dialog.h"
#include "platform/hostlib/host_api.h"
#include "platform/profile/profile.h"
#include "plugin/plugin.h"
#include "tests/dialog/settings_call.h"
#include "writer/testing.h"

namespace zedadu::test {
namespace {

using Items = std::vector<std::string>;

constexpr uint32_t kHostsFormats = kSettingsShowDialog | kSettingsAudio | kSettingsVideo;
const std::string kRgb24 = FORMAT_ID_RGB24, kPcm8 = FORMAT_ID_PCM8, kPcm16 = FORMAT_ID_PCM16;

// Settings are written "key=value ..." for the video section, then "|" and those of the audio
// section; the value "-" stands for an absent key.
template <typename Visit>
void ForEachSetting(const std::string& settings, Visit visit) {
    std::istringstream words(settings);
    const char* section = "VideoWritingSettings";
    for (std::string word; words >> word;) {
        if (word == "|") {
            section = "AudioWritingSettings";
            continue;
        }
        const size_t equals = word.find('=');
        visit(section, word.substr(0, equals), word.substr(equals + 1));
    }
}

struct Flow {
    std::string settings;  // of the INI file before the call
    const char* script;    // OK is pressed after it
    std::string saved;     // in the INI file afterwards
};

class SettingsDialog : public ::testing::Test {
  protected:
    SettingsDialog(std::vector<FakeCompressor> compressors = SettingsCallCompressors(),
                   std::vector<std::string> drivers32 = SettingsCallDrivers(),
                   std::vector<std::string> drivers = {})
        : world(std::move(compressors), std::move(drivers32), std::move(drivers)) {}
    void TearDown() override {
        writer::SetSettingsDialogRunnerForTesting(nullptr);
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        AVFILE_ReleaseFormatFromSetWritingSettings(&host);
    }

    // The settings call with a script (none: no front-end) from an INI file of these settings.
    // Without the INI bit the host hands over its own formats: those loaded from the settings,
    // with hostVideoFlags, and the INI file is removed before the call.
    WritingSettingsRecord& call(uint32_t request, const std::string& script,
                                const std::string& settings = "") {
        writeIni(settings);
        if (!(request & kSettingsLoadIni)) {
            loadHostFormats();
        }
        return run(request, script);
    }
    // The INI file holds these settings and nothing else.
    void writeIni(const std::string& settings) {
        std::filesystem::remove(world.iniPath());
        ForEachSetting(settings,
                       [&](const char* section, const std::string& key, const std::string& value) {
                           WritePrivateProfileStringA(section, key.c_str(), value.c_str(),
                                                      world.iniPath().c_str());
                       });
    }
    // The host's own formats, loaded from the INI file, which is then removed.
    void loadHostFormats() {
        AVFILE_ReleaseFormatFromSetWritingSettings(&host);
        host = SettingsRequest(kSettingsLoadIni | kSettingsAudio | kSettingsVideo);
        EXPECT_EQ(AVFILE_SetWritingSettings(&host), 1);
        std::filesystem::remove(world.iniPath());
    }
    // The settings call with the INI file as it is and, without the INI bit, the host's formats.
    WritingSettingsRecord& run(uint32_t request, const std::string& script) {
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        record = SettingsRequest(request);
        if (!(request & kSettingsLoadIni)) {
            record.currentVideo = host.resultVideo;
            record.currentVideo.flags = hostVideoFlags;
            record.currentAudio = host.resultAudio;
        }
        ZedaduHost_SetDialogScript(script.empty() ? nullptr : script.c_str());
        EXPECT_EQ(AVFILE_SetWritingSettings(&record), 1) << script;
        EXPECT_EQ(world.snapshot().failure, "") << script;
        return record;
    }
    CompressionSettings& hostBlock() {
        return *static_cast<CompressionSettings*>(host.resultVideo.settingsBlock);
    }
    void expectIni(const std::string& settings) {
        ForEachSetting(settings,
                       [&](const char* section, const std::string& key, const std::string& value) {
                           EXPECT_EQ(world.ini(key.c_str(), section), value) << key;
                       });
    }
    void expectFlows(const std::vector<Flow>& flows) {
        for (const Flow& flow : flows) {
            SCOPED_TRACE(flow.script);
            EXPECT_EQ(
                call(kEverything, std::string(flow.script) + "; press 1", flow.settings).accepted,
                1u);
            expectIni(flow.saved);
        }
    }
    const ui::ControlSnapshot& control(int id) const { return world.snapshot().control(id); }
    // "+id" for a control that is enabled, "-id" for one that is not.
    void expectEnabled(const std::string& states) {
        std::istringstream words(states);
        for (std::string word; words >> word;) {
            EXPECT_EQ(control(std::stoi(word.substr(1))).enabled, word[0] == '+') << word;
        }
    }
    uint8_t stateByte(size_t index) const {
        return reinterpret_cast<const uint8_t*>(record.resultVideo.settingsBlock)[148 + index];
    }

    DialogWorld world;
    WritingSettingsRecord record{};
    WritingSettingsRecord host{};
    uint32_t hostVideoFlags = 0;
};

TEST_F(SettingsDialog, OkWithTheDefaultsFillsEveryControlAndSavesEverySetting) {
    SetSkinsModule(static_cast<SkinsModule*>(CreateSkinsModule()));
    const uint32_t skinned = ZedaduHost_SkinnedWindowCount();
    const WritingSettingsRecord& result = call(kEverything, "press enter");
    EXPECT_EQ(result.accepted, 1u);
    EXPECT_EQ(ZedaduHost_SkinnedWindowCount(), skinned + 1);
    EXPECT_EQ(world.snapshot().caption, "AVI File Setup");
    EXPECT_EQ(control(1031).text, "Byte Boundary");  // relabelled from the host's strings
    const std::tuple<int, int, Items> lists[] = {
        {101, 0, {"Video 1", "Rate Codec", "Both Codec", "Uncompressed RGB"}},
        {1011, 0, {"None (progressive)", "Upper field first", "Lower field first"}},
        {105, -1, {"128", "256", "512", "800", "1500", "2000", "5000", "8000"}},
        {106, -1, {"512", "2048"}},
        {122, 1, {"32 Bit Color Depth", "24 Bit Color Depth"}},
        {120, 0, {"NTSC", "PAL", "15.000000", "7.000000", "Other"}},
        {123,
         0,
         {"720 X 486", "720 X 480", "640 X 480", "320 X 240", "240 X 176", "176 X 144", "160 X 120",
          "160 X 112", "Other"}},
        {1008, 1, {"48 KHz", "44.1 KHz", "32 KHz", "22.05 KHz", "11.025 KHz", "8 KHz"}}};
    for (const auto& [id, selection, items] : lists) {
        EXPECT_EQ(control(id).items, items) << id;
        EXPECT_EQ(control(id).selection, selection) << id;
    }
    EXPECT_EQ(control(106).text, "512");
    EXPECT_EQ(control(108).text, "75");
    EXPECT_EQ(control(109).position, 75);
    EXPECT_EQ(control(103).text, "4");
    EXPECT_EQ(control(102).check, BST_CHECKED);
    EXPECT_EQ(control(125).maximum, 32000);
    expectEnabled(
        "+101 +110 +108 +109 +102 +103 +122 +120 +123 -104 -105 -113 -107 -124 -125 -126"
        " -127 -166");

    // The selection at opening replaced the stored state by the compressor's own 16 bytes, after
    // the probes set its quality.
    const FakeCompressor& msvc = world.compressor("MSVC");
    EXPECT_EQ(result.resultVideo.settingsBlockSize, 148u + 16);
    EXPECT_EQ(stateByte(15), StateByte(msvc, 15));
    EXPECT_EQ(msvc.quality, 7500u);
    EXPECT_TRUE(msvc.configureOwners.empty() && msvc.aboutOwners.empty());
    EXPECT_EQ(msvc.opened, msvc.closed);
    EXPECT_STREQ(BlockOf(result).compressorName, "Video 1");
    EXPECT_EQ(result.resultVideo.flags, 0u);
    EXPECT_STREQ(result.resultAudio.description, "44KHz 16bit Stereo");
    EXPECT_EQ(result.resultAudio.frameBytes, 4u);
    expectIni("Compression=" + kRgb24 +
              " Width=720 Height=486 Rate=29970026 Scale=1000000 fccHandler=MSVC Quality=7500"
              " PaddingSize=512 KeyFrameRate=4 DataRate=0 offsetAudioandVideo=0 FieldRendering=0"
              " | Channels=2 SamplesPerSecond=44100 Compression=" +
              kPcm16);
}

TEST_F(SettingsDialog, ChoosingAnotherCompressorFollowsItsCapabilities) {
    struct Case {
        const char* script;  // choosing the compressor and its depths
        FOURCC handler;
        uint32_t stateSize;
        const char* controls;
        std::string saved;
    };
    const Case cases[] = {
        {"select 101 1; expect 104 checked; expect 105 text 800; expect 122 count 1",
         FourCC("RATE"), 8, "+104 +105 +113 +107 -108 -109 -110 -102 -103",
         "DataRate=800 Quality=0 KeyFrameRate=0 Compression=" + kRgb24},
        {"select 101 'Both Codec'; expect 104 unchecked; expect 122 count 3; select 122 2",
         FourCC("BOTH"), 1000, "+104 +108 +109 +107 +110 +102 +103 -105 -113",
         std::string("DataRate=0 Quality=7500 KeyFrameRate=4 Compression=") + FORMAT_ID_RGB16},
        {"select 101 3; expect 122 count 3; expect 123 count 11", dialog::kUncompressedHandler, 0,
         "-104 -105 -108 -109 -113 -102 -103 -107 -110", "DataRate=0 Quality=7500 KeyFrameRate=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const WritingSettingsRecord& result =
            call(kEverything, std::string(c.script) + "; press 1");
        expectEnabled(c.controls);
        EXPECT_EQ(BlockOf(result).fccHandler, c.handler);
        EXPECT_EQ(BlockOf(result).compressorName, control(101).text);
        EXPECT_EQ(result.resultVideo.settingsBlockSize, 148 + c.stateSize);
        expectIni(c.saved);
    }
}

// A depth the compressor cannot take selects the first entry of the depth list, which OK saves.
TEST_F(SettingsDialog, ADepthTheCompressorCannotTakeSelectsTheFirstEntry) {
    expectFlows(
        {{"fccHandler=RATE Compression=" + std::string(FORMAT_ID_RGB16),
          "expect 122 count 1; expect 122 selection 0; expect 122 text '24 Bit Color Depth'",
          "Compression=" + kRgb24}});
}

// Choosing the uncompressed entry keeps the quality or data rate it takes away in the INI file at
// once, as the Cancel that follows shows.
TEST_F(SettingsDialog, TheUncompressedEntryRemembersTheLastQualityOrDataRate) {
    const struct {
        const char* settings;
        const char* script;
        const char* kept;
    } cases[] = {{"fccHandler=BOTH DataRate=0", "type 108 40; select 101 3; press 2",
                  "Quality=4000 DataRate=0"},
                 {"fccHandler=RATE", "expect 105 text 800; type 105 1500; select 101 3; press 2",
                  "DataRate=1500 Quality=-"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(call(kEverything, c.script, c.settings).accepted, 0u);
        expectIni(c.kept);
    }
}

// Quality 100 or less (hundredths) counts as unset when the dialog opens without a data rate: the
// INI file's "Quality" (7500 when absent) stands in for it; a set quality is shown as it is.
TEST_F(SettingsDialog, QualityAtOpeningComesFromTheIniFileOnlyWhenUnset) {
    const struct {
        uint32_t quality;
        const char* settings;
        const char* shown;
    } cases[] = {{0, "", "75"},
                 {0, "Quality=6000", "60"},
                 {100, "Quality=6000", "60"},
                 {5000, "Quality=6000", "50"},
                 {5000, "", "50"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.quality << " " << c.settings);
        writeIni("DataRate=0");
        loadHostFormats();
        hostBlock().quality = c.quality;
        writeIni(c.settings);
        run(kHostsFormats, std::string("expect 108 text ") + c.shown + "; press 2");
        expectIni(c.settings[0] ? c.settings : "Quality=-");
    }
}

// Choosing a compressor, at opening or in the dialog, replaces the state stored for it by the
// state of a freshly opened one: the stored state is never restored into the compressor, only the
// state just captured from it.
TEST_F(SettingsDialog, ChoosingACompressorReplacesTheStoredStateByItsOwn) {
    writeIni("fccHandler=BOTH");
    loadHostFormats();
    auto* block = static_cast<CompressionSettings*>(realloc(&hostBlock(), 148 + 8));
    ASSERT_NE(block, nullptr);
    block->stateSize = 8;
    memset(reinterpret_cast<uint8_t*>(block) + 148, 0xEE, 8);
    host.resultVideo.settingsBlock = block;
    host.resultVideo.settingsBlockSize = 148 + 8;
    const FakeCompressor& both = world.compressor("BOTH");
    const FakeCompressor& msvc = world.compressor("MSVC");
    for (const char* choice : {"expect 101 selection 2", "select 101 0"}) {
        SCOPED_TRACE(choice);
        run(kHostsFormats, std::string(choice) + "; press 1");
        const FakeCompressor& chosen = choice[0] == 'e' ? both : msvc;
        const size_t stateSize = choice[0] == 'e' ? 1000 : 16;
        EXPECT_EQ(BlockOf(record).fccHandler, chosen.handler);
        EXPECT_EQ(record.resultVideo.settingsBlockSize, 148 + stateSize);
        EXPECT_EQ(stateByte(0), StateByte(chosen, 0));
        EXPECT_EQ(stateByte(stateSize - 1), StateByte(chosen, stateSize - 1));
    }
    ASSERT_EQ(both.restoredState.size(), 1000u);
    EXPECT_EQ(both.restoredState[7], StateByte(both, 7));
    EXPECT_EQ(std::count(msvc.messages.begin(), msvc.messages.end(), ICM_SETSTATE), 0);
}

TEST_F(SettingsDialog, DataRateAndKeyFramesToggle) {
    expectFlows({
        // Checking the data rate gives up the quality control, starting from the stored rate.
        {"fccHandler=BOTH DataRate=0",
         "click 104; expect 105 text 0; expect 108 text ''; expect 109 disabled; type 105 1500;"
         "click 102; click 114",
         "DataRate=1500 Quality=0 KeyFrameRate=0 offsetAudioandVideo=1"},
        // Unchecking it brings the quality back.
        {"fccHandler=BOTH DataRate=0",
         "click 104; click 104; expect 105 disabled; expect 108 text 75; expect 109 enabled",
         "DataRate=0 Quality=7500 KeyFrameRate=4"},
        // A compressor without quality control keeps the box checked.
        {"fccHandler=RATE", "click 104; expect 104 checked; expect 108 disabled",
         "DataRate=800 Quality=0"},
        {"",
         "click 102; expect 103 disabled; expect 103 text ''; click 102; expect 103 text 4;"
         "type 103 9",
         "KeyFrameRate=9 Quality=7500 DataRate=0"},
    });
}

TEST_F(SettingsDialog, QualityFollowsTypingAndScrolling) {
    expectFlows({{"",
                  "type 108 250; expect 108 text 100; expect 109 position 100;"
                  "scroll 109 page-right; expect 108 text 100; type 108 98; scroll 109 page-right;"
                  "expect 108 text 100; scroll 109 page-left; expect 108 text 97;"
                  "expect 109 position 97; scroll 109 line-left; expect 108 text 96;"
                  "scroll 109 line-right; expect 108 text 97; scroll 109 left; expect 108 text 0;"
                  "expect 109 position 0; scroll 109 line-left; expect 108 text 0; type 108 2;"
                  "scroll 109 page-left; expect 108 text 0;"
                  "scroll 109 right; expect 108 text 100; scroll 109 thumb 40;"
                  "expect 108 text 40; expect 109 position 40",
                  "Quality=4000"}});
}

TEST_F(SettingsDialog, TheLowQualityQuestion) {
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

TEST_F(SettingsDialog, OtherFrameSizeAndRateAreReadAndClamped) {
    expectFlows({
        {"",
         "select 123 Other; expect 124 enabled; expect 124 text 720; type 124 -5; type 126 240;"
         "select 120 Other; expect 166 text 29.97; type 166 59.94; select 106 1",
         "Width=1 Height=240 Rate=30000000 Scale=1000000 PaddingSize=2048"},
        {"", "select 123 Other; type 124 40000; select 120 Other; type 166 0.5",
         "Width=40000 Height=486 Rate=1000000"},
        {"", "select 120 Other; type 166 ''", "Width=720 Height=486 Rate=29970026"},
        {"Rate=15 Scale=1", "select 120 Other; type 166 nan", "Rate=15000000 Scale=1000000"},
        {"", "select 120 PAL; select 123 2", "Width=640 Height=480 Rate=25000000"},
        {"", "select 120 2; select 123 Other; spin 125 up; spin 127 down",
         "Width=721 Height=485 Rate=15000000"},
        {"Width=352 Height=288 Rate=24 Scale=1",
         "expect 123 text Other; expect 124 text 352; expect 126 text 288; expect 120 text Other;"
         "expect 166 text 24.000000",
         "Width=352 Height=288 Rate=24000000"},
        {"Rate=25000000", "expect 120 text PAL; expect 166 disabled", "Rate=25000000"},
        {"Rate=30000 Scale=1001", "expect 120 text NTSC", "Rate=29970026"},
        // Without a scale the rate is unknown: "Other" at 0, which OK keeps to 1 frame a second.
        {"Rate=30 Scale=0", "expect 120 text Other; expect 166 text 0.000000",
         "Rate=1000000 Scale=1000000"},
    });
}

TEST_F(SettingsDialog, AudioListsFollowTheLoadedSettingsAndAreReadBack) {
    expectFlows({
        {"| Channels=1 SamplesPerSecond=44099 Compression=" + kPcm8,
         "expect 1006 selection 1; expect 1007 selection 1; expect 1008 text '32 KHz'",
         "| Channels=1 SamplesPerSecond=32000 Compression=" + kPcm8},
        {"| SamplesPerSecond=100000", "expect 1008 selection 0",
         "| Channels=2 SamplesPerSecond=48000 Compression=" + kPcm16},
        {"| Channels=6 SamplesPerSecond=0", "expect 1006 selection 0; expect 1008 text '8 KHz'",
         "| Channels=2 SamplesPerSecond=8000"},
        {"", "select 1006 Mono; select 1007 '8 bit'; select 1008 '22.05 KHz'",
         "| Channels=1 SamplesPerSecond=22050 Compression=" + kPcm8},
        {"", "select 1008 4", "| Channels=2 SamplesPerSecond=11025 Compression=" + kPcm16},
    });
    EXPECT_STREQ(record.resultAudio.description, "11KHz 16bit Stereo");
    EXPECT_EQ(record.resultAudio.frameBytes, 4u);
    EXPECT_EQ(record.resultAudio.flags, 0u);  // loaded with 0x10000000
}

TEST_F(SettingsDialog, TheHostsFormatsWithTheirFieldInterleavingAndTheCompressorButtons) {
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
        hostVideoFlags = c.flags;
        const WritingSettingsRecord& result =
            call(kHostsFormats, std::string(c.script) + "; press 1");
        EXPECT_EQ(result.accepted, 1u);
        EXPECT_EQ(result.resultVideo.flags, c.resultFlags);
    }
    EXPECT_EQ(world.ini("Width"), "720");  // saved, though nothing was loaded

    // The boxes of the stored compressor, and a data rate from nothing: the default rate.
    call(kHostsFormats, "click 107; click 110; click 104; expect 105 text 800; press 1",
         "fccHandler=BOTH DataRate=0");
    const FakeCompressor& both = world.compressor("BOTH");
    ASSERT_EQ(both.configureOwners.size(), 1u);
    EXPECT_NE(both.configureOwners[0], ICQUERYBOX);
    EXPECT_EQ(both.aboutOwners, both.configureOwners);
    expectIni("fccHandler=BOTH DataRate=800 Quality=0");
}

TEST_F(SettingsDialog, CancelKeepsTheExchangedBlockAndTheLiveIniKeys) {
    // Quality and data rate are remembered in the INI file as the data-rate box is clicked.
    const WritingSettingsRecord& result =
        call(kEverything, "type 108 40; click 104; type 105 1500; click 104; press 2",
             "fccHandler=BOTH DataRate=0");
    EXPECT_EQ(result.accepted, 0u);
    EXPECT_EQ(result.resultVideo.settingsBlockSize, 1148u);  // the block the dialog exchanged
    EXPECT_EQ(stateByte(999), StateByte(world.compressor("BOTH"), 999));
    expectIni("fccHandler=BOTH Quality=4000 DataRate=1500 Width=-");

    // A compressor with quality control only gives up the host's data rate at opening, and the
    // INI file keeps that rate.
    EXPECT_EQ(call(kHostsFormats, "expect 104 unchecked; expect 108 text 75; press escape",
                   "DataRate=500")
                  .accepted,
              0u);
    EXPECT_EQ(BlockOf(record).dataRate, 500u);
    expectIni("DataRate=500 Quality=-");

    // Without a front-end the dialog cannot open: the same as a cancelled dialog.
    EXPECT_EQ(call(kEverything, "").accepted, 0u);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 148u);
}

// The real dialog, keeping the audio working copy it leaves for a look afterwards.
struct SessionAudio {
    static inline AudioFormatRecord committed{};
    static intptr_t Run(const char* name, HWND parent, dialog::SettingsDialogSession& session) {
        const intptr_t result = dialog::RunSettingsDialog(name, parent, session);
        committed = session.audioFormat;
        return result;
    }
};

TEST_F(SettingsDialog, AudioOnlyAndVideoOnlyTemplates) {
    const WritingSettingsRecord& audio =
        call(kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio,
             "select 1008 0; select 1006 1; press 1");
    EXPECT_EQ(audio.accepted, 1u);
    EXPECT_STREQ(audio.resultAudio.description, "48KHz 16bit Mono");
    EXPECT_EQ(world.snapshot().templateName, "AVIFILESETTINGS_AUDIO");
    EXPECT_TRUE(control(101).items.empty());  // hidden and never filled: no compressor asked
    EXPECT_EQ(world.compressor("MSVC").opened, 0);
    EXPECT_EQ(control(108).text, "");
    expectIni("Quality=- DataRate=- Width=- | Channels=1 SamplesPerSecond=48000");

    writer::SetSettingsDialogRunnerForTesting(&SessionAudio::Run);
    const WritingSettingsRecord& video =
        call(kSettingsShowDialog | kSettingsLoadIni | kSettingsVideo,
             "select 120 PAL; expect 1008 hidden; expect 1008 selection 3; press 1",
             "| Channels=1 SamplesPerSecond=22050 Compression=" + kPcm8);
    EXPECT_EQ(video.accepted, 1u);
    EXPECT_EQ(world.snapshot().templateName, "AVIFILESETTINGS_VIDEO");
    EXPECT_EQ(control(1006).items, (Items{"Stereo", "Mono"}));
    EXPECT_EQ(video.resultVideo.rate, 25000000u);
    EXPECT_EQ(video.resultAudio.sampleRate, 22050u);  // as loaded: audio is not concerned
    // The hidden audio lists were filled and read like visible ones.
    EXPECT_STREQ(SessionAudio::committed.description, "22KHz 8bit Mono");
    EXPECT_EQ(SessionAudio::committed.frameBytes, 1u);
    expectIni("Rate=25000000 | SamplesPerSecond=22050");
}

TEST_F(SettingsDialog, StoredCompressorIsFoundIgnoringCaseOrLeftAlone) {
    call(kEverything, "expect 101 selection 0; press 1", "fccHandler=msvc");
    expectIni("fccHandler=MSVC");

    // No listed compressor of that code: nothing is selected, both probes report it, and the
    // size stays as it was. With no compressor selected, the data-rate box can be unchecked for
    // the quality control.
    MessageRecorder recorder;
    call(kEverything,
         "expect 101 selection -1; expect 122 count 0; expect 123 count 0; expect 124 disabled;"
         "expect 107 enabled; expect 110 enabled; click 104; expect 104 unchecked;"
         "expect 108 enabled; expect 108 text 75; press 1",
         "fccHandler=ZZZZ Width=352 Height=288 DataRate=500");
    ASSERT_EQ(recorder.shown().size(), 2u);
    for (const ShownMessage& shown : recorder.shown()) {
        EXPECT_EQ(shown.messageId, 788u);
        EXPECT_EQ(shown.text1, "AVI file writer");
        EXPECT_EQ(shown.flags, 0x12030u);
    }
    expectIni("fccHandler=ZZZZ Width=352 Height=288 Quality=7500 DataRate=0 Compression=" + kRgb24);
}

class ListedTwice : public SettingsDialog {
  protected:
    ListedTwice()
        : SettingsDialog(SettingsCallCompressors(), SettingsCallDrivers(), {"VIDC.BOTH"}) {}
};

// Each selection asks the compressor for its box twice, since it has one.
TEST_F(ListedTwice, TheLaterEntryStaysSelectedAfterBothHandlersRan) {
    call(kEverything, "expect 101 count 5; expect 101 selection 3; press 1", "fccHandler=BOTH");
    const auto& messages = world.compressor("BOTH").messages;
    EXPECT_EQ(std::count(messages.begin(), messages.end(), ICM_CONFIGURE), 4);
}

// The compressor layer's own drivers: their list, the sizes they take, their options box (a
// dialog nested in the settings dialog, showing the values the codec uses) and their about box.
class RealDrivers : public SettingsDialog {
  protected:
    RealDrivers() : SettingsDialog({}, {}) {}
};

TEST_F(RealDrivers, VideoOneWithTheDefaults) {
    call(kEverything,
         "expect 101 count 12; expect 101 text 'Video 1 (MSVC)'; expect 107 disabled;"
         "expect 110 enabled; press 1");
    EXPECT_EQ(record.accepted, 1u);
    // Video 1 takes every size, coding its whole blocks: the default 720 x 486 is listed.
    EXPECT_EQ(control(123).text, "720 X 486");
    expectIni("fccHandler=MSVC Height=486");
}

// DV fixes its frame sizes: the list offers those two, and "Other" holds any other size.
TEST_F(RealDrivers, DvListsTheOnlySizesItTakes) {
    call(kEverything, "expect 101 text 'DV (dvsd)'; press 1", "fccHandler=dvsd");
    EXPECT_EQ(control(123).items, (Items{"720 X 576", "720 X 480", "Other"}));
    EXPECT_EQ(control(123).text, "Other");
}

TEST_F(RealDrivers, OptionsAndAboutBoxesOfPng) {
    MessageRecorder messages;
    call(kEverything,
         "expect 101 text 'PNG (MPNG)'; expect 107 enabled; click 107; expect 100 enabled;"
         "expect 100 text 0; expect 101 text 6; type 101 5; press enter; click 110; press 1",
         "fccHandler=MPNG");
    EXPECT_EQ(record.accepted, 1u);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].caption, "About PNG (MPNG)");
    EXPECT_NE(messages.shown()[0].text.find("png codec of FFmpeg's libavcodec"), std::string::npos);
    // The state now carries compression level 5: magic, version 1, one entry, the handler, then
    // option 2 with its value.
    ASSERT_EQ(record.resultVideo.settingsBlockSize, 168u);
    const auto* state = reinterpret_cast<const uint8_t*>(record.resultVideo.settingsBlock) + 148;
    EXPECT_EQ(memcmp(state, "zvcs\x01\x00\x01\x00MPNG\x02\x00\x00\x00\x05\x00\x00\x00", 20), 0);
    expectIni("fccHandler=MPNG");
}

}  // namespace
}  // namespace zedadu::test
