// The compressor manager's message contract, pinned with a driver that records every message
// it receives, and the driver list it presents.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/profile/profile.h"
#include "platform/system/system.h"
#include "platform/vfw/builtin.h"
#include "tests/support/test_support.h"
#include "tests/vfw/vfw_test_support.h"

namespace zedadu::test {
namespace {

struct Received {
    DWORD_PTR driverId;
    UINT message;
    LPARAM argument1;
    LPARAM argument2;
    bool operator==(const Received&) const = default;
};

void PrintTo(const Received& received, std::ostream* out) {
    *out << "{id " << received.driverId << ", message 0x" << std::hex << received.message
         << std::dec << ", " << received.argument1 << ", " << received.argument2 << "}";
}

constexpr LRESULT kInstanceId = 0x1234;
constexpr LRESULT kAnswer = 0x77;

struct FakeDriverLog {
    std::vector<Received> received;
    ICOPEN open{};
    ICDECOMPRESS decompress{};
    LRESULT openAnswer = kInstanceId;
} fake;

LRESULT FakeDriver(DWORD_PTR driverId, HDRVR, UINT message, LPARAM argument1, LPARAM argument2) {
    fake.received.push_back({driverId, message, argument1, argument2});
    switch (message) {
        case DRV_OPEN:
            fake.open = *reinterpret_cast<ICOPEN*>(argument2);
            return fake.openAnswer;
        case ICM_DECOMPRESS:
            fake.decompress = *reinterpret_cast<ICDECOMPRESS*>(argument1);
            return kAnswer;
        case DRV_LOAD:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_FREE:
        case DRV_CLOSE:
            return 1;
        default:
            return kAnswer;
    }
}

class FakeDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = FakeDriverLog{};
        ASSERT_TRUE(ICInstall(ICTYPE_VIDEO, FourCC("TEST"), LPARAM(&FakeDriver), "fake",
                              ICINSTALL_FUNCTION));
    }
    void TearDown() override { ICRemove(ICTYPE_VIDEO, FourCC("TEST"), 0); }
};

TEST_F(FakeDriverTest, OpenMessagesAndCloseReachTheDriverInOrder) {
    HIC compressor = ICOpen(FourCC("VIDC"), FourCC("test"), ICMODE_COMPRESS);
    ASSERT_TRUE(compressor);
    const LPARAM open = fake.received.at(2).argument2;
    EXPECT_EQ(fake.received,
              (std::vector<Received>{
                  {0, DRV_LOAD, 0, 0}, {0, DRV_ENABLE, 0, 0}, {0, DRV_OPEN, 0, open}}));
    EXPECT_EQ(fake.open.dwSize, sizeof(ICOPEN));
    EXPECT_EQ(fake.open.fccType, FourCC("VIDC"));
    EXPECT_EQ(fake.open.fccHandler, FourCC("test"));
    EXPECT_EQ(fake.open.dwFlags, ICMODE_COMPRESS);
    fake.received.clear();

    EXPECT_EQ(ICSendMessage(compressor, ICM_COMPRESS_QUERY, 11, 22), kAnswer);
    ICINFO info;
    EXPECT_EQ(ICGetInfo(compressor, &info, sizeof info), kAnswer);
    BITMAPINFOHEADER input{}, output{};
    uint8_t data[4], bits[4];
    EXPECT_EQ(ICDecompress(compressor, ICDECOMPRESS_NOTKEYFRAME, &input, data, &output, bits),
              DWORD(kAnswer));
    const LPARAM decompress = fake.received.at(2).argument1;
    EXPECT_EQ(fake.received, (std::vector<Received>{
                                 {kInstanceId, ICM_COMPRESS_QUERY, 11, 22},
                                 {kInstanceId, ICM_GETINFO, LPARAM(&info), sizeof info},
                                 {kInstanceId, ICM_DECOMPRESS, decompress, sizeof(ICDECOMPRESS)}}));
    EXPECT_EQ(fake.decompress.dwFlags, ICDECOMPRESS_NOTKEYFRAME);
    EXPECT_EQ(fake.decompress.lpbiInput, &input);
    EXPECT_EQ(fake.decompress.lpInput, data);
    EXPECT_EQ(fake.decompress.lpbiOutput, &output);
    EXPECT_EQ(fake.decompress.lpOutput, bits);
    fake.received.clear();

    EXPECT_EQ(ICClose(compressor), ICERR_OK);
    EXPECT_EQ(fake.received, (std::vector<Received>{{kInstanceId, DRV_CLOSE, 0, 0},
                                                    {kInstanceId, DRV_DISABLE, 0, 0},
                                                    {kInstanceId, DRV_FREE, 0, 0}}));
}

TEST_F(FakeDriverTest, RefusedOpenIsUnloadedWithoutClose) {
    fake.openAnswer = 0;
    EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, FourCC("TEST"), ICMODE_DECOMPRESS));
    ASSERT_EQ(fake.received.size(), 5u);
    EXPECT_EQ(fake.received[2].message, UINT(DRV_OPEN));
    EXPECT_EQ(fake.open.dwFlags, ICMODE_DECOMPRESS);
    EXPECT_EQ(fake.received[3], (Received{0, DRV_DISABLE, 0, 0}));
    EXPECT_EQ(fake.received[4], (Received{0, DRV_FREE, 0, 0}));
}

TEST_F(FakeDriverTest, InstalledDriversComeBeforeBuiltInOnes) {
    ASSERT_TRUE(
        ICInstall(ICTYPE_VIDEO, FourCC("mjpg"), LPARAM(&FakeDriver), "fake", ICINSTALL_FUNCTION));
    {
        Compressor installed = OpenCompressor(FourCC("MJPG"), ICMODE_COMPRESS);
        ASSERT_TRUE(installed);
        EXPECT_EQ(ICSendMessage(installed.get(), ICM_COMPRESS_QUERY, 0, 0), kAnswer);
    }
    EXPECT_TRUE(ICRemove(ICTYPE_VIDEO, FourCC("MJPG"), 0));
    EXPECT_FALSE(ICRemove(ICTYPE_VIDEO, FourCC("MJPG"), 0));
    Compressor builtIn = OpenCompressor(FourCC("MJPG"), ICMODE_COMPRESS);
    ASSERT_TRUE(builtIn);
    ICINFO info{};
    ICGetInfo(builtIn.get(), &info, sizeof info);
    EXPECT_EQ(std::u16string(info.szDescription), u"Motion JPEG");

    EXPECT_FALSE(ICInstall(ICTYPE_VIDEO, FourCC("ABCD"), LPARAM(&FakeDriver), "fake", 0));
    EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, FourCC("ABCD"), ICMODE_COMPRESS));
    EXPECT_FALSE(ICOpen(FourCC("audc"), FourCC("MJPG"), ICMODE_COMPRESS));
    EXPECT_EQ(ICSendMessage(nullptr, ICM_COMPRESS_QUERY, 0, 0), ICERR_BADHANDLE);
}

std::vector<std::string> KeyNames(const char* section) {
    std::vector<char> buffer(5000);
    GetPrivateProfileStringA(section, nullptr, "nothing", buffer.data(), DWORD(buffer.size()),
                             "system.ini");
    std::vector<std::string> names;
    for (const char* name = buffer.data(); *name; name += strlen(name) + 1) {
        names.emplace_back(name);
    }
    return names;
}

// The driver list is read the way the compressor enumeration reads it: key names of "drivers"
// and "drivers32" in a 5000-byte buffer, codes upper-cased, opened for compression.
TEST(DriverListTest, SystemIniListsEveryDriverCompressorsFirst) {
    ScratchDirectory directory;
    SetWindowsDirectoryForTesting(directory.path().c_str());
    ASSERT_TRUE(vfw::EnsureDriverList());
    EXPECT_TRUE(KeyNames("drivers").empty());
    const std::vector<std::string> names = KeyNames("drivers32");
    ASSERT_EQ(names.size(), vfw::BuiltInCompressors().size());
    std::vector<std::string> compressors;
    for (std::string name : names) {
        ASSERT_EQ(name.size(), 9u);
        ASSERT_EQ(name.substr(0, 5), "VIDC.");
        CharUpperA(name.data());
        const FOURCC code = Code(name.c_str() + 5);
        EXPECT_TRUE(OpenCompressor(code, ICMODE_DECOMPRESS)) << name;
        if (OpenCompressor(code, ICMODE_COMPRESS)) {
            compressors.push_back(name.substr(5));
        }
    }
    EXPECT_EQ(compressors, (std::vector<std::string>{"MSVC", "CVID", "MJPG", "DVSD", "HFYU", "FFV1",
                                                     "XVID", "ZMBV", "ULRG", "ULY2", "MPNG"}));
    char value[64];
    GetPrivateProfileStringA("drivers32", "VIDC.MJPG", "", value, sizeof value, "system.ini");
    EXPECT_STREQ(value, "libavcodec:mjpeg");

    // A list that exists is the user's (or a test's): it stays as it is.
    std::ofstream(directory.file("system.ini")) << "[drivers32]\nVIDC.CVID=own\n";
    EXPECT_TRUE(vfw::EnsureDriverList());
    EXPECT_EQ(KeyNames("drivers32"), std::vector<std::string>{"VIDC.CVID"});
    SetWindowsDirectoryForTesting(nullptr);
}

// A Windows directory that cannot be made (a file stands in its way): the list is read from memory
// all the same, and one message box says where it could not be saved.
TEST(DriverListTest, AListThatCannotBeSavedIsKeptInMemoryWithOneNote) {
    ScratchDirectory directory;
    std::ofstream(directory.file("file")) << "not a directory";
    const std::string windows = directory.file("file") + "/windows";
    SetWindowsDirectoryForTesting(windows.c_str());
    MessageRecorder messages;
    EXPECT_FALSE(vfw::EnsureDriverList());
    EXPECT_FALSE(vfw::EnsureDriverList());
    EXPECT_EQ(KeyNames("drivers32").size(), vfw::BuiltInCompressors().size());
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_NE(messages.shown()[0].text.find(windows + "/system.ini"), std::string::npos);
    EXPECT_NE(messages.shown()[0].text.find("Not a directory"), std::string::npos);
    SetWindowsDirectoryForTesting(nullptr);
}

}  // namespace
}  // namespace zedadu::test
