// The settings call on the compressor layer's own drivers: their list, the sizes they refuse,
// their options box (a dialog nested in the settings dialog) and their about box.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "frame/plugin.h"
#include "platform/hostlib/host_api.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {
namespace {

constexpr uint32_t kEverything =
    kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio | kSettingsVideo;

class RealDrivers : public ::testing::Test {
  protected:
    RealDrivers() : world({}) { record.request = kEverything; }
    void TearDown() override { AVFILE_ReleaseFormatFromSetWritingSettings(&record); }
    void call(const char* script) {
        ZedaduHost_SetDialogScript(script);
        record.currentVideo.size = record.resultVideo.size = sizeof(ImageFormatStruct);
        record.currentAudio.size = record.resultAudio.size = sizeof(AudioFormatRecord);
        ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
        EXPECT_EQ(world.snapshot().failure, "");
    }
    const CompressionSettings& block() const {
        return *static_cast<const CompressionSettings*>(record.resultVideo.settingsBlock);
    }

    DialogWorld world;
    WritingSettingsRecord record{};
};

TEST_F(RealDrivers, VideoOneWithTheDefaults) {
    call(
        "expect 101 count 12; expect 101 text 'Video 1 (MSVC)'; expect 107 disabled;"
        "expect 110 enabled; press 1");
    EXPECT_EQ(record.accepted, 1u);
    const auto& sizes = world.snapshot().control(123).items;
    // Video 1 takes only sizes in multiples of 4: 720 x 486 is not offered, so "Other" holds it.
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), "720 X 486"), 0);
    EXPECT_EQ(world.snapshot().control(123).text, "Other");
    EXPECT_EQ(world.snapshot().control(124).text, "720");
    EXPECT_EQ(record.resultVideo.height, 486);
    EXPECT_EQ(world.ini("fccHandler"), "MSVC");
}

TEST_F(RealDrivers, OptionsAndAboutBoxesOfPng) {
    std::ofstream(world.iniPath()) << "[VideoWritingSettings]\nfccHandler=MPNG\n";
    MessageRecorder messages;
    call(
        "expect 101 text 'PNG (MPNG)'; expect 107 enabled; click 107; expect 100 enabled;"
        "type 101 5; press enter; click 110; press 1");
    EXPECT_EQ(record.accepted, 1u);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].caption, "About PNG (MPNG)");
    EXPECT_NE(messages.shown()[0].text.find("png codec of FFmpeg's libavcodec"), std::string::npos);
    // The state now carries compression level 5: magic, version 1, one entry, the handler, then
    // option 2 with its value.
    ASSERT_EQ(block().stateSize, 20u);
    EXPECT_EQ(record.resultVideo.settingsBlockSize, 168u);
    const auto* state = reinterpret_cast<const uint8_t*>(&block()) + 148;
    EXPECT_EQ(memcmp(state, "zvcs\x01\x00\x01\x00MPNG\x02\x00\x00\x00\x05\x00\x00\x00", 20), 0);
    EXPECT_EQ(world.ini("fccHandler"), "MPNG");
}

}  // namespace
}  // namespace zedadu::test
