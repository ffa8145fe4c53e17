// What keeps a recording safe: failed writes (a full disk or a file size limit), files that cannot
// be created or vanish while they are written, and the 4 GiB limit of the format.
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "plugin/plugin.h"
#include "tests/support/allocation_meter.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

// Makes a directory read-only for this thread, also when the tests run as root: the thread's
// file-system user and group then become unprivileged ones, which drops root's power to override
// permissions.
class ReadOnlyDirectory {
  public:
    explicit ReadOnlyDirectory(const std::filesystem::path& path) : path_(path) {
        using std::filesystem::perms;
        std::filesystem::permissions(path_, perms::owner_read | perms::owner_exec |
                                                perms::group_read | perms::group_exec |
                                                perms::others_read | perms::others_exec);
        if (root_) {
            setfsgid(kNobody);
            setfsuid(kNobody);
        }
    }
    ~ReadOnlyDirectory() {
        if (root_) {
            setfsuid(0);
            setfsgid(0);
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }

  private:
    static constexpr uid_t kNobody = 65534;
    std::filesystem::path path_;
    bool root_ = geteuid() == 0;
};

using Safety = WriterTest;

TEST_F(Safety, FailedWritesLeaveAValidFile) {
    WriterSetup s{.width = 720, .height = 486, .frames = 5};
    const std::string path = dir.file("limited.avi");
    void* handle = OpenWriter(s, path);
    std::vector<std::vector<uint8_t>> frames;
    {
        const FileSizeLimit limit(2621440);  // room for two frames and a half
        for (uint32_t i = 0; i < 4; ++i) {
            frames.push_back(TestFrame(s, i));
            EXPECT_EQ(WriteFrame(handle, s, frames.back()), i < 2) << i;
        }
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    const std::string b = ReadBytes(path);
    EXPECT_EQ(U32At(b, 32 + 16), 2u);  // dwTotalFrames
    EXPECT_EQ(IndexOf(b).size(), 2u);
    ExpectValidAvi(path);
    ExpectSameBytes(
        Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24"),
        TopDown(frames[0].data(), 720, 486, 3) + TopDown(frames[1].data(), 720, 486, 3));

    // Not even the movie list fits: the stream does not start and no file is left.
    s.audio = true;
    s.padding = 512;
    handle = OpenWriter(s, path);
    {
        const FileSizeLimit limit(100);
        auto frame = TestFrame(s, 0);
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        auto samples = TestSamples(s, 0, 100);
        EXPECT_FALSE(WriteSamples(handle, s, samples, 100));
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// No message belongs to these failures: the frame fails, the handle stays usable (a later frame
// tries to create the file again), audio is held back meanwhile, and close frees everything.
TEST_F(Safety, FilesThatCannotBeCreatedOrVanishFailQuietlyAndCloseFrees) {
    MessageRecorder messages;
    const WriterSetup s{.audio = true};
    auto frame = TestFrame(s, 0);
    auto samples = TestSamples(s, 0, 100);
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
    const std::filesystem::path locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    std::ofstream(locked / "old.avi") << "old";
    {
        const ReadOnlyDirectory readOnly(locked);
        void* refused = &refused;
        OpenRequest replace(s, (locked / "old.avi").string());
        EXPECT_EQ(AVFILE_OpenFileForWrite(&refused, &replace.request), 0) << "cannot be deleted";
        EXPECT_EQ(refused, nullptr);
        void* handle = OpenWriter(s, (locked / "new.avi").string());
        ASSERT_NE(handle, nullptr);
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        EXPECT_TRUE(WriteSamples(handle, s, samples, 100)) << "held while video is to come";
        EXPECT_FALSE(WriteFrame(handle, s, frame));
        EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    }
    EXPECT_TRUE(std::filesystem::exists(locked / "old.avi"));
    EXPECT_FALSE(std::filesystem::exists(locked / "new.avi"));

    void* handle = OpenWriter(s, dir.file(std::string(300, 'n')));  // a name the system refuses
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(WriteFrame(handle, s, frame));
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);

    // Deleted while it is written: the recording goes on into the deleted file and nothing is left.
    const std::string deleted = dir.file("deleted.avi");
    handle = OpenWriter(s, deleted);
    for (uint32_t i = 0; i < s.frames; ++i) {
        if (i == 1) {
            std::filesystem::remove(deleted);
        }
        EXPECT_TRUE(WriteFrame(handle, s, frame)) << i;
        EXPECT_TRUE(WriteSamples(handle, s, samples, 100)) << i;
    }
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
    EXPECT_FALSE(std::filesystem::exists(deleted));
    EXPECT_TRUE(messages.shown().empty());
}

// The index grows geometrically: a long recording allocates a few times, not once a frame.
TEST_F(Safety, AFrameCostsNoAllocationOnceTheBuffersHaveGrown) {
    const WriterSetup s{.width = 4, .height = 2, .frames = 4000};
    void* handle = OpenWriter(s, dir.file("long.avi"));
    std::vector<uint8_t> pixels = TestFrame(s, 0);
    VideoWriteRecord record{};
    record.format.size = sizeof record.format;
    snprintf(record.format.formatId, sizeof record.format.formatId, "%s", s.videoId);
    for (uint32_t i = 0; i < s.frames; ++i) {
        if (i == 10) {
            ResetAllocationMeter();
        }
        record.pixels = pixels.data();
        ASSERT_EQ(AVFILE_WriteNextVideoFrame(handle, &record), 1) << i;
    }
    EXPECT_LT(AllocationCount(), 20u);
    EXPECT_EQ(AVFILE_CloseFileForWrite(handle), 1);
}

TEST_F(Safety, NothingPassesFourGibibytes) {
    const WriterSetup s{.frames = 4, .audio = true};
    const std::string path = dir.file("large.avi");
    void* opened = OpenWriter(s, path);
    writer::WritingFile& writing = WritingOf(opened);
    auto frame = TestFrame(s, 0);
    ASSERT_TRUE(WriteFrame(opened, s, frame));
    // Pretend the movie list already reaches almost 4 GiB: the next record (frame chunk and
    // slot) with its index entry then just fits, once.
    const uint64_t record = 8 + FrameBytes(s) + uint32_t(writing.audioSlotBytes);
    const uint64_t lastEven = 0xFFFFFFFE;
    writing.movieEnd = uint32_t(lastEven - record - 8 - 16 * 2 + 2);
    EXPECT_FALSE(WriteFrame(opened, s, frame));
    writing.movieEnd -= 2;
    ASSERT_TRUE(WriteFrame(opened, s, frame));
    EXPECT_FALSE(WriteFrame(opened, s, frame));
    auto samples = TestSamples(s, 0, 100);
    EXPECT_FALSE(WriteSamples(opened, s, samples, 100)) << "its index entry would not fit";
    ASSERT_EQ(AVFILE_CloseFileForWrite(opened), 1);
    EXPECT_EQ(std::filesystem::file_size(path), lastEven);
    std::ifstream in(path, std::ios::binary);
    std::string header(8, '\0');
    in.read(header.data(), 8);
    EXPECT_EQ(U32At(header, 4), lastEven - 8);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace zedadu::test
