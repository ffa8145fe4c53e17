#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/system/system.h"
#include "tests/support/test_support.h"

namespace {

TEST(TextConversion, AnsiIsWindows1252) {
    const char ansi[] = "\x80 caf\xE9 \x9F";
    char16_t wide[16];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi, -1, wide, 16), 9);
    EXPECT_EQ(std::u16string(wide), u"\u20AC caf\u00E9 \u0178");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0), 9);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 4), 0);  // too small

    char back[16];
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 16, nullptr, &usedDefault), 9);
    EXPECT_STREQ(back, ansi);
    EXPECT_FALSE(usedDefault);
    const char16_t unmappable[] = u"\u4E2D!";
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, unmappable, -1, back, 16, nullptr, &usedDefault), 3);
    EXPECT_STREQ(back, "?!");
    EXPECT_TRUE(usedDefault);
}

TEST(TextConversion, UpperCaseFollowsTheCodePage) {
    char text[] = "msvc \xE9\xFF\x9A\xDF\xF7";
    CharUpperA(text);
    EXPECT_STREQ(text, "MSVC \xC9\x9F\x8A\xDF\xF7");
    char code[] = {'d', 'i', 'b', ' ', 'x'};
    EXPECT_EQ(CharUpperBuffA(code, 4), 4u);
    EXPECT_EQ(std::string(code, 5), "DIB x");
    // Handler codes match as the code page upper-cases them, accented letters too.
    EXPECT_TRUE(SameFourCCIgnoringCase(FourCC("cRaM"), FourCC("CRAM")));
    EXPECT_TRUE(SameFourCCIgnoringCase(FourCC("d\xE9v "), FourCC("D\xC9V ")));
    EXPECT_FALSE(SameFourCCIgnoringCase(FourCC("DIB "), FourCC("DIB\0")));
    EXPECT_FALSE(SameFourCCIgnoringCase(FourCC("\xDF\xDF\xDF\xDF"), FourCC("SSSS")));
}

TEST(Files, LastWriteTimeCountsHundredNanosecondsSince1601) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("clip.avi");
    std::ofstream(path) << "x";
    const timespec times[2] = {{946684800, 0}, {946684800, 500}};  // 2000-01-01 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written{};
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    EXPECT_EQ(uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime,
              125911584000000005ULL);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(CreateFileA(directory.file("missing").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST(Paths, TheHostExecutableIsTheRunningProgram) {
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    EXPECT_EQ(std::string(path), std::filesystem::canonical("/proc/self/exe").string());
    SetHostExecutablePathForTesting("/opt/host/bin/editor");
    char cut[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, sizeof cut), 7u);
    EXPECT_STREQ(cut, "/opt/ho");
    SetHostExecutablePathForTesting(nullptr);
    EXPECT_NE(ModuleInstanceOf(reinterpret_cast<const void*>(&GetModuleFileNameA)), nullptr);
}

}  // namespace
