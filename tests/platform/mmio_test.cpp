#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/mmio/mmio.h"
#include "tests/support/test_support.h"

namespace {

using zedadu::test::Le32;
using zedadu::test::ReadBytes;
using zedadu::test::WriteBytes;

// RIFF 'TEST' { LIST 'abcd' { "odd " 3 bytes + pad, "data" 4 bytes }, "tail" 2 bytes }
void WriteNestedFile(const std::string& path) {
    HMMIO file = mmioOpenA(path.c_str(), nullptr, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(file, nullptr);
    MMCKINFO riff{}, list{}, odd{}, data{}, tail{};
    riff.fccType = FourCC("TEST");
    ASSERT_EQ(mmioCreateChunk(file, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    list.fccType = FourCC("abcd");
    ASSERT_EQ(mmioCreateChunk(file, &list, MMIO_CREATELIST), MMSYSERR_NOERROR);
    odd.ckid = FourCC("odd ");
    ASSERT_EQ(mmioCreateChunk(file, &odd, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(file, "xyz", 3), 3);
    ASSERT_EQ(mmioAscend(file, &odd, 0), MMSYSERR_NOERROR);
    data.ckid = FourCC("data");
    ASSERT_EQ(mmioCreateChunk(file, &data, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(file, "1234", 4), 4);
    ASSERT_EQ(mmioAscend(file, &data, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file, &list, 0), MMSYSERR_NOERROR);
    tail.ckid = FourCC("tail");
    ASSERT_EQ(mmioCreateChunk(file, &tail, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(file, "!!", 2), 2);
    ASSERT_EQ(mmioAscend(file, &tail, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(file, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.cksize, 4u + 12 + 8 + 4 + 8 + 4 + 8 + 2);
    EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
}

TEST(Mmio, CreatedChunksGetTheirSizesAndPadBytes) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("nested.riff");
    WriteNestedFile(path);
    const std::string expected = "RIFF" + Le32(50) + "TEST" + "LIST" + Le32(28) + "abcd" + "odd " +
                                 Le32(3) + std::string("xyz\0", 4) + "data" + Le32(4) + "1234" +
                                 "tail" + Le32(2) + "!!";
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST(Mmio, DescendSearchesInsideTheParentFromTheCurrentPosition) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("nested.riff");
    WriteNestedFile(path);
    HMMIO file = mmioOpenA(path.c_str(), nullptr, MMIO_READ | MMIO_DENYWRITE);
    ASSERT_NE(file, nullptr);

    MMCKINFO riff{}, list{}, chunk{};
    riff.fccType = FourCC("TEST");
    ASSERT_EQ(mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    list.fccType = FourCC("abcd");
    ASSERT_EQ(mmioDescend(file, &list, &riff, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(list.dwDataOffset, 20u);  // the list type field

    chunk.ckid = FourCC("data");  // skips "odd " and its pad byte
    ASSERT_EQ(mmioDescend(file, &chunk, &list, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(chunk.cksize, 4u);
    char data[5] = {};
    EXPECT_EQ(mmioRead(file, data, 4), 4);
    EXPECT_STREQ(data, "1234");

    // "tail" lies behind the list: a search inside the list fails and leaves the position alone.
    ASSERT_EQ(mmioSeek(file, list.dwDataOffset + 4, SEEK_SET), 24);
    MMCKINFO tail{};
    tail.ckid = FourCC("tail");
    EXPECT_EQ(mmioDescend(file, &tail, &list, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioSeek(file, 0, SEEK_CUR), 24);
    // Ascending out of the list continues the search inside the RIFF form.
    ASSERT_EQ(mmioAscend(file, &list, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioDescend(file, &tail, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(tail.dwDataOffset, 56u);
    EXPECT_EQ(mmioClose(file, 0), MMSYSERR_NOERROR);
}

TEST(Mmio, HostileChunkSizesEndTheSearch) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("hostile.riff");
    for (const uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, 1u}) {
        WriteBytes(path, "RIFF" + Le32(0xFFFFFFFF) + "TEST" + "junk" + Le32(size) + "abc");
        const zedadu::RiffFile file(mmioOpenA(path.c_str(), nullptr, MMIO_READ));
        ASSERT_TRUE(file);
        MMCKINFO riff{}, chunk{};
        riff.fccType = FourCC("TEST");
        ASSERT_EQ(mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
        chunk.ckid = FourCC("data");
        EXPECT_EQ(mmioDescend(file.get(), &chunk, &riff, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    }
    WriteBytes(path, "RIF");  // a header cut short
    const zedadu::RiffFile file(mmioOpenA(path.c_str(), nullptr, MMIO_READ));
    MMCKINFO riff{};
    riff.fccType = FourCC("TEST");
    EXPECT_EQ(mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
}

TEST(Mmio, ReadsOfAnySizeAtAnyPositionSeeTheFileAsItIs) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("random.bin");
    std::mt19937 random(7);
    std::string content(300000, '\0');
    for (char& c : content) {
        c = char(random());
    }
    WriteBytes(path, content);
    const zedadu::RiffFile opened(mmioOpenA(path.c_str(), nullptr, MMIO_READ));
    HMMIO file = opened.get();
    ASSERT_NE(file, nullptr);
    std::vector<char> out(200000);
    for (int i = 0; i < 200; ++i) {
        const int64_t at = random() % content.size();
        const LONG count = LONG(i % 3 == 0 ? random() % 200000 : random() % 100);
        ASSERT_EQ(mmioSeek(file, at, SEEK_SET), at);
        const LONG expected = LONG(std::min<int64_t>(count, int64_t(content.size()) - at));
        ASSERT_EQ(mmioRead(file, out.data(), count), expected);
        ASSERT_EQ(std::string(out.data(), size_t(expected)),
                  content.substr(size_t(at), size_t(expected)));
    }
    EXPECT_EQ(mmioSeek(file, 0, SEEK_END), int64_t(content.size()));
    EXPECT_EQ(mmioSeek(file, -1 - int64_t(content.size()), SEEK_CUR), -1);
    EXPECT_EQ(mmioRead(file, out.data(), 10), 0);
}

TEST(Mmio, ExistAndDeleteAnswerOne) {
    zedadu::test::ScratchDirectory directory;
    const std::string path = directory.file("exists.avi");
    const HMMIO yes = reinterpret_cast<HMMIO>(uintptr_t{1});
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_EXIST), nullptr);
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_DELETE), nullptr);
    WriteBytes(path, "x");
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_EXIST), yes);
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_DELETE), yes);
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_EXIST), nullptr);
    EXPECT_EQ(mmioOpenA(directory.file("missing/x.avi").c_str(), nullptr, MMIO_CREATE | MMIO_WRITE),
              nullptr);
}

}  // namespace
