// The OpenDML index and the movie-list walk read straight from files built in code: what they
// find, and what they make of super indexes that point anywhere.
#include <gtest/gtest.h>

#include <filesystem>

#include "reader/movie_walk.h"
#include "reader/opendml_index.h"
#include "tests/reader/odml_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

using reader::ChunkList;
using reader::PlaceOf;

class OpenDmlFile : public testing::Test {
  protected:
    // The 'indx' chunk of a stream list: the nth one in the file.
    reader::SuperIndexChunk SuperIndex(const std::string& bytes, int nth) {
        size_t at = 0;
        for (int i = 0; i <= nth; ++i) {
            at = bytes.find("indx", at + (i > 0 ? 4 : 0));
        }
        return {at + 8, U32At(bytes, at + 4)};
    }
    bool Load(const std::string& bytes, int stream, ChunkList& chunks) {
        WriteBytes(path, bytes);
        file = mmioOpenA(path.c_str(), nullptr, MMIO_READ);
        const bool loaded =
            reader::LoadOpenDmlIndex(file, bytes.size(), SuperIndex(bytes, stream), stream, chunks);
        confirmed = reader::FileConfirms(file, chunks, stream);
        mmioClose(file, 0);
        return loaded;
    }

    ScratchDirectory directory;
    std::string path = directory.file("odml.avi");
    HMMIO file = nullptr;
    bool confirmed = false;
};

TEST_F(OpenDmlFile, EveryPartsChunksWithTheirKeyFlagsAsTheFileHoldsThem) {
    for (const bool fieldIndex : {false, true}) {
        SCOPED_TRACE(fieldIndex ? "field index" : "frame index");
        OdmlSpec plan = NineFramesInThreeParts(true);
        plan.fieldIndex = fieldIndex;
        const std::string bytes = plan.build().bytes();
        std::vector<PlacedChunk> video, audio;
        for (const PlacedChunk& chunk : plan.placed()) {
            if (chunk.id == FourCC("00db")) {
                video.push_back(chunk);
            } else if (chunk.id == FourCC("01wb")) {
                audio.push_back(chunk);
            }
        }
        ChunkList chunks;
        ASSERT_TRUE(Load(bytes, 0, chunks));
        EXPECT_TRUE(confirmed);
        ASSERT_EQ(chunks.size(), 9u);
        EXPECT_TRUE(chunks.positionHigh.empty());
        for (size_t i = 0; i < 9; ++i) {
            EXPECT_EQ(PlaceOf(chunks, i).position, int64_t(video[i].data)) << i;
            EXPECT_EQ(chunks.entries[i].size, 24u);
            EXPECT_EQ(chunks.entries[i].flags, i % 2 ? 0u : kIndexKeyFrame) << i;
            EXPECT_EQ(chunks.entries[i].chunkId, FourCC("00db"));
        }
        ASSERT_TRUE(Load(bytes, 1, chunks));
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(PlaceOf(chunks, 2).position, int64_t(audio[2].data));
    }
    OdmlSpec inline_ = NineFramesInThreeParts(true);
    inline_.parts.resize(1);
    inline_.superIndex = SuperIndexKind::StandardInline;
    ChunkList chunks;
    ASSERT_TRUE(Load(inline_.build().bytes(), 0, chunks));
    EXPECT_EQ(chunks.size(), 3u);
    EXPECT_TRUE(confirmed);
}

// Super index entries that point outside the file, at the super index itself, at another
// stream's standard index, at a frame or twice at one standard index, and standard indexes whose
// base and offset wrap past 2^64: the stream's index is refused whole, so that no entry is read
// twice and none lies outside the file, and the file is read by its other indexes or a walk.
TEST_F(OpenDmlFile, IndexesPointingAnywhereAreRefusedWhole) {
    const OdmlSpec plan = NineFramesInThreeParts(true);
    const std::string intact = plan.build().bytes();
    const size_t entries = SuperIndex(intact, 0).data + 24;
    const std::vector<PlacedChunk> placed = plan.placed();
    const uint64_t audioIndex = placed[5].data - 8;  // part 0: 3 frames, audio, ix00, ix01
    ASSERT_EQ(Id(intact, size_t(audioIndex)), "ix01");
    const uint64_t wrapped = ~uint64_t(0) - 99;
    const std::pair<const char*, uint64_t> seconds[] = {
        {"outside the file", uint64_t(intact.size()) - 4},
        {"far outside the file", ~uint64_t(0) - 3},
        {"at itself", entries - 32},
        {"at the other stream's standard index", audioIndex},
        {"at a frame", placed[0].data - 8},
        {"at the first standard index again", U32At(intact, entries)},
    };
    ChunkList chunks;
    for (const auto& [what, second] : seconds) {
        SCOPED_TRACE(what);
        std::string bytes = intact;
        SetU32(bytes, entries + 16, uint32_t(second));
        SetU32(bytes, entries + 20, uint32_t(second >> 32));
        EXPECT_FALSE(Load(bytes, 0, chunks));
        EXPECT_EQ(chunks.size(), 0u);
        EXPECT_FALSE(confirmed);
    }
    // A base near 2^64 whose offsets wrap to the chunks' true positions.
    std::string bytes = intact;
    const size_t base = size_t(placed[4].data) + 12;  // the base of part 0's 'ix00'
    SetU32(bytes, base, uint32_t(wrapped));
    SetU32(bytes, base + 4, uint32_t(wrapped >> 32));
    EXPECT_FALSE(Load(bytes, 0, chunks));
    EXPECT_EQ(chunks.size(), 0u);
    // The audio stream's index is untouched by it.
    EXPECT_TRUE(Load(bytes, 1, chunks));
    EXPECT_EQ(chunks.size(), 3u);
}

// Counts larger than the chunk or the file: only the whole entries the file holds are read, and
// no more are reserved than the file could hold; a super index whose count takes in its unused
// entries is refused.
TEST_F(OpenDmlFile, CountsComeFromTheBytesTheFileHolds) {
    const OdmlSpec plan = NineFramesInThreeParts(true);
    const std::string intact = plan.build().bytes();
    const size_t firstIndex = size_t(plan.placed()[4].data);
    for (const uint32_t count : {4u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        std::string bytes = intact;
        SetU32(bytes, firstIndex + 4, count);
        ChunkList chunks;
        ASSERT_TRUE(Load(bytes, 0, chunks));
        EXPECT_EQ(chunks.size(), 9u);
        EXPECT_LE(chunks.entries.capacity(), bytes.size() / 16);
        SetU32(bytes, SuperIndex(bytes, 0).data + 4, count);
        EXPECT_FALSE(Load(bytes, 0, chunks));
    }
}

// The walk steps into every part's movie list and 'rec ' lists, past indexes and JUNK, whatever
// sizes the lists claim, and stops at the first chunk cut off or an id that is no chunk id.
TEST(MovieWalk, FindsEveryWholeChunkOfEveryPart) {
    ScratchDirectory directory;
    const std::string path = directory.file("walk.avi");
    OdmlSpec plan = NineFramesInThreeParts(true);
    plan.parts[1].insert(plan.parts[1].begin(), {FourCC("JUNK"), "pad", 0, false});
    plan.parts[1].push_back({FourCC("00db"), std::string(24, 'r'), 0, true, FourCC("rec ")});
    std::string bytes = plan.build().bytes();
    std::vector<PlacedChunk> expected = plan.placed();
    std::erase_if(expected, [](const PlacedChunk& c) {
        return c.id == FourCC("JUNK") || c.id == FourCC("ix00") || c.id == FourCC("ix01");
    });
    const auto walk = [&](const std::string& file, uint64_t from) {
        WriteBytes(path, file);
        HMMIO opened = mmioOpenA(path.c_str(), nullptr, MMIO_READ);
        std::vector<reader::WalkedChunk> found;
        reader::WalkMovieLists(opened, file.size(), {from, true},
                               [&](const reader::WalkedChunk& c) {
                                   found.push_back(c);
                                   return true;
                               });
        mmioClose(opened, 0);
        return found;
    };
    const uint64_t start = expected[0].data - 8;
    // Every list size zeroed: the walk does not depend on them.
    for (const std::string name : {"RIFF", "movi"}) {
        for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
            SetU32(bytes, name == "RIFF" ? at + 4 : at - 4, 0);
        }
    }
    std::vector<reader::WalkedChunk> found = walk(bytes, start);
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].id, expected[i].id) << i;
        EXPECT_EQ(found[i].data, expected[i].data) << i;
        EXPECT_EQ(found[i].size, expected[i].size) << i;
        EXPECT_EQ(found[i].stream, expected[i].id == FourCC("01wb") ? 1 : 0) << i;
    }
    // Cut inside the last frame: it is not offered. A zero id ends the walk there.
    EXPECT_EQ(walk(bytes.substr(0, size_t(expected.back().data) + 5), start).size(),
              expected.size() - 1);
    std::string zeroed = bytes;
    SetU32(zeroed, size_t(expected[5].data) - 8, 0);
    EXPECT_EQ(walk(zeroed, start).size(), 5u);
}

}  // namespace
}  // namespace zedadu::test
