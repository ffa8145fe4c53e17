#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/profile/profile.h"
#include "platform/system/system.h"
#include "tests/support/test_support.h"

namespace {

class ProfileFile : public testing::Test {
  protected:
    std::string read(const char* section, const char* key, const char* fallback = "default",
                     DWORD size = 256) {
        char buffer[256];
        const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer, size, ini());
        return std::string(buffer, length);
    }
    std::string content() {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    const char* ini() const { return path_.c_str(); }

    zedadu::test::ScratchDirectory directory_;
    std::string path_ = directory_.file("ZEDADU.ini");
};

TEST_F(ProfileFile, MissingFileSectionOrKeyGiveTheDefault) {
    EXPECT_EQ(read("VideoWritingSettings", "Width", "720  "), "720");
    EXPECT_EQ(GetPrivateProfileIntA("VideoWritingSettings", "Width", 720, ini()), 720u);
    ASSERT_TRUE(WritePrivateProfileStringA("VideoWritingSettings", "Width", "352", ini()));
    EXPECT_EQ(read("AudioWritingSettings", "Width"), "default");
    EXPECT_EQ(read("VideoWritingSettings", "Height"), "default");
    EXPECT_EQ(read("videowritingsettings", "WIDTH"), "352");
}

TEST_F(ProfileFile, WritesKeepEveryOtherLine) {
    std::ofstream(path_) << "; settings\r\n[Other]\r\nkeep = me\r\n\r\n[VideoWritingSettings]\r\n"
                            "Quality=7500\r\n\r\n[Last]\r\nx=1\r\n";
    ASSERT_TRUE(WritePrivateProfileStringA("VIDEOWRITINGSETTINGS", "quality", "5000", ini()));
    ASSERT_TRUE(WritePrivateProfileStringA("VideoWritingSettings", "DataRate", "800", ini()));
    ASSERT_TRUE(WritePrivateProfileStringA("AudioWritingSettings", "Channels", "2", ini()));
    EXPECT_EQ(content(),
              "; settings\r\n[Other]\r\nkeep = me\r\n\r\n[VideoWritingSettings]\r\nQuality=5000\r\n"
              "DataRate=800\r\n\r\n[Last]\r\nx=1\r\n\r\n[AudioWritingSettings]\r\nChannels=2\r\n");
    EXPECT_EQ(read("Other", "keep"), "me");
    // Nothing but the file itself is left in the directory: writes go through a renamed copy.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_.path()), {}), 1);

    ASSERT_TRUE(WritePrivateProfileStringA("VideoWritingSettings", "Quality", nullptr, ini()));
    ASSERT_TRUE(WritePrivateProfileStringA("Last", nullptr, nullptr, ini()));
    EXPECT_EQ(read("VideoWritingSettings", "Quality"), "default");
    EXPECT_EQ(read("Last", "x"), "default");
}

TEST_F(ProfileFile, ValuesAreTrimmedUnquotedAndCutToTheBuffer) {
    std::ofstream(path_) << "[s]\nspaced =  a b  \nquoted=\"  x \"\nlong=abcdefgh\n";
    EXPECT_EQ(read("s", "spaced"), "a b");
    EXPECT_EQ(read("s", "quoted"), "  x ");
    EXPECT_EQ(read("s", "long", "", 6), "abcde");
}

TEST_F(ProfileFile, NameListsEndWithAnEmptyName) {
    std::ofstream(path_) << "[drivers32]\nVIDC.MSVC=builtin\nmsacm.x=y\n[drivers]\n";
    char buffer[64];
    memset(buffer, 'z', sizeof buffer);
    const DWORD length =
        GetPrivateProfileStringA("drivers32", nullptr, "nothing", buffer, sizeof buffer, ini());
    EXPECT_EQ(std::string(buffer, length), std::string("VIDC.MSVC\0msacm.x\0", 18));
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_EQ(GetPrivateProfileStringA("drivers", nullptr, "nothing", buffer, sizeof buffer, ini()),
              0u);
    EXPECT_EQ(buffer[0], '\0');
    const DWORD missing =
        GetPrivateProfileStringA("absent", nullptr, "nothing", buffer, sizeof buffer, ini());
    EXPECT_EQ(std::string(buffer, missing), std::string("nothing\0", 8));
    EXPECT_EQ(GetPrivateProfileStringA("drivers32", nullptr, "", buffer, 8, ini()), 6u);
    EXPECT_EQ(std::string(buffer, 8), std::string("VIDC.M\0\0", 8));
}

TEST_F(ProfileFile, IntegersAreReadAsTheirLeadingDecimalNumber) {
    std::ofstream(path_) << "[n]\nnegative=-5\ntrailing=12abc\nword=abc\nempty=\nhuge=4294967297\n";
    EXPECT_EQ(int32_t(GetPrivateProfileIntA("n", "negative", 9, ini())), -5);
    EXPECT_EQ(GetPrivateProfileIntA("n", "trailing", 9, ini()), 12u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "word", 9, ini()), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "empty", 9, ini()), 9u);
    EXPECT_EQ(GetPrivateProfileIntA("n", "huge", 9, ini()), 1u);
}

TEST(ProfileNames, AFileNamedWithoutDirectoryLivesInTheWindowsDirectory) {
    zedadu::test::ScratchDirectory directory;
    SetWindowsDirectoryForTesting(directory.path().c_str());
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "VIDC.TEST", "x", "system.ini"));
    EXPECT_TRUE(std::filesystem::exists(directory.path() / "system.ini"));
    SetWindowsDirectoryForTesting(nullptr);
}

}  // namespace
