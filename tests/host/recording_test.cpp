// The writing commands end to end: the demonstration, conversion, the saved settings and the
// free recording time, with the files they write checked by Debian's ffprobe and ffmpeg.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostRecording : public HostTest {};

// The number after `label` in a report, e.g. Number(out, "video frames") in "video frames 12 (..".
double Number(const std::string& report, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(report, match, std::regex(label + " +([0-9.]+)"))) {
        ADD_FAILURE() << "no " << label << " in\n" << report;
        return 0.0;
    }
    return std::stod(match[1]);
}

void ExpectDemoOutcome(const HostRun& run, const std::string& directory, uint32_t frames) {
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ExpectValidAvi(directory + "/demo.avi");
    const std::string decoded =
        Decoded(directory + "/demo.avi", "-map 0:v -f rawvideo -pix_fmt rgb24");
    constexpr size_t kFrameBytes = 720 * 480 * 3;
    ASSERT_EQ(decoded.size(), frames * kFrameBytes);
    // What the plug-in reads back of the last frame is what ffmpeg decodes of it.
    const Picture last = ReadFrameDirectly(directory + "/demo.avi", frames - 1, FORMAT_ID_RGB24);
    EXPECT_TRUE(std::string(last.rgb.begin(), last.rgb.end()) ==
                decoded.substr(decoded.size() - kFrameBytes));
    const Picture sheet = ReadPng(directory + "/demo.png");
    EXPECT_EQ(sheet.width, 3u * 360 + 4 * 4);
}

TEST_F(HostRecording, DemoRecordsReadsBackAndComparesWithTheHostsOwnOrTheSavedSettings) {
    ExpectDemoOutcome(Host("demo --frames 8 --out own"), file("own"), 8);
    WriteSettings(
        "[VideoWritingSettings]\nfccHandler=DIB \nWidth=720\nHeight=480\nRate=30000\nScale=1001\n");
    const HostRun saved = Host("demo --ini --frames 6 --out saved");
    ExpectDemoOutcome(saved, file("saved"), 6);
    EXPECT_NE(saved.out.find("saved in ZEDADU.ini"), std::string::npos);
}

TEST_F(HostRecording, ConvertRecordsWhatItReads) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=500:"
        "sample_rate=44100 -t 0.8 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 2 in.avi");
    const HostRun run = Host("convert in.avi out.avi --compressor DIB --padding 1024");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("none (uncompressed frames)"), std::string::npos) << run.out;
    ExpectValidAvi(file("out.avi"));
    for (const char* stream : {"-map 0:v -f rawvideo -pix_fmt rgb24", "-map 0:a -f s16le"}) {
        ExpectSameBytes(Decoded(file("out.avi"), stream), Decoded(file("in.avi"), stream));
    }
    // Audio arrives after each frame, so its chunks lie between the frames, not after them.
    const std::string written = ReadBytes(file("out.avi"));
    uint32_t lastVideo = 0, audioBeforeLastVideo = 0, audioChunks = 0;
    for (const IndexEntry& entry : IndexOf(written)) {
        const bool video = (entry.chunkId & 0xFFFF) == (FourCC("00dc") & 0xFFFF);
        lastVideo = video ? std::max(lastVideo, entry.offset) : lastVideo;
    }
    for (const IndexEntry& entry : IndexOf(written)) {
        if (entry.chunkId == FourCC("01wb")) {
            ++audioChunks;
            audioBeforeLastVideo += entry.offset < lastVideo ? 1 : 0;
        }
    }
    EXPECT_GE(audioChunks, 20u);
    EXPECT_GE(audioBeforeLastVideo, audioChunks - 2) << "audio interleaved with the frames";

    // The host's own compression by default: Video 1, which ffmpeg decodes.
    ASSERT_EQ(Host("convert in.avi compressed.avi").status, 0);
    ExpectValidAvi(file("compressed.avi"));
    EXPECT_EQ(Decoded(file("compressed.avi"), "-map 0:v -f rawvideo -pix_fmt rgb24").size(),
              size_t(20) * 64 * 48 * 3);
}

TEST_F(HostRecording, OddWidthsAndEightBitMonoAudioSurviveTheRoundTrip) {
    WriteSettings(
        "[VideoWritingSettings]\nfccHandler=DIB \nWidth=66\nHeight=50\nRate=15\n"
        "Scale=1\nPaddingSize=0\n[AudioWritingSettings]\nChannels=1\n"
        "SamplesPerSecond=11025\nCompression=" +
        std::string(FORMAT_ID_PCM8) + "\n");
    const HostRun demo = Host("demo --ini --frames 5");
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_NE(demo.out.find("11.025 kHz, 8-bit, mono"), std::string::npos) << demo.out;

    Ffmpeg(
        "-f lavfi -i testsrc=size=66x50:rate=15 -f lavfi -i sine=frequency=700:"
        "sample_rate=11025 -t 0.6 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 -ac 1 odd.avi");
    ASSERT_EQ(Host("convert odd.avi copy.avi --settings").status, 0);
    for (const char* stream : {"-map 0:v -f rawvideo -pix_fmt rgb24", "-map 0:a -f u8"}) {
        ExpectSameBytes(Decoded(file("copy.avi"), stream), Decoded(file("odd.avi"), stream));
    }
    ASSERT_EQ(Host("frames copy.avi --from 8 --out odd").status, 0);
    const Picture png = ReadPng(file("odd/frame-000008.png"));
    EXPECT_EQ(png.width, 66u);
    EXPECT_EQ(png.rgb, ReadFrameDirectly(file("odd.avi"), 8, FORMAT_ID_RGB24).rgb);
}

TEST_F(HostRecording, SettingsAndFreeTimeFollowTheSavedSettings) {
    const HostRun defaults = Host("settings");
    ASSERT_EQ(defaults.status, 0) << defaults.err;
    EXPECT_NE(defaults.out.find("720 x 486 RGB24"), std::string::npos) << defaults.out;
    EXPECT_NE(defaults.out.find("not there yet"), std::string::npos) << defaults.out;

    WriteSettings(kUncompressedSettings);
    const HostRun saved = Host("settings --video");
    ASSERT_EQ(saved.status, 0) << saved.err;
    for (const char* words : {"64 x 48 RGB24, 25 fps (25/1)", "none (uncompressed frames)",
                              "padded to 1024 bytes", "22.05 kHz, 16-bit, mono"}) {
        EXPECT_NE(saved.out.find(words), std::string::npos) << words << " in\n" << saved.out;
    }
    const HostRun noDisplay = Host("settings --dialog --audio");
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_NE(noDisplay.err.find("needs a display"), std::string::npos) << noDisplay.err;

    // 100 kB/s of video and 44100 bytes/s of audio share the free space: both counts name the
    // same recording time.
    const HostRun time = Host("freetime .");
    ASSERT_EQ(time.status, 0) << time.err;
    const double seconds = Number(time.out, "video frames") / 25.0;
    EXPECT_GT(seconds, 0.0);
    EXPECT_NEAR(Number(time.out, "sample frames") / 22050.0, seconds, 1.0);
}

TEST_F(HostRecording, TheSettingsDialogRunsFromAScriptForSettingsAndConvert) {
    const HostRun chosen = Host(
        "settings --dialog-script \"select 101 'Uncompressed RGB'; select 123 '320 X 240'; "
        "press enter\"");
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("accepted and saved"), std::string::npos) << chosen.out;
    EXPECT_NE(chosen.out.find("320 x 240 RGB24"), std::string::npos) << chosen.out;
    const std::string saved = ReadBytes(file("ZEDADU.ini"));
    EXPECT_NE(saved.find("fccHandler=DIB "), std::string::npos) << saved;
    EXPECT_NE(saved.find("Width=320"), std::string::npos) << saved;

    const HostRun cancelled = Host("settings --video --dialog-script 'select 123 0; press escape'");
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_NE(cancelled.err.find("the settings dialog was cancelled; nothing was saved"),
              std::string::npos)
        << cancelled.err;
    EXPECT_EQ(ReadBytes(file("ZEDADU.ini")), saved);

    // Frames of the input's 64 x 48 go into a 160 x 120 file, resized by the host.
    Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 -c:v rawvideo -pix_fmt bgr24 in.avi");
    const HostRun converted = Host(
        "convert in.avi big.avi --dialog-script \"select 101 'Uncompressed RGB'; select 123 "
        "'160 X 120'; press enter\"");
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_NE(converted.out.find("in ZEDADU.ini (the settings dialog saves what it accepts)"),
              std::string::npos)
        << converted.out;
    ExpectValidAvi(file("big.avi"));
    EXPECT_EQ(Decoded(file("big.avi"), "-f rawvideo -pix_fmt rgb24").size(), 5u * 160 * 120 * 3);
    // Another frame rate shows each output frame the input frame of its time: 5 frames at 25 fps
    // make 3 at 15.
    ASSERT_EQ(Host("convert in.avi slow.avi --dialog-script \"select 101 'Uncompressed RGB'; "
                   "select 123 '160 X 120'; select 120 '15.000000'; press enter\"")
                  .status,
              0);
    EXPECT_EQ(Decoded(file("slow.avi"), "-f rawvideo -pix_fmt rgb24").size(), 3u * 160 * 120 * 3);
    EXPECT_EQ(Host("convert in.avi none.avi --dialog-script 'press escape'").status, 1);
    // A script that cannot go on is a wrong request, not a cancelled dialog: a wrong entry name is
    // told with the names the list has, words that are no action are named.
    const HostRun wrong = Host("convert in.avi none.avi --dialog-script \"select 101 'Huff'\"");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("entries: \"Video 1 (MSVC)\", "), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("the --dialog-script could not go on"), std::string::npos)
        << wrong.err;
    const std::string before = ReadBytes(file("ZEDADU.ini"));
    const HostRun garbled = Host("settings --dialog-script 'choose wisely'");
    EXPECT_EQ(garbled.status, 2);
    EXPECT_NE(garbled.err.find("\"choose wisely\": not understood"), std::string::npos)
        << garbled.err;
    EXPECT_EQ(ReadBytes(file("ZEDADU.ini")), before);
    EXPECT_FALSE(std::filesystem::exists(file("none.avi")));
}

// Without ZEDADU.ini the saved settings are the plug-in's defaults: Video 1 at 720 x 486, coded
// in whole blocks, which ffmpeg decodes.
TEST_F(HostRecording, DemoWithoutSavedSettingsRecordsVideoOneAtTheDefaultSize) {
    const HostRun demo = Host("demo --ini --frames 4 --out defaults");
    ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
    EXPECT_NE(demo.out.find("720 X 486 16 Bit Video 1 (MSVC)"), std::string::npos) << demo.out;
    EXPECT_NE(demo.out.find("4 of 4 read back"), std::string::npos) << demo.out;
    ExpectValidAvi(file("defaults/demo.avi"));
}

}  // namespace
}  // namespace zedadu::test
