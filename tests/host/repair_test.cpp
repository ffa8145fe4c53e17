// zedadu-host repair: a conversion killed half-way is read by ffprobe and made whole; files it
// does not understand are refused and left untouched; whole files are left alone.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostRepair : public HostTest {};

// Starts zedadu-host convert and kills it with SIGKILL once its output has grown past `bytes`.
void ConvertKilledHalfWay(const std::string& directory, uint64_t bytes) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) == 0) {
            execl("./zedadu-host", "zedadu-host", "convert", "in.avi", "out.avi", "--settings",
                  static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    const std::string out = directory + "/out.avi";
    for (int wait = 0; wait < 6000; ++wait) {
        std::error_code error;
        if (std::filesystem::file_size(out, error) > bytes && !error) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it was killed";
}

TEST_F(HostRepair, AConversionKilledHalfWayIsReadAndRepairedInPlaceOrAsACopy) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=sample_rate=22050 -frames:v 3000 "
        "-af apad -shortest -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 1 in.avi");
    WriteSettings(kUncompressedSettings);
    ConvertKilledHalfWay(dir.path().string(), 4 << 20);
    const int packets = ProbedVideoPackets(file("out.avi"));
    EXPECT_GT(packets, 100);
    const std::string before = ReadBytes(file("out.avi"));

    const HostRun copy = Host("repair out.avi --out copy.avi");
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_NE(copy.out.find("AVI 1.0"), std::string::npos) << copy.out;
    EXPECT_NE(copy.out.find("Dropped"), std::string::npos) << copy.out;
    EXPECT_EQ(ReadBytes(file("out.avi")), before) << "--out leaves the file alone";
    ExpectValidAvi(file("copy.avi"));
    const std::string copied = ReadBytes(file("copy.avi"));
    WriteBytes(file("copy.avi"), "kept");
    EXPECT_EQ(Host("repair out.avi --out copy.avi").status, 1) << "replaced without a Yes";
    EXPECT_EQ(ReadBytes(file("copy.avi")), "kept");
    ASSERT_EQ(Host("repair out.avi --out copy.avi --yes").status, 0);
    EXPECT_EQ(ReadBytes(file("copy.avi")), copied);

    const HostRun inPlace = Host("repair out.avi");
    ASSERT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_EQ(ReadBytes(file("out.avi")), ReadBytes(file("copy.avi")));
    EXPECT_EQ(ProbedVideoPackets(file("out.avi")), packets);
    const HostRun info = Host("info out.avi --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"frames\": " + std::to_string(packets)), std::string::npos)
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

}  // namespace
}  // namespace zedadu::test
