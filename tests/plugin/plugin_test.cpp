// The plug-in as a host sees it: loaded with dlopen, driven through its exports only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "platform/hostlib/host_api.h"
#include "plugin/plugin.h"
#include "tests/support/test_support.h"

namespace zedadu {
namespace {

const std::set<std::string> kEntryPoints = {
    "AVFILE_QueryInterfaceReading",
    "AVFILE_CloseInterfaceReading",
    "AVFILE_OpenFileForRead",
    "AVFILE_GetReadingFileInfo",
    "AVFILE_ReleaseFormatsFromGetReadingFileInfo",
    "AVFILE_ReadImageFrame",
    "AVFILE_ReleaseFormatFromReadImageFrame",
    "AVFILE_ReadAudioSamples",
    "AVFILE_ReleaseFormatFromReadAudioSamples",
    "AVFILE_CloseReadingFile",
    "AVFILE_QueryInterfaceWriting",
    "AVFILE_CloseInterfaceWriting",
    "AVFILE_SetWritingSettings",
    "AVFILE_ReleaseFormatFromSetWritingSettings",
    "AVFILE_OpenFileForWrite",
    "AVFILE_GetWritingFileInfo",
    "AVFILE_ReleaseFormatsFromGetWritingFileInfo",
    "AVFILE_WriteNextVideoFrame",
    "AVFILE_WriteNextAudioSamples",
    "AVFILE_WriteSegment",
    "AVFILE_CloseFileForWrite",
    "AVFILE_GetFreeTimeOnDrive",
};

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    const std::string command = "nm -D --defined-only " + library;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::set<std::string> symbols;
    char line[512];
    while (pipe && fgets(line, sizeof line, pipe.get())) {
        char name[400];
        if (sscanf(line, "%*s %*s %399s", name) == 1) {
            symbols.insert(name);
        }
    }
    return symbols;
}

class LoadedPlugin : public testing::Test {
  protected:
    void SetUp() override {
        library_ = dlopen(ZEDADU_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }
    void TearDown() override { dlclose(library_); }

    template <typename Function>
    Function* entry(const char* name) {
        auto* function = reinterpret_cast<Function*>(dlsym(library_, name));
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    void* library_ = nullptr;
};

TEST(PluginExports, OnlyTheEntryPointsAreExported) {
    EXPECT_EQ(DefinedDynamicSymbols(ZEDADU_PLUGIN_PATH), kEntryPoints);
}

TEST(PluginLoad, TheModuleDescriptionIsCutToNinetyNineCharacters) {
    const std::string longText(150, 'd');
    ZedaduHost_SetString(1800, longText.c_str());
    void* library = dlopen(ZEDADU_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ZedaduHost_SetString(1800, nullptr);
    ASSERT_NE(library, nullptr) << dlerror();
    auto* reading = reinterpret_cast<decltype(AVFILE_QueryInterfaceReading)*>(
        dlsym(library, "AVFILE_QueryInterfaceReading"));
    PluginQueryRecord query{};
    query.size = sizeof query;
    ASSERT_EQ(reading(&query), 1);
    EXPECT_EQ(std::string(query.descriptions[0]), longText.substr(0, 99));
    dlclose(library);
}

TEST_F(LoadedPlugin, HandshakesFillTheQueryRecordAndRefuseShortOnes) {
    auto* reading = entry<decltype(AVFILE_QueryInterfaceReading)>("AVFILE_QueryInterfaceReading");
    auto* writing = entry<decltype(AVFILE_QueryInterfaceWriting)>("AVFILE_QueryInterfaceWriting");
    for (auto* handshake : {reading, writing}) {
        PluginQueryRecord shortRecord;
        test::Poison(shortRecord);
        shortRecord.size = sizeof(PluginQueryRecord) - 1;
        EXPECT_EQ(handshake(&shortRecord), 0);
        EXPECT_TRUE(test::IsPoisonedExceptSize(shortRecord));
        EXPECT_EQ(handshake(nullptr), 0);
    }

    PluginQueryRecord readQuery, writeQuery;
    test::Poison(readQuery);
    test::Poison(writeQuery);
    readQuery.size = writeQuery.size = sizeof(PluginQueryRecord);
    ASSERT_EQ(reading(&readQuery), 1);
    ASSERT_EQ(writing(&writeQuery), 1);
    for (const PluginQueryRecord* query : {&readQuery, &writeQuery}) {
        EXPECT_STREQ(query->interfaceId, "DA70E8C1-E6D6-11d1-8933-000094753E29");
        EXPECT_STREQ(query->secondId, "DA70E8C2-E6D6-11d1-8933-000094753E29");
        EXPECT_EQ(query->reserved, 0u);
        EXPECT_STREQ(query->name, "AVI File Format");
        EXPECT_EQ(query->fileTypeCount, 1u);
        EXPECT_STREQ(query->extensions[0], "avi");
        EXPECT_STREQ(query->descriptions[0], "AVI file (Audio Video Interleave)");
    }
    EXPECT_EQ(readQuery.capabilities, 11u);
    EXPECT_EQ(writeQuery.capabilities, 26u);
    EXPECT_EQ(readQuery.descriptions, writeQuery.descriptions);
    EXPECT_EQ(readQuery.descriptions[0], writeQuery.descriptions[0]);
    EXPECT_EQ(readQuery.extensions[0], writeQuery.extensions[0]);
}

TEST_F(LoadedPlugin, SharedNoOperationsSucceedAndSegmentsAreRefused) {
    for (const char* name :
         {"AVFILE_CloseInterfaceReading", "AVFILE_ReleaseFormatsFromGetReadingFileInfo",
          "AVFILE_ReleaseFormatFromReadImageFrame", "AVFILE_ReleaseFormatFromReadAudioSamples",
          "AVFILE_CloseInterfaceWriting", "AVFILE_ReleaseFormatsFromGetWritingFileInfo"}) {
        auto* noOperation = entry<int32_t(void*)>(name);
        EXPECT_EQ(noOperation(nullptr), 1) << name;
        int anything = 0;
        EXPECT_EQ(noOperation(&anything), 1) << name;
    }
    // One body behind all six names.
    EXPECT_EQ(dlsym(library_, "AVFILE_CloseInterfaceReading"),
              dlsym(library_, "AVFILE_ReleaseFormatsFromGetWritingFileInfo"));
    auto* segment = entry<decltype(AVFILE_WriteSegment)>("AVFILE_WriteSegment");
    EXPECT_EQ(segment(nullptr), 0);
    int anything = 0;
    EXPECT_EQ(segment(&anything), 0);
}

TEST_F(LoadedPlugin, NullArgumentsAreRefused) {
    EXPECT_EQ(entry<decltype(AVFILE_OpenFileForRead)>("AVFILE_OpenFileForRead")(nullptr, "x.avi"),
              0);
    void* handle = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(entry<decltype(AVFILE_OpenFileForRead)>("AVFILE_OpenFileForRead")(&handle, nullptr),
              0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_GetReadingFileInfo")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_ReadImageFrame")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_ReadAudioSamples")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_CloseReadingFile")(nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_SetWritingSettings")(nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_ReleaseFormatFromSetWritingSettings")(nullptr), 1);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_OpenFileForWrite")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_GetWritingFileInfo")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_WriteNextVideoFrame")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_WriteNextAudioSamples")(nullptr, nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_CloseFileForWrite")(nullptr), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_GetFreeTimeOnDrive")(nullptr), 0);
}

TEST_F(LoadedPlugin, HandlesWithoutTheTagAreRefused) {
    uint32_t notAHandle[64] = {FourCC("AVI!")};
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_CloseReadingFile")(notAHandle), 0);
    EXPECT_EQ(entry<int32_t(void*)>("AVFILE_CloseFileForWrite")(notAHandle), 0);
    ReadingFileInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(entry<int32_t(void*, void*)>("AVFILE_GetReadingFileInfo")(notAHandle, &info), 0);
}

}  // namespace
}  // namespace zedadu
