// The README's cookbook runs as written: every command of its block, in order, on a capture made
// for the purpose, ends with status 0.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

// The commands of the code block under the cookbook's heading, their comments cut off.
std::vector<std::string> CookbookCommands() {
    std::ifstream readme(std::string(ZEDADU_SOURCE_DIR) + "/README.md");
    std::string line;
    while (std::getline(readme, line) && line != "### Cookbook") {
    }
    while (std::getline(readme, line) && line != "```sh") {
    }
    std::vector<std::string> commands;
    while (std::getline(readme, line) && line != "```") {
        commands.push_back(line.substr(0, line.find("  #")));
    }
    return commands;
}

class HostCookbook : public HostTest {};

TEST_F(HostCookbook, EveryCommandRunsAsWritten) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=720x480:rate=30000/1001 -f lavfi -i sine=sample_rate=48000 "
        "-frames:v 64 -af apad -shortest -c:v mjpeg -c:a pcm_s16le -ac 2 capture.avi");
    const std::vector<std::string> commands = CookbookCommands();
    ASSERT_GE(commands.size(), 6u);
    for (const std::string& command : commands) {
        ASSERT_EQ(command.rfind("zedadu-host ", 0), 0u) << command;
        const HostRun run = Host(command.substr(command.find(' ') + 1));
        EXPECT_EQ(run.status, 0) << command << "\n" << run.out << run.err;
    }
    EXPECT_EQ(ReadPng(file("frames/frame-000059.png")).width, 720u);
    ExpectValidAvi(file("small.avi"));
}

}  // namespace
}  // namespace zedadu::test
