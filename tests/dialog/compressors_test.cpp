// The compressor list from the driver registry, the configuration and state exchange of one
// compressor, and the two format probes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "dialog/compressors.h"
#include "dialog/format_probes.h"
#include "tests/dialog/fake_compressors.h"

namespace zedadu::test {
namespace {

std::vector<std::string> ListedHandlers(const dialog::CompressorList& list) {
    std::vector<std::string> codes;
    for (int i = 0; i < list.compressorCount; ++i) {
        codes.emplace_back(reinterpret_cast<const char*>(&list.handlerCodes[i]), 4);
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
        auto list = std::make_unique<dialog::CompressorList>();
        EXPECT_EQ(dialog::EnumerateCompressors(*list), 1);
        EXPECT_EQ(ListedHandlers(*list), c.listed);
    }
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
    auto list = std::make_unique<dialog::CompressorList>();
    dialog::EnumerateCompressors(*list);
    ASSERT_EQ(list->compressorCount, dialog::kCompressorCapacity);
    EXPECT_EQ(ListedHandlers(*list)[98], "Q198");
    EXPECT_EQ(ListedHandlers(*list)[99], "DIB ");
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

// A compressor that takes none of the depths is offered those of the uncompressed entry.
TEST(FormatProbes, ACompressorTakingNoDepthIsOfferedThoseOfTheUncompressedEntry) {
    DialogWorld world({FakeCompressor{.handler = FourCC("CVID"), .acceptedDepths = {}}});
    CompressionSettings* block = BlockWithState(FourCC("CVID"), 0);
    const uint32_t depths[] = {32, 24, 16, 8, 4, 0};
    uint32_t marks[5] = {7, 7, 7, 7, 7};
    EXPECT_EQ(dialog::ProbeColorDepths(depths, marks, *block), 1);
    EXPECT_EQ(std::vector<uint32_t>(marks, marks + 5), (std::vector<uint32_t>{1, 1, 1, 1, 0}));
    free(block);
}

}  // namespace
}  // namespace zedadu::test
