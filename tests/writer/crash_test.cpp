// Recordings that never reach their close: a child process records through the entry points and
// is killed (SIGKILL at pseudo-random moments) or ends without closing (_exit after N frames).
// What it wrote must read as an AVI file up to the last frame that reached the disk, and
// `zedadu-host repair` must make it whole.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "plugin/plugin.h"
#include "tests/writer/open_dml_support.h"
#include "tests/writer/writer_test_support.h"
#include "writer/writer_internal.h"

namespace zedadu::test {
namespace {

// What the child reports after every frame: the frames and sample frames its calls accepted.
struct Progress {
    uint32_t frames = 0;
    uint32_t samples = 0;
};

constexpr uint32_t kSamplesPerFrame = 1764;  // 44100 Hz at 25 frames a second

// Records up to `frames` frames, each followed by its samples, reporting after each frame; ends
// with _exit after `exitAfter` frames without closing.
[[noreturn]] void RecordInChild(const WriterSetup& s, const std::string& path, int report,
                                uint32_t exitAfter) {
    void* handle = OpenWriter(s, path);
    Progress progress;
    for (uint32_t i = 0; handle && i < s.frames && i < exitAfter; ++i) {
        auto frame = TestFrame(s, i);
        auto samples = TestSamples(s, progress.samples, kSamplesPerFrame);
        if (!WriteFrame(handle, s, frame) || !WriteSamples(handle, s, samples, kSamplesPerFrame)) {
            _exit(3);
        }
        progress = {i + 1, progress.samples + kSamplesPerFrame};
        if (write(report, &progress, sizeof progress) != sizeof progress) {
            _exit(4);
        }
    }
    _exit(0);
}

// Runs the child; kills it `killAfter` after its first report unless it ends by itself first.
Progress Record(const WriterSetup& s, const std::string& path, uint32_t exitAfter,
                std::chrono::microseconds killAfter) {
    int pipeEnds[2];
    EXPECT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        RecordInChild(s, path, pipeEnds[1], exitAfter);
    }
    close(pipeEnds[1]);
    Progress last, next;
    bool killed = killAfter.count() == 0;
    while (read(pipeEnds[0], &next, sizeof next) == sizeof next) {
        last = next;
        if (!killed) {
            std::this_thread::sleep_for(killAfter);
            kill(child, SIGKILL);
            killed = true;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return last;
}

double VideoDuration(const std::string& path) {
    const CommandResult probe =
        Run("ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 '" +
            path + "'");
    return atof(probe.output.c_str());
}

// ffmpeg decodes at least every frame reported but the last, each equal to what was sent, and the
// audio it decodes is a beginning of what was sent.
uint32_t ExpectReadableUpTo(const WriterSetup& s, const std::string& path, Progress progress) {
    const int packets = ProbedVideoPackets(path);
    EXPECT_GE(packets + 1, int(progress.frames));
    EXPECT_LE(packets, int(progress.frames) + 1);
    const std::string decoded = Decoded(path, "-map 0:v -f rawvideo -pix_fmt bgr24");
    const size_t frameBytes = size_t(s.width) * s.height * 3;
    const auto whole = uint32_t(std::min<size_t>(decoded.size() / frameBytes, progress.frames));
    EXPECT_GE(whole + 1, progress.frames);
    for (uint32_t i = 0; i < whole; ++i) {
        const auto frame = TestFrame(s, i);
        if (decoded.compare(i * frameBytes, frameBytes,
                            TopDown(frame.data(), s.width, s.height, 3))) {
            ADD_FAILURE() << "frame " << i << " differs";
            break;
        }
    }
    const std::string audio = Decoded(path, "-map 0:a -f s16le");
    const auto sent = TestSamples(s, 0, progress.samples + kSamplesPerFrame);
    EXPECT_LE(audio.size(), sent.size());
    EXPECT_TRUE(audio.size() <= sent.size() &&
                std::equal(audio.begin(), audio.end(), sent.begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
    return whole;
}

// After repair the file has its index and its full duration, and this plug-in's reader reads
// the same frames through that index.
void ExpectRepaired(const WriterSetup& s, const std::string& path, uint32_t frames) {
    const std::string repaired = path + ".repaired.avi";
    const CommandResult run = Run(std::string(ZEDADU_HOST_PATH) + " repair '" + path + "' --out '" +
                                  repaired + "' --yes");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GE(ProbedVideoPackets(repaired), int(frames));
    EXPECT_NEAR(VideoDuration(repaired), double(ProbedVideoPackets(repaired)) / s.rate,
                0.5 / s.rate);
    ReadingFile file(repaired);
    ASSERT_TRUE(file.opened());
    EXPECT_GE(file.info().frameCount, frames);
    std::vector<uint8_t> buffer(size_t(s.width) * s.height * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        ImageFrameRequest request = FrameRequest(i, FORMAT_ID_RGB24, s.width, s.height, buffer);
        ASSERT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << i;
        EXPECT_EQ(memcmp(buffer.data(), TestFrame(s, i).data(), FrameBytes(s)), 0) << i;
    }
}

using CrashedRecordings = WriterTest;

TEST_F(CrashedRecordings, KilledOrEndedWithoutCloseReadUpToTheirLastFrameAndRepair) {
    std::mt19937 random(17);
    const FOURCC handlers[] = {FourCC("DIB "), FourCC("HFYU")};
    for (const FOURCC handler : handlers) {
        for (const uint32_t padding : {0u, 512u}) {
            WriterSetup s{.handler = handler, .width = 64, .height = 48, .padding = padding};
            s.offset = padding ? 1 : 0;
            s.frames = 100000;
            s.audio = true;
            for (int run = 0; run < 3; ++run) {
                const bool exits = run == 2;
                const std::string path = dir.file("crash" + std::to_string(run) + ".avi");
                SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&handler), 4) + " padding " +
                             std::to_string(padding) + (exits ? " _exit" : " SIGKILL"));
                const Progress progress =
                    exits ? Record(s, path, 137, std::chrono::microseconds(0))
                          : Record(s, path, UINT32_MAX,
                                   std::chrono::microseconds(2000 + random() % 40000));
                ASSERT_GT(progress.frames, 2u);
                if (exits) {
                    // The header list of the last whole second: 125 of the 137 frames.
                    const std::string ended = ReadBytes(path);
                    EXPECT_EQ(U32At(ended, ended.find("avih") + 8 + 16), 125u);
                    EXPECT_EQ(U32At(ended, ended.find("strh") + 8 + 32), 125u);
                }
                const uint32_t whole = ExpectReadableUpTo(s, path, progress);
                ExpectRepaired(s, path, whole);
                ExpectOurReaderReads(s, path, whole);
            }
        }
    }
}

// The video stream's standard indexes ("ix00"): the entries they hold, and whether every entry
// is marked as a key frame (the size word's top bit clear).
struct StandardIndexes {
    uint32_t indexes = 0;
    uint32_t entries = 0;
    bool allKeyFrames = true;
};

StandardIndexes VideoStandardIndexes(const std::string& bytes) {
    StandardIndexes found;
    for (size_t at = bytes.find("ix00"); at != std::string::npos; at = bytes.find("ix00", at + 4)) {
        const uint32_t count = U32At(bytes, at + 12);
        if (at % 2 || U32At(bytes, at + 4) != 24 + 8 * count) {
            continue;  // four bytes that only look like an index
        }
        ++found.indexes;
        found.entries += count;
        for (uint32_t i = 0; i < count; ++i) {
            found.allKeyFrames = found.allKeyFrames && !(U32At(bytes, at + 32 + 8 * i + 4) >> 31);
        }
    }
    return found;
}

// A recording in the OpenDML form (small parts) that ends in its third part without a close:
// its header counts are those of the last whole second, and repair gives it the standard indexes
// of every part, key frames marked, super indexes naming them, and the true counts.
TEST_F(CrashedRecordings, AnOpenDmlRecordingEndedInItsThirdPartIsRepairedWithEveryIndex) {
    std::ofstream(ini()) << "[VideoWritingSettings]\nOpenDML=1\n";
    writer::SetOpenDmlPartBytesForTesting(400000);
    WriterSetup s{.width = 64, .height = 48};
    s.frames = 100000;
    s.audio = true;
    const std::string path = dir.file("odml-crash.avi");
    const Progress progress = Record(s, path, 55, std::chrono::microseconds(0));
    writer::SetOpenDmlPartBytesForTesting(0);
    ASSERT_EQ(progress.frames, 55u);
    const std::string killed = ReadBytes(path);
    size_t parts = 0;
    for (size_t at = killed.find("RIFF"); at != std::string::npos;
         at = killed.find("RIFF", at + 4)) {
        parts += killed.compare(at + 8, 4, at ? "AVIX" : "AVI ") == 0;
    }
    EXPECT_EQ(parts, 3u);
    EXPECT_EQ(U32At(killed, killed.find("dmlh") + 8), 50u) << "the frames of the last second";
    EXPECT_EQ(U32At(killed, killed.find("strh") + 8 + 32), 50u);

    ExpectRepaired(s, path, progress.frames);
    const std::string repaired = ReadBytes(path + ".repaired.avi");
    const OpenDmlFile file = ParseOpenDml(repaired);
    EXPECT_EQ(file.parts.size(), parts);
    EXPECT_EQ(file.videoChunks.size(), progress.frames);
    EXPECT_EQ(file.grandFrames, progress.frames);
    EXPECT_EQ(file.videoLength, progress.frames);
    EXPECT_EQ(file.firstPartFrames, file.parts.front().videoChunks);
    EXPECT_EQ(file.audioFrames, file.audioLength);
    EXPECT_GE(file.audioFrames, uint64_t(progress.samples) - kSamplesPerFrame);
    const StandardIndexes indexes = VideoStandardIndexes(repaired);
    EXPECT_EQ(indexes.indexes, file.parts.size());
    EXPECT_EQ(indexes.entries, progress.frames);
    EXPECT_TRUE(indexes.allKeyFrames) << "uncompressed frames are all key frames";
}

}  // namespace
}  // namespace zedadu::test
