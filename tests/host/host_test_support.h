// Helpers of the host application's tests: each test runs zedadu-host as a subprocess from its
// own directory, where a copy of the host sits beside the plug-in and the host library, so that
// the settings file "ZEDADU.ini" beside the executable belongs to that test alone.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

struct HostRun {
    int status;  // the exit status
    std::string out;
    std::string err;
};

class HostTest : public testing::Test {
  protected:
    void SetUp() override;
    // Runs "zedadu-host ARGUMENTS" in the test's directory, with no terminal on standard input and
    // no display.
    HostRun Host(const std::string& arguments) const;
    // The same on a terminal (a pseudo-terminal of script(1)) that types `input`; standard output
    // and error come together in `out`.
    HostRun HostOnTerminal(const std::string& arguments, const std::string& input) const;
    // The same as a user without root's rights (nobody) when the test runs as root, so that
    // permissions hold; the test's directory is opened to everyone for that.
    HostRun HostWithoutPrivileges(const std::string& arguments) const;
    // Runs the command and parses its standard output as JSON; the test fails on a status other
    // than `status` (any status when it is negative).
    nlohmann::ordered_json HostJson(const std::string& arguments, int status = 0) const;
    // Writes the settings file beside this test's host executable.
    void WriteSettings(const std::string& text) const;
    // Runs ffmpeg in the test's directory with these arguments; the test fails when it fails.
    void Ffmpeg(const std::string& arguments) const;
    std::string file(const std::string& name) const { return dir.file(name); }

    ScratchDirectory dir;

  private:
    HostRun HostAs(const std::string& user, const std::string& arguments) const;
};

// What ffprobe counts in the first stream of a kind ("v" or "a") of a file: packets read and the
// stream's duration in seconds, its sample rate and channels (audio).
struct ProbedStream {
    int64_t packets = -1;
    double seconds = -1.0;
    int64_t sampleRate = 0;
    int64_t channels = 0;
};
ProbedStream Probe(const std::string& path, const char* kind);

// Settings that write uncompressed frames, which every build can do.
extern const char kUncompressedSettings[];

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;  // top row first
};
Picture ReadPng(const std::string& path);

// A frame or a run of samples read through the entry points, without the host application; the
// frame at the file's own size unless a width and height are given.
struct DeliveredBytes {
    ImageFormatStruct result;
    std::vector<uint8_t> bytes;
};
DeliveredBytes ReadFrameBytesDirectly(const std::string& path, uint32_t frame, const char* formatId,
                                      int32_t width = 0, int32_t height = 0);
Picture ReadFrameDirectly(const std::string& path, uint32_t frame, const char* formatId,
                          int32_t width = 0, int32_t height = 0);
std::vector<uint8_t> ReadSamplesDirectly(const std::string& path, uint32_t first, uint32_t count,
                                         const char* formatId);

}  // namespace zedadu::test
