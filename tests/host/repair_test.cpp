// zedadu-host repair: a conversion killed half-way is read by ffprobe and made whole; files it
// does not understand are refused and left untouched; whole files are left alone.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostRepair : public HostTest {};

// The recording of a conversion in progress: its temporary file beside out.avi, once there.
std::filesystem::path Recording(const std::string& directory) {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().filename().string().rfind(".out.avi.part-", 0) == 0) {
            return entry.path();
        }
    }
    return {};
}

// Starts zedadu-host convert and kills it with SIGKILL once its recording has grown past `bytes`;
// what it leaves under its temporary name becomes out.avi, as a user would find and rename it.
void ConvertKilledHalfWay(const std::string& directory, uint64_t bytes) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) == 0) {
            execl("./zedadu-host", "zedadu-host", "convert", "in.avi", "out.avi", "--settings",
                  static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    for (int wait = 0; wait < 6000; ++wait) {
        std::error_code error;
        const auto recording = Recording(directory);
        if (!recording.empty() && std::filesystem::file_size(recording, error) > bytes && !error) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it was killed";
    ASSERT_FALSE(Recording(directory).empty()) << "killed before it began its recording";
    std::filesystem::rename(Recording(directory), directory + "/out.avi");
}

TEST_F(HostRepair, AConversionKilledHalfWayIsReadAndRepairedInPlaceOrAsACopy) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=sample_rate=22050 -frames:v 3000 "
        "-af apad -shortest -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 1 in.avi");
    WriteSettings(kUncompressedSettings);
    ASSERT_NO_FATAL_FAILURE(ConvertKilledHalfWay(dir.path().string(), 4 << 20));
    const int packets = ProbedVideoPackets(file("out.avi"));
    EXPECT_GT(packets, 100);
    const std::string before = ReadBytes(file("out.avi"));

    const HostRun copy = Host("repair out.avi --out copy.avi");
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_NE(copy.out.find("AVI 1.0"), std::string::npos) << copy.out;
    EXPECT_EQ(ReadBytes(file("out.avi")), before) << "--out leaves the file alone";
    ExpectValidAvi(file("copy.avi"));
    const std::string copied = ReadBytes(file("copy.avi"));
    WriteBytes(file("copy.avi"), "kept");
    EXPECT_EQ(Host("repair out.avi --out copy.avi").status, 1) << "replaced without a Yes";
    EXPECT_EQ(ReadBytes(file("copy.avi")), "kept");
    ASSERT_EQ(Host("repair out.avi --out copy.avi --yes").status, 0);
    EXPECT_EQ(ReadBytes(file("copy.avi")), copied);

    const HostRun asked = Host("repair out.avi");
    EXPECT_EQ(asked.status, 1) << "in place only after a Yes";
    EXPECT_NE(asked.err.find("out.avi was left as it was"), std::string::npos) << asked.err;
    EXPECT_EQ(ReadBytes(file("out.avi")), before);
    const HostRun inPlace = Host("repair out.avi --yes");
    ASSERT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_EQ(ReadBytes(file("out.avi")), ReadBytes(file("copy.avi")));
    // Every frame read before, and the frame the kill cut short completed with zeros.
    const int repairedPackets = ProbedVideoPackets(file("out.avi"));
    EXPECT_GE(repairedPackets, packets);
    EXPECT_LE(repairedPackets, packets + 1);
    const HostRun info = Host("info out.avi --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"frames\": " + std::to_string(repairedPackets)), std::string::npos)
        << info.out;

    const HostRun again = Host("repair out.avi");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("nothing to repair"), std::string::npos) << again.out;
    EXPECT_EQ(ReadBytes(file("out.avi")), ReadBytes(file("copy.avi")));
}

TEST_F(HostRepair, FilesItDoesNotUnderstandAreRefusedAndLeftUntouched) {
    std::string zeros = "RIFF" + Le32(0) + "AVI " + std::string(500, '\0') + "LIST" + Le32(0) +
                        "movi" + "00dc" + Le32(4) + "abcd";
    const std::pair<const char*, std::string> files[] = {
        {"text.avi", "not a RIFF file at all"},
        {"headerless.avi", zeros},  // how a crashed recording of earlier versions was left
        {"wave.avi", "RIFF" + Le32(4) + "WAVE"},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        WriteBytes(file(name), bytes);
        const HostRun run = Host(std::string("repair ") + name);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("the file is left as it was"), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(file(name)), bytes);
    }
    EXPECT_EQ(Host("repair").status, 2);
    EXPECT_EQ(Host("repair text.avi --out text.avi").status, 2);
}

struct MovieChunk {
    size_t position;
    std::string id;
    uint32_t size;
};

// The chunks of the first movie list, records' chunks included (a record is listed as "rec ").
// Every size must fit the list that holds it; the walk ends exactly at the list's end.
std::vector<MovieChunk> MovieChunks(const std::string& bytes) {
    const size_t movie = bytes.find("movi") - 8;
    const size_t end = movie + 8 + U32At(bytes, movie + 4);
    EXPECT_LE(end, bytes.size());
    std::vector<MovieChunk> chunks;
    std::vector<size_t> ends{end};
    for (size_t at = movie + 12; at < ends.front();) {
        while (at == ends.back() && ends.size() > 1) {
            ends.pop_back();
        }
        const uint32_t size = U32At(bytes, at + 4);
        EXPECT_LE(at + 8 + size, ends.back()) << "chunk at " << at;
        if (bytes.compare(at, 4, "LIST") == 0) {
            chunks.push_back({at, "rec ", size});
            ends.push_back(at + 8 + size);
            at += 12;
            continue;
        }
        chunks.push_back({at, bytes.substr(at, 4), size});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

std::string WithBytes(std::string bytes, size_t at, const std::string& replacement) {
    return bytes.replace(at, replacement.size(), replacement);
}

// Frames and sample frames as the plug-in reads them, and ffprobe's video packets.
struct Readings {
    int64_t frames, sampleFrames, videoPackets;
};

TEST_F(HostRepair, DamagedChunkHeadersAreFoundAgainAndNothingReadableIsLost) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=160x120:rate=30 -f lavfi -i sine=sample_rate=22050 -t 2 "
        "-c:v mjpeg -c:a pcm_s16le capture.avi");
    const std::string whole = ReadBytes(file("capture.avi"));
    const std::vector<MovieChunk> chunks = MovieChunks(whole);
    const size_t index = whole.rfind("idx1");
    const auto read = [&](const std::string& name) {
        const auto info = HostJson("info " + name + " --json", -1);
        const auto count = [&](const char* stream, const char* field) {
            return info.contains(stream) && info[stream].is_object()
                       ? info[stream].value(field, int64_t(0))
                       : int64_t(0);
        };
        return Readings{count("video", "frames"), count("audio", "sampleFrames"),
                        Probe(file(name), "v").packets};
    };
    const Readings original = read("capture.avi");
    const MovieChunk& frame = chunks[chunks.size() / 3];
    const MovieChunk& audio = *std::find_if(chunks.begin() + long(chunks.size() / 2), chunks.end(),
                                            [](const MovieChunk& c) { return c.id == "01wb"; });
    // A zeroed header and a changed size with the index complete get their header back from it,
    // also a size one short that the pad byte hides from a walk.
    for (const std::string& damaged :
         {WithBytes(whole, frame.position, std::string(8, '\0')),
          WithBytes(whole, frame.position + 4, Le32(frame.size + 100)),
          WithBytes(whole, audio.position + 4, Le32(audio.size - 1))}) {
        WriteBytes(file("damaged.avi"), damaged);
        const HostRun run = Host("repair damaged.avi --yes");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("from the file's index"), std::string::npos) << run.out;
        ExpectSameBytes(ReadBytes(file("damaged.avi")), whole);
    }
    // Without an index, and cut anywhere: nothing that reads before reads less after.
    for (size_t cut = 0; cut < 24; ++cut) {
        const MovieChunk& chunk = chunks[1 + cut * (chunks.size() - 2) / 24];
        std::string damaged = whole.substr(0, cut % 3 == 0 ? index : whole.size() - cut * 9000);
        if (chunk.position + 8 < damaged.size()) {
            damaged = WithBytes(damaged, chunk.position + (cut % 2 ? 4 : 0),
                                cut % 2 ? Le32(chunk.size + 100) : std::string(8, 'x'));
        }
        WriteBytes(file("damaged.avi"), damaged);
        SCOPED_TRACE("cut " + std::to_string(cut) + " at " + std::to_string(damaged.size()));
        const Readings before = read("damaged.avi");
        std::filesystem::remove(file("repaired.avi"));
        if (Host("repair damaged.avi --out repaired.avi").status != 0) {
            EXPECT_FALSE(std::filesystem::exists(file("repaired.avi")));
            continue;
        }
        const Readings after = read("repaired.avi");
        EXPECT_GE(after.frames, before.frames);
        EXPECT_GE(after.sampleFrames, before.sampleFrames);
        EXPECT_GE(after.videoPackets, std::min(before.videoPackets, original.videoPackets));
    }
}

// 8-bit mono audio at 11025 Hz and 15 frames a second comes in 735-byte chunks inside records: a
// recording cut right behind one keeps it, or cut inside one keeps what it holds; the record gets
// the size of what it holds, and the index that follows starts on the pad byte's even offset.
TEST_F(HostRepair, ACutInsideARecordBehindAnOddAudioChunkKeepsEveryWholeChunk) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=15 -f lavfi -i sine=sample_rate=11025 -t 3 "
        "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 -ac 1 in.avi");
    ASSERT_EQ(Host("convert in.avi recorded.avi").status, 0);
    const std::string recorded = ReadBytes(file("recorded.avi"));
    const std::vector<MovieChunk> chunks = MovieChunks(recorded);
    size_t audioChunks = 0, frames = 0, cut = 0;
    for (const MovieChunk& chunk : chunks) {
        audioChunks += chunk.id == "01wb";
        frames += chunk.id == "00db" || chunk.id == "00dc";
        if (chunk.id == "01wb" && frames > 10) {
            ASSERT_EQ(chunk.size, 735u);
            cut = chunk.position + 8 + chunk.size;
            break;
        }
    }
    ASSERT_NE(cut, 0u);
    WriteBytes(file("cut.avi"), recorded.substr(0, cut));
    const HostRun run = Host("repair cut.avi --yes");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string repaired = ReadBytes(file("cut.avi"));
    const std::vector<MovieChunk> kept = MovieChunks(repaired);
    ASSERT_EQ(kept.size(),
              chunks.size() - (chunks.end() -
                               std::find_if(chunks.begin(), chunks.end(), [&](const MovieChunk& c) {
                                   return c.position >= cut;
                               })));
    const size_t movieEnd =
        repaired.find("movi") - 4 + U32At(repaired, repaired.find("movi") - 4) + 4;
    EXPECT_EQ(repaired.compare(movieEnd, 4, "idx1"), 0) << "the index follows the pad byte";
    const auto info = HostJson("info cut.avi --json");
    EXPECT_EQ(info["index"], "legacy");
    EXPECT_EQ(info["video"]["frames"], frames);
    EXPECT_EQ(info["audio"]["sampleFrames"], audioChunks * 735);
    EXPECT_EQ(Probe(file("cut.avi"), "a").packets, int64_t(audioChunks));

    // Cut 100 bytes earlier, inside that chunk: it keeps its 635 samples and its record grows by
    // it.
    WriteBytes(file("inside.avi"), recorded.substr(0, cut - 100));
    ASSERT_EQ(Host("repair inside.avi --yes").status, 0);
    EXPECT_EQ(MovieChunks(ReadBytes(file("inside.avi"))).size(), kept.size());
    const auto inside = HostJson("info inside.avi --json");
    EXPECT_EQ(inside["audio"]["sampleFrames"], audioChunks * 735 - 100);
    EXPECT_EQ(Probe(file("inside.avi"), "a").packets, int64_t(audioChunks));
}

}  // namespace
}  // namespace zedadu::test
