// The bad inputs a new user tries, through every command that reads or writes: each ends with its
// exit status and a sentence that names the cause, and no file that should stay changes.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

namespace fs = std::filesystem;

class HostSafety : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        Ffmpeg(
            "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=500:"
            "sample_rate=22050 -t 0.4 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 -ac 1 in.avi");
    }

    // Every file of the test's directory with its bytes, to see that nothing changed (but for the
    // programs, the host's output and the platform's own files of a user whose home is the
    // directory).
    std::map<std::string, std::string> Files() const {
        static const std::set<std::string> kIgnored = {"host.out", "host.err", "zedadu-host",
                                                       "zedadu.mvx", "libzedadu-hostlib.so"};
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            const std::string name = fs::relative(entry.path(), dir.path()).string();
            if (entry.is_regular_file() && !kIgnored.count(name) && name.rfind(".local", 0) != 0) {
                files[name] = ReadBytes(entry.path().string());
            }
        }
        return files;
    }

    // Runs the command and expects its status, the words in what it printed and no file changed.
    void ExpectRefused(const std::string& command, int status, const std::string& words,
                       bool withoutPrivileges = false) {
        const auto before = Files();
        const HostRun run = withoutPrivileges ? HostWithoutPrivileges(command) : Host(command);
        EXPECT_EQ(run.status, status) << command << "\n" << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(words), std::string::npos)
            << command << ": no \"" << words << "\" in\n"
            << run.out << run.err;
        EXPECT_TRUE(Files() == before) << command << " changed a file";
    }
};

TEST_F(HostSafety, InputsThatCannotBeReadNameTheirCause) {
    fs::create_directory(file("folder.avi"));
    WriteBytes(file("notes.avi"), "Shopping list: eggs, milk.\n");
    WriteBytes(file("empty.avi"), "");
    Ffmpeg("-f lavfi -i sine=sample_rate=8000 -t 0.1 -f wav wave.avi");
    // The video's handler (in the stream header) and compression (in the bitmap header) renamed.
    std::string unknown = ReadBytes(file("in.avi"));
    SetU32(unknown, unknown.find("strh") + 12, FourCC("XYZ1"));
    SetU32(unknown, unknown.find("strf") + 24, FourCC("XYZ1"));
    WriteBytes(file("unknown.avi"), unknown);
    WriteBytes(file("locked.avi"), ReadBytes(file("in.avi")));
    fs::permissions(file("locked.avi"), fs::perms::none);
    const std::pair<const char*, const char*> inputs[] = {
        {"missing.avi", "cannot read missing.avi: no such file"},
        {"folder.avi", "cannot read folder.avi: it is a folder, not a file"},
        {"notes.avi", "cannot read notes.avi: it is not a RIFF/AVI file"},
        {"empty.avi", "cannot read empty.avi: the file is empty"},
        {"wave.avi", "cannot read wave.avi: it is a RIFF file of type \"WAVE\", not an AVI file"},
        {"unknown.avi", "cannot read unknown.avi: its video codec \"XYZ1\" has no decoder here"},
    };
    for (const auto& [input, words] : inputs) {
        for (const std::string command : {"info ", "check ", "audio --out a.wav ",
                                          "frames --out pictures ", "convert out.avi "}) {
            if (command == "info " && std::string(input) == "unknown.avi") {
                continue;  // described from its headers, below
            }
            // The input goes first, the command's other arguments after it.
            const size_t space = command.find(' ');
            ExpectRefused(command.substr(0, space) + " " + input + command.substr(space), 1, words);
        }
    }
    // info still tells what a file says whose codec has no decoder here, and that it has none.
    const HostRun unknownInfo = Host("info unknown.avi");
    EXPECT_EQ(unknownInfo.status, 0) << unknownInfo.err;
    for (const char* words :
         {"10 (0.40 s)", "64 x 48", "XYZ1 (no decoder here", "8-bit, 1 channel"}) {
        EXPECT_NE(unknownInfo.out.find(words), std::string::npos) << words << "\n"
                                                                  << unknownInfo.out;
    }
    const auto described = HostJson("info unknown.avi --json");
    EXPECT_EQ(described["decodable"], false);
    EXPECT_EQ(described["video"]["frames"], 10);
    EXPECT_EQ(described["audio"]["sampleFrames"], 8820);
    ExpectRefused("info locked.avi", 1, "cannot read locked.avi: permission denied", true);
    ASSERT_EQ(mkfifo(file("pipe.avi").c_str(), 0644), 0);
    ExpectRefused("check pipe.avi", 1, "cannot read pipe.avi: it is not a regular file");
}

TEST_F(HostSafety, NoCommandWritesOverItsInputOrReplacesAFileWithoutAYes) {
    fs::create_symlink("in.avi", file("link.avi"));
    fs::create_hard_link(file("in.avi"), file("hard.avi"));
    for (const char* command : {"audio in.avi --out in.avi", "audio in.avi --out link.avi",
                                "audio link.avi --out hard.avi", "convert in.avi hard.avi",
                                "convert in.avi in", "convert in.avi link.avi --yes"}) {
        ExpectRefused(command, 2, "is the input");
    }
    ASSERT_EQ(Host("frames in.avi --count 2 --out pictures").status, 0);
    ASSERT_EQ(Host("audio in.avi --out old.wav --count 10").status, 0);
    ASSERT_EQ(Host("convert in.avi old.avi -c DIB").status, 0);
    ExpectRefused("frames in.avi --out pictures", 1,
                  "pictures/frame-000000.png and 1 more of the files to write already exist; "
                  "nothing was written (--yes replaces them)");
    ExpectRefused("audio in.avi --out old.wav", 1,
                  "old.wav already exists; nothing was written (--yes replaces it)");
    ExpectRefused("convert in.avi old.avi -c DIB", 1,
                  "old.avi already exists and the existing file was kept");
    // The plug-in's own question before it replaces a file: --no and a No at the terminal keep it.
    ExpectRefused("convert in.avi old.avi -c DIB --no", 1, "the existing file was kept");
    const HostRun declined = HostOnTerminal("convert in.avi old.avi -c DIB", "n\\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.out.find("[y]es/[n]o? "), std::string::npos) << declined.out;
    const HostRun asked = HostOnTerminal("audio in.avi --out old.wav", "y\\n");
    EXPECT_EQ(asked.status, 0) << asked.out;
    EXPECT_NE(asked.out.find("old.wav already exists; replace it? [y]es/[n]o? "), std::string::npos)
        << asked.out;
    ASSERT_EQ(Host("audio in.avi --out whole.wav").status, 0);
    EXPECT_EQ(ReadBytes(file("old.wav")), ReadBytes(file("whole.wav"))) << "the whole audio now";
    ASSERT_EQ(Host("frames in.avi --count 3 --out pictures --yes").status, 0);
    // Nothing half-written is left behind: files are written under temporary names.
    for (const auto& entry : fs::directory_iterator(file("pictures"))) {
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
    }
}

TEST_F(HostSafety, FoldersThatCannotBeWrittenAreNamed) {
    fs::create_directory(file("shut"));
    fs::permissions(file("shut"), fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
    ExpectRefused("audio in.avi --out shut/a.wav", 1, "cannot write into shut: permission denied",
                  true);
    ExpectRefused("convert in.avi shut/out.avi", 1, "cannot write into shut: permission denied",
                  true);
    ExpectRefused("frames in.avi --out shut/pictures", 1,
                  "cannot make the folder shut/pictures: permission denied", true);
    ExpectRefused("audio in.avi --out in.avi/a.wav", 1,
                  "cannot write into in.avi: it is not a folder");
}

TEST_F(HostSafety, OptionsOutOfRangeAreOnePlainSentence) {
    const std::pair<const char*, const char*> cases[] = {
        {"frames in.avi --out p --count 0",
         "--count takes a whole number from 1 to 4294967295, not \"0\""},
        {"frames in.avi --out p --count 5000000000",
         "--count takes a whole number from 1 to 4294967295, not \"5000000000\""},
        {"audio in.avi --out a.wav --from -3", "--from takes a whole number from 0 to"},
        {"frames in.avi --out p --size 3", "--size takes a frame size WIDTHxHEIGHT"},
        {"frames in.avi --out p --format yuy2",
         "in.avi does not offer its frames as YUY2; --format rgb24 or rgb32 reads them"},
        {"frames in.avi --out p --from 10",
         "--from 10 is past the last frame (in.avi has 10 frames)"},
        {"convert in.avi o.avi --quality 101",
         "--quality takes a whole number from 0 to 100, not \"101\""},
        {"convert in.avi o.avi -c NOPE", "--compressor \"NOPE\" names no installed compressor"},
        {"convert in.avi o.avi -c HFYU --quality 50",
         "--quality does not apply to HFYU (HuffYUV), which takes no such setting; it applies to "
         "CVID, MJPG, XVID"},
        {"convert in.avi o.avi -c FFV1 --data-rate 800",
         "--data-rate does not apply to FFV1, which takes no such setting; it applies to MJPG"},
        {"convert in.avi o.avi -c dvsd",
         "does not take 64 x 48 frames; of the usual sizes it takes 720 x 576, 720 x 480"},
        {"convert in.avi o.avi --rate 0", "--rate takes frames per second"},
        {"convert in.avi o.avi --audio 100", "--audio takes RATE[:CHANNELS[:BITS]]"},
        {"convert in.avi o.avi --depth 8", "--depth takes 16, 24 or 32, not \"8\""},
        {"convert in.avi o.avi --padding 2000000", "--padding takes a whole number from 0 to"},
        {"convert in.avi o.avi --audio-lead --no-audio-lead", "excludes"},
        {"settings --opendml yes", "--opendml takes on or off, not \"yes\""},
        {"convert in.avi o.avi --padding 3", "--padding takes 0 (none) or 8 to 1048576 bytes"},
        {"convert in.avi o.avi -c dvsd -s 720x576 -r 29.97",
         "DV (dvsd) takes 720x480 at 30000/1001 frames a second or 720x576 at 25"},
        {"convert in.avi o.avi -c dvsd -s 720x480 -r 25", "not 720 x 480 at 25/1"},
    };
    for (const auto& [command, words] : cases) {
        ExpectRefused(command, 2, words);
    }
    // Decimal NTSC rates mean their 1001 fractions.
    for (const auto& [rate, fraction] : {std::pair{"29.97", 30000}, {"23.976", 24000}}) {
        ASSERT_EQ(Host(std::string("convert in.avi ntsc.avi --yes -r ") + rate).status, 0);
        const auto video = HostJson("info ntsc.avi --json")["video"];
        EXPECT_EQ(video["rate"], fraction) << rate;
        EXPECT_EQ(video["scale"], 1001) << rate;
    }
}

// The files of the test's directory whose names start with `prefix`.
size_t FilesStartingWith(const fs::path& directory, const std::string& prefix) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        count += entry.path().filename().string().rfind(prefix, 0) == 0;
    }
    return count;
}

TEST_F(HostSafety, AnExistingOutputIsReplacedOnlyByACompleteNewOne) {
    WriteBytes(file("demo.avi"), "mine");
    const HostRun demo = Host("demo --frames 2");
    EXPECT_EQ(demo.status, 1);
    EXPECT_NE(demo.err.find("demo.avi already exists"), std::string::npos) << demo.err;
    EXPECT_EQ(ReadBytes(file("demo.avi")), "mine");
    EXPECT_FALSE(fs::exists(file("demo.png")));
    ASSERT_EQ(Host("demo --frames 2 --yes").status, 0);
    ExpectValidAvi(file("demo.avi"));

    // A disk that fills (a file size limit) during a replacing conversion keeps the old file.
    WriteBytes(file("precious.avi"), "precious");
    const std::string shell = "cd '" + dir.path().string() + "' && ";
    const CommandResult full =
        test::Run(shell +
                  "ulimit -f 40 && trap '' XFSZ && ./zedadu-host convert in.avi "
                  "precious.avi -c DIB --yes </dev/null");
    EXPECT_EQ(full.status, 1 << 8) << full.output;
    EXPECT_NE(full.output.find("cannot write precious.avi: the file size limit"), std::string::npos)
        << full.output;
    EXPECT_NE(full.output.find("the existing file was kept"), std::string::npos) << full.output;
    EXPECT_EQ(full.output.find(".part-"), std::string::npos) << full.output;
    EXPECT_EQ(ReadBytes(file("precious.avi")), "precious");
    EXPECT_EQ(FilesStartingWith(dir.path(), ".precious.avi.part-"), 0u);

    // Outputs get what new files get under the umask.
    ASSERT_EQ(
        test::Run(shell + "umask 027 && ./zedadu-host convert in.avi mode.avi </dev/null").status,
        0);
    EXPECT_EQ(fs::status(file("mode.avi")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Starts "zedadu-host convert long.avi OUT -c DIB" and returns once its temporary file exists.
pid_t StartConversion(const fs::path& directory, const std::string& out) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) == 0 && freopen("host.err", "w", stderr) &&
            freopen("host.out", "w", stdout)) {
            execl("./zedadu-host", "zedadu-host", "convert", "long.avi", out.c_str(), "-c", "DIB",
                  "--yes", static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    for (int wait = 0; wait < 6000 && FilesStartingWith(directory, "." + out + ".part-") == 0;
         ++wait) {
        usleep(5000);
    }
    usleep(300000);
    return child;
}

// Ctrl-C during a conversion ends it at that frame and closes the file through the plug-in: a
// valid shorter file under the final name, and a sentence saying how many frames it holds. A
// second signal while it finishes abandons it: the temporary file goes, an existing file stays.
TEST_F(HostSafety, AConversionInterruptedEndsAsAValidShorterFile) {
    Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -t 40 -c:v mjpeg long.avi");
    const pid_t child = StartConversion(dir.path(), "short.avi");
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = ReadBytes(file("host.err"));
    std::smatch match;
    ASSERT_TRUE(std::regex_search(err, match, std::regex("short.avi holds the first ([0-9]+)")))
        << err;
    const int frames = std::stoi(match[1]);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 1000);
    EXPECT_EQ(ProbedVideoPackets(file("short.avi")), frames);
    EXPECT_EQ(HostJson("info short.avi --json")["video"]["frames"], frames);
    EXPECT_EQ(FilesStartingWith(dir.path(), ".short.avi.part-"), 0u);

    // Two signals at once (two kinds, which are not merged): the first asks to finish, the second
    // abandons, ending the process by that signal.
    const std::string kept = ReadBytes(file("short.avi"));
    const pid_t twice = StartConversion(dir.path(), "short.avi");
    kill(twice, SIGINT);
    kill(twice, SIGTERM);
    waitpid(twice, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << ReadBytes(file("host.err"));
    EXPECT_TRUE(WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(FilesStartingWith(dir.path(), ".short.avi.part-"), 0u);
    EXPECT_EQ(ReadBytes(file("short.avi")), kept);
}

// A settings file that cannot be written (read-only, in a folder the user cannot write) makes
// --save, --opendml and `settings --opendml` fail with the file's name and the cause.
TEST_F(HostSafety, SettingsThatCannotBeSavedAreAFailure) {
    WriteSettings("[VideoWritingSettings]\nOpenDML=0\n");
    fs::create_directory(file("out"));
    fs::permissions(file("out"), fs::perms::all);
    fs::permissions(file("ZEDADU.ini"), fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string user =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string before = ReadBytes(file("ZEDADU.ini"));
    for (const char* arguments : {"settings --opendml on", "convert in.avi out/saved.avi --save",
                                  "convert in.avi out/big.avi --opendml"}) {
        SCOPED_TRACE(arguments);
        const CommandResult run = test::Run("cd '" + dir.path().string() + "' && " + user +
                                            "./zedadu-host " + arguments + " </dev/null");
        EXPECT_EQ(run.status, 1 << 8) << run.output;
        EXPECT_NE(run.output.find("cannot save the settings in " + file("ZEDADU.ini")),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(run.output.find("settings saved"), std::string::npos) << run.output;
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(file("ZEDADU.ini")), before);
    EXPECT_FALSE(fs::exists(file("out/saved.avi")));
}

// Mistakes a new user makes are named on standard error, with their status: a mistyped command
// with the nearest one, a folder as output, a folder to repair, a file to check that is missing;
// --yes before the command answers as after it.
TEST_F(HostSafety, MistakesAreNamedWithTheirCause) {
    fs::create_directory(file("folder.avi"));
    const std::pair<const char*, std::pair<int, const char*>> cases[] = {
        {"conver in.avi out.avi", {2, "there is no command \"conver\"; did you mean \"convert\"?"}},
        {"convert in.avi folder.avi --yes", {2, "folder.avi is a folder; name the file to write"}},
        {"repair in.avi --out folder.avi", {2, "folder.avi is a folder"}},
        {"repair folder.avi", {1, "cannot read folder.avi: it is a folder"}},
        {"check nosuch.avi", {1, "cannot read nosuch.avi: no such file"}},
        {"convert in.avi out.avi --quality", {2, "--quality needs a value"}},
        {"convert in.avi out.avi more.avi", {2, "the command does not take \"more.avi\""}},
        {"convert sound.avi out.avi", {1, "sound.avi has no video; convert records frames"}},
    };
    Ffmpeg("-f lavfi -i sine=sample_rate=22050 -t 0.2 -c:a pcm_s16le sound.avi");
    for (const auto& [arguments, expected] : cases) {
        const HostRun run = Host(arguments);
        EXPECT_EQ(run.status, expected.first) << arguments;
        EXPECT_NE(run.err.find(expected.second), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(run.out.find("nosuch"), std::string::npos) << run.out;
    }
    WriteBytes(file("old.avi"), "old");
    EXPECT_EQ(Host("-y convert in.avi old.avi").status, 0);
    ExpectValidAvi(file("old.avi"));
}

}  // namespace
}  // namespace zedadu::test
