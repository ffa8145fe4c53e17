// The compressor list from the driver registry, the configuration and state exchange of one
// compressor, and the two format probes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "dialog/compressors.h"
#include "dialog/format_probes.h"
#include "platform/system/system.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {
namespace {

using dialog::compressorList;

std::vector<std::string> ListedHandlers() {
    std::vector<std::string> codes;
    for (int i = 0; i < compressorList.compressorCount; ++i) {
        codes.emplace_back(reinterpret_cast<const char*>(&compressorList.handlerCodes[i]), 4);
    }
    return codes;
}

TEST(CompressorList, FollowsTheRegistryInOrderWithTheUncompressedEntryLast) {
    struct Case {
        std::vector<std::string> drivers32, drivers, listed;
    };
    const Case cases[] = {
        {{"vidc.cvid", "VIDC.IV50"}, {}, {"CVID", "IV50", "DIB "}},
        {{"VIDC.CVID"}, {"VIDC.CVID"}, {"CVID", "CVID", "DIB "}},
        {{"VIDC.XYZ1", "VIDC.IV50"}, {}, {"IV50", "DIB "}},
        {{"msacm.imaadpcm", "VIDC", "VIDCX.CVID", "vidc.ab"}, {}, {"AB  ", "DIB "}},
        {{}, {}, {"DIB "}},
    };
    for (const Case& c : cases) {
        DialogWorld world({{FourCC("CVID"), 0, u"Cinepak"},
                           {FourCC("IV50"), 0, u"Indeo"},
                           {FourCC("AB  "), 0, u"Short"}},
                          c.drivers32, c.drivers);
        EXPECT_EQ(dialog::EnumerateCompressors(), 1);
        EXPECT_EQ(ListedHandlers(), c.listed);
    }
    const ICINFO& uncompressed = compressorList.infos[compressorList.compressorCount - 1];
    EXPECT_EQ(uncompressed.dwFlags, 0u);
    EXPECT_EQ(std::u16string(uncompressed.szDescription), u"Uncompressed RGB");

    // Without a driver list the compressor layer writes its own: every built-in compressor (the
    // keys upper-cased), then the uncompressed entry.
    ScratchDirectory empty;
    SetWindowsDirectoryForTesting(empty.path().c_str());
    dialog::EnumerateCompressors();
    EXPECT_EQ(ListedHandlers(),
              (std::vector<std::string>{"MSVC", "CVID", "MJPG", "DVSD", "HFYU", "FFV1", "XVID",
                                        "ZMBV", "ULRG", "ULY2", "MPNG", "DIB "}));
    EXPECT_EQ(std::u16string(compressorList.infos[1].szDescription), u"Cinepak");
    SetWindowsDirectoryForTesting(nullptr);
}

TEST(CompressorList, KeepsTheLastPlaceForTheUncompressedEntry) {
    std::vector<FakeCompressor> many;
    std::vector<std::string> keys;
    for (int i = 0; i < 150; ++i) {
        const std::string code = "Q" + std::to_string(100 + i);
        many.emplace_back(mmioFOURCC(code[0], code[1], code[2], code[3]), 0, u"Many");
        keys.push_back("VIDC." + code);
    }
    DialogWorld world(std::move(many), keys);
    dialog::EnumerateCompressors();
    ASSERT_EQ(compressorList.compressorCount, dialog::kCompressorCapacity);
    EXPECT_EQ(ListedHandlers()[98], "Q198");
    EXPECT_EQ(ListedHandlers()[99], "DIB ");
}

CompressionSettings* BlockWithState(FOURCC handler, uint32_t stateSize) {
    auto* block = static_cast<CompressionSettings*>(calloc(1, 148 + stateSize));
    block->headerSize = 148;
    block->fccHandler = handler;
    block->stateSize = stateSize;
    memset(reinterpret_cast<uint8_t*>(block) + 148, 0x5A, stateSize);
    return block;
}

TEST(ConfigureCompressor, RestoresCapturesAndGrowsTheState) {
    struct Case {
        uint32_t stored;
        int64_t reported;
        bool exchanged;
        uint32_t stateSize;
        std::vector<UINT> messages;
    };
    const Case cases[] = {
        {0, 1000, true, 1000, {ICM_CONFIGURE, ICM_GETSTATE, ICM_GETSTATE}},
        {1000, 600, false, 600, {ICM_SETSTATE, ICM_CONFIGURE, ICM_GETSTATE, ICM_GETSTATE}},
        // A negative length means no state; the size never goes below 0.
        {16, -5, false, 0, {ICM_SETSTATE, ICM_CONFIGURE, ICM_GETSTATE, ICM_GETSTATE}},
        // A state too large for the block's size field is refused like a failed allocation.
        {16, int64_t{1} << 40, false, 16, {ICM_SETSTATE, ICM_CONFIGURE, ICM_GETSTATE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reported);
        DialogWorld world({{FourCC("CVID"), 0, u"Cinepak", c.reported, true}});
        CompressionSettings* block = BlockWithState(FourCC("CVID"), c.stored);
        const auto before = reinterpret_cast<uintptr_t>(block);
        EXPECT_EQ(dialog::ConfigureCompressor(dialog::kQueryBox, &block), ICERR_OK);
        FakeCompressor& cvid = world.compressor("CVID");
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) != before, c.exchanged);
        EXPECT_EQ(block->headerSize, 148u);
        EXPECT_EQ(block->stateSize, c.stateSize);
        EXPECT_EQ(cvid.messages, c.messages);
        EXPECT_EQ(cvid.restoredState, std::vector<uint8_t>(c.stored, 0x5A));
        if (c.stateSize && c.messages.size() == 4) {
            EXPECT_EQ(reinterpret_cast<uint8_t*>(block)[148 + c.stateSize - 1],
                      StateByte(cvid, c.stateSize - 1));
        }
        EXPECT_EQ(cvid.opened, cvid.closed);
        free(block);
    }
}

TEST(ConfigureCompressor, BoxesOfACompressorThatCannotBeOpened) {
    DialogWorld world({{FourCC("CVID"), 0, u"Cinepak", 0, false, true}});
    CompressionSettings* block = BlockWithState(dialog::kUncompressedHandler, 4);
    EXPECT_EQ(dialog::ConfigureCompressor(dialog::kQueryBox, &block), -1);
    EXPECT_EQ(block->stateSize, 4u);
    EXPECT_EQ(dialog::ShowCompressorAbout(dialog::kQueryBox, dialog::kUncompressedHandler), -1);
    block->fccHandler = FourCC("CVID");
    EXPECT_EQ(dialog::ConfigureCompressor(dialog::kQueryBox, &block), ICERR_UNSUPPORTED);
    const HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(dialog::ShowCompressorAbout(owner, FourCC("CVID")), ICERR_OK);
    EXPECT_EQ(world.compressor("CVID").aboutOwners, std::vector<LPARAM>{0x1234});
    free(block);
}

TEST(FormatProbes, DepthsAndSizesACompressorAccepts) {
    struct Case {
        FakeCompressor compressor;
        std::vector<uint32_t> marks;
        size_t sizes;
    };
    const Case cases[] = {
        {{FourCC("CVID"), 0, u"", 0, false, false, false, {}}, {0, 1, 0}, 11},
        {{FourCC("CVID"), 0, u"", 0, false, false, true, {}}, {1, 1, 1}, 11},
        {{FourCC("CVID"), 0, u"", 0, false, false, true, {16, 32}, {{720, 576}, {240, 240}}},
         {1, 0, 1},
         9},
        {{dialog::kUncompressedHandler, 0, u""}, {1, 1, 1}, 11},
    };
    for (const Case& c : cases) {
        DialogWorld world({c.compressor});
        CompressionSettings* block = BlockWithState(c.compressor.handler, 0);
        block->quality = 6500;
        const uint32_t depths[] = {32, 24, 16, 0};
        uint32_t marks[3] = {7, 7, 7};
        EXPECT_EQ(dialog::ProbeColorDepths(depths, marks, *block), 1);
        EXPECT_EQ(std::vector<uint32_t>(marks, marks + 3), c.marks);
        int32_t widths[dialog::kFrameSizeCapacity], heights[dialog::kFrameSizeCapacity];
        EXPECT_EQ(dialog::ProbeFrameSizes(widths, heights, *block), 1);
        EXPECT_EQ(widths[c.sizes - 1], 0);  // "Other"
        EXPECT_EQ(widths[c.sizes], -1);     // the end mark
        if (c.sizes == 9) {
            EXPECT_EQ(widths[0], 720);
            EXPECT_EQ(heights[0], 486);
            EXPECT_EQ(widths[4], 240);
            EXPECT_EQ(heights[4], 176);
        }
        if (c.compressor.handler != dialog::kUncompressedHandler) {
            EXPECT_EQ(world.compressor("CVID").quality, 6500u);
        }
        free(block);
    }

    // A compressor that cannot be opened: message 788 from each probe, results untouched.
    DialogWorld world({});
    MessageRecorder recorder;
    CompressionSettings* block = BlockWithState(FourCC("NONE"), 0);
    const uint32_t depths[] = {32, 0};
    uint32_t marks[1] = {7};
    int32_t widths[2] = {-1, 9};
    EXPECT_EQ(dialog::ProbeColorDepths(depths, marks, *block), 0);
    EXPECT_EQ(dialog::ProbeFrameSizes(widths, widths, *block), 0);
    EXPECT_EQ(marks[0], 7u);
    EXPECT_EQ(widths[1], 9);
    ASSERT_EQ(recorder.shown().size(), 2u);
    EXPECT_EQ(recorder.shown()[1].messageId, 788u);
    free(block);
}

}  // namespace
}  // namespace zedadu::test
