#include <gtest/gtest.h>

#include <string>

#include "platform/hostlib/host_api.h"
#include "platform/ui/message_box.h"
#include "tests/support/test_support.h"

namespace {

TEST(HostLibrary, StringsAreCutButReportTheirFullLength) {
    char text[8];
    EXPECT_EQ(MyLoadString(1801, text, sizeof text), 15u);
    EXPECT_STREQ(text, "AVI Fil");
    EXPECT_EQ(MyLoadString(4242, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    for (const uint32_t id : {1800u, 1801u, 785u, 787u, 1449u, 1483u, 1484u, 1485u, 40u, 63u, 786u,
                              788u, 789u, 790u, 792u}) {
        EXPECT_GT(MyLoadString(id, nullptr, 0), 0u) << id;
    }
}

TEST(HostLibrary, MessagesCombineTheirTextsAndReturnTheButton) {
    zedadu::test::MessageRecorder recorder;
    recorder.answerNextWith(IDNO);
    EXPECT_EQ(MyMessageBox(63, "/videos/clip.avi", "", 0x12034), IDNO);
    EXPECT_EQ(MessageBoxA(GetForegroundWindow(), "plain text", "Caption", 0x12030), IDOK);
    ASSERT_EQ(recorder.shown().size(), 2u);
    EXPECT_EQ(recorder.shown()[0].messageId, 63u);
    EXPECT_NE(recorder.shown()[0].text.find("\"/videos/clip.avi\""), std::string::npos);
    EXPECT_EQ(recorder.shown()[0].flags, 0x12034u);
    EXPECT_EQ(recorder.shown()[1].messageId, 0u);
    EXPECT_EQ(recorder.shown()[1].text, "plain text");
    EXPECT_EQ(recorder.shown()[1].caption, "Caption");
}

TEST(HostLibrary, FixedAnswersFallBackToTheDefaultButton) {
    ZedaduHost_AnswerMessagesWith(IDNO);
    EXPECT_EQ(MyMessageBox(789, "x", "", 0x12034), IDNO);
    EXPECT_EQ(MyMessageBox(788, "x", "", 0x12030), IDOK);
    ZedaduHost_AnswerMessagesWith(0);
    EXPECT_EQ(MyMessageBox(792, "x", "", 0x12033), IDYES);
}

TEST(HostLibrary, AudioWidthConversions) {
    const uint8_t eight[] = {0, 127, 128, 255};
    int16_t sixteen[4];
    ConvertAudio8To16(sixteen, eight, 4);
    EXPECT_EQ(sixteen[0], -32768);
    EXPECT_EQ(sixteen[1], -256);
    EXPECT_EQ(sixteen[2], 0);
    EXPECT_EQ(sixteen[3], 32512);
    const int16_t wide[] = {-32768, -1, 0, 32767};
    uint8_t narrow[4];
    ConvertAudio16To8(wide, narrow, 4);
    EXPECT_EQ(narrow[0], 0);
    EXPECT_EQ(narrow[1], 127);
    EXPECT_EQ(narrow[2], 128);
    EXPECT_EQ(narrow[3], 255);
}

TEST(HostLibrary, FreeBytesOfTheRecordingDirectory) {
    zedadu::test::ScratchDirectory directory;
    ZedaduHost_SetRecordingDirectory(directory.path().c_str());
    EXPECT_GT(GetBytesOnDrive(nullptr), 0u);
    ZedaduHost_SetRecordingDirectory((directory.path() / "missing").c_str());
    EXPECT_EQ(GetBytesOnDrive(nullptr), 0u);
    ZedaduHost_SetRecordingDirectory(nullptr);
}

}  // namespace
