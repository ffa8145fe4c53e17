// Conversions end to end: every frame kept through the host's own formats, the settings dialog
// and the options at the usual frame rates; every compressor through --compressor, checked by
// the host and probed by ffprobe; compressed sources at another size (run under the address
// sanitizer in that build); audio resampled to the input's duration; and the settings file
// changed only when asked.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostConversion : public HostTest {
  protected:
    // `frames` frames of 32 x 24 at `rate` with exactly as long a 44.1 kHz stereo tone.
    void MakeClip(const std::string& name, const std::string& rate, int frames,
                  const std::string& video = "-c:v rawvideo -pix_fmt bgr24") {
        Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=" + rate +
               " -f lavfi -i sine=sample_rate=44100 -frames:v " + std::to_string(frames) +
               " -af apad -shortest " + video + " -c:a pcm_s16le -ac 2 " + name);
    }

    // Converts and expects the output to hold `frames` frames, as long as the input to the frame,
    // and the input's sample frames.
    void ExpectConverted(const std::string& in, const std::string& arguments, int frames) {
        const std::string out = "out-" + std::to_string(converted_++) + ".avi";
        const HostRun run = Host("convert " + in + " " + out + " " + arguments);
        ASSERT_EQ(run.status, 0) << arguments << "\n" << run.err;
        const auto input = HostJson("info --json " + in);
        const ProbedStream video = Probe(file(out), "v");
        EXPECT_EQ(video.packets, frames) << in << " " << arguments;
        const double seconds = input["video"]["seconds"];
        EXPECT_NEAR(video.seconds, seconds, seconds / frames / 2) << in << " " << arguments;
        const auto output = HostJson("info --json " + out);
        EXPECT_EQ(output["video"]["frames"], frames);
        EXPECT_EQ(output["audio"]["sampleFrames"], input["audio"]["sampleFrames"]);
    }

    int converted_ = 0;
};

TEST_F(HostConversion, EveryFrameIsKeptThroughEveryPathAtTheUsualRates) {
    // The input's rate, the dialog's nearest preset or typed rate, and the rate an option names.
    struct Case {
        const char* rate;
        int frames;
        const char* dialogRate;
        const char* optionRate;
    };
    const Case cases[] = {{"30000/1001", 90, "select 120 'NTSC'", "29.97"},
                          {"25", 25, "select 120 'PAL'", "25"},
                          {"25/2", 38, "select 120 'Other'; type 166 12.5", "12.5"},
                          {"24000/1001", 48, "select 120 'Other'; type 166 23.976", "23.976"}};
    for (const Case& clip : cases) {
        const std::string in = std::string("in-") + std::to_string(clip.frames) + ".avi";
        MakeClip(in, clip.rate, clip.frames);
        ExpectConverted(in, "", clip.frames);
        ExpectConverted(in,
                        std::string("--dialog-script \"select 101 'Uncompressed RGB'; ") +
                            clip.dialogRate + "; press enter\"",
                        clip.frames);
        ExpectConverted(in, std::string("-c MJPG --rate ") + clip.optionRate, clip.frames);
    }
}

TEST_F(HostConversion, EveryCompressorWritesAFileThatChecksAndProbes) {
    MakeClip("in.avi", "25", 5);
    const auto compressors = HostJson("compressors --json");
    ASSERT_GE(compressors.size(), 2u);
    EXPECT_EQ(compressors.back()["code"], "DIB ");
    // Decoders are listed by one code for each codec of the driver list, the compressors' among
    // them (the list on disk may come from a version that knew fewer codecs).
    std::set<std::string> decoded;
    for (const auto& decoder : HostJson("compressors --decoders --json")) {
        decoded.insert(decoder["code"].get<std::string>());
    }
    for (const char* code : {"MSVC", "XVID", "H264"}) {
        EXPECT_TRUE(decoded.count(code)) << code;
    }
    for (const auto& compressor : compressors) {
        const std::string code = compressor["code"];
        // A size the compressor takes: the input's when it takes any, else a usual one it lists
        // (DV's at 25 frames a second is 720x576).
        std::string size;
        if (!compressor["anySize"].get<bool>()) {
            const auto& sizes = compressor["sizes"];
            const auto has = [&](const char* s) {
                return std::find(sizes.begin(), sizes.end(), s) != sizes.end();
            };
            size = has("160x120")   ? "160x120"
                   : has("720x576") ? "720x576"
                                    : sizes.back().get<std::string>();
        }
        const std::string out = "with-" + code.substr(0, code.find(' ')) + ".avi";
        const HostRun run = Host("convert in.avi " + out + " --compressor \"" + code + "\"" +
                                 (size.empty() ? "" : " --size " + size));
        ASSERT_EQ(run.status, 0) << code << "\n" << run.err;
        const auto checked = HostJson("check --json " + out);
        EXPECT_EQ(checked["complete"], true) << code;
        EXPECT_EQ(checked["frames"], 5) << code;
        ExpectValidAvi(file(out));
    }
}

// Compressed sources asked for at another size than their own: the decompressor grows the box to
// the picture's shape and the host resizes what it delivers to the size of the output.
TEST_F(HostConversion, CompressedSourcesAtAnotherSizeAreResizedByTheHost) {
    for (const char* codec : {"mjpeg", "dvvideo -pix_fmt yuv411p"}) {
        Ffmpeg("-f lavfi -i testsrc=size=720x480:rate=30000/1001 -frames:v 2 -c:v " +
               std::string(codec) + " source.avi");
        for (const char* size : {"400x300", "800x600"}) {
            const HostRun run =
                Host("convert source.avi out.avi --yes -c HFYU --size " + std::string(size));
            ASSERT_EQ(run.status, 0) << codec << " " << size << "\n" << run.err;
            EXPECT_NE(run.out.find("as the plug-in delivered them, resized to"), std::string::npos)
                << run.out;
            const auto checked = HostJson("check --json out.avi");
            EXPECT_EQ(checked["frames"], 2);
            EXPECT_TRUE(checked["failedFrames"].empty());
            const auto info = HostJson("info --json out.avi");
            EXPECT_EQ(std::to_string(info["video"]["width"].get<int>()) + "x" +
                          std::to_string(info["video"]["height"].get<int>()),
                      size);
        }
        const HostRun frames = Host("frames source.avi --size 400x300 --yes --out pictures");
        ASSERT_EQ(frames.status, 0) << frames.err;
        EXPECT_NE(frames.out.find("450 x 300 RGB24"), std::string::npos) << frames.out;
        const Picture picture = ReadPng(file("pictures/frame-000001.png"));
        EXPECT_EQ(picture.width, 400u);
        EXPECT_EQ(picture.height, 300u);
    }
}

TEST_F(HostConversion, AudioOfAnotherRateOrChannelCountLastsAsLongAsTheInput) {
    MakeClip("in.avi", "25", 12);
    const int64_t input = HostJson("info --json in.avi")["audio"]["sampleFrames"];
    const struct {
        const char* arguments;
        int64_t rate;
        int64_t channels;
        int64_t bits;
    } cases[] = {{"--audio 48000:1:8", 48000, 1, 8},
                 {"--audio 22050", 22050, 2, 16},
                 {"--audio 44100:6", 44100, 6, 16},
                 {"--dialog-script \"select 101 'Uncompressed RGB'; select 1008 '32 KHz'; select "
                  "1006 'Mono'; press enter\"",
                  32000, 1, 16}};
    for (const auto& wanted : cases) {
        const HostRun run = Host("convert in.avi out.avi --yes " + std::string(wanted.arguments));
        ASSERT_EQ(run.status, 0) << wanted.arguments << "\n" << run.err;
        const auto audio = HostJson("info --json out.avi")["audio"];
        EXPECT_EQ(audio["sampleRate"], wanted.rate) << wanted.arguments;
        EXPECT_EQ(audio["channels"], wanted.channels) << wanted.arguments;
        EXPECT_EQ(audio["bits"], wanted.bits) << wanted.arguments;
        EXPECT_EQ(audio["sampleFrames"], std::llround(double(input) * wanted.rate / 44100))
            << wanted.arguments;
        ExpectValidAvi(file("out.avi"));
        if (wanted.bits != 16) {
            continue;
        }
        // The samples are libswresample's with its defaults, as ffmpeg resamples them; ffmpeg's
        // output may run a sample frame longer, where the host rounds to the nearest.
        const std::string ours = Decoded(file("out.avi"), "-map 0:a -f s16le");
        std::string theirs =
            Decoded(file("in.avi"), "-map 0:a -ar " + std::to_string(wanted.rate) + " -ac " +
                                        std::to_string(wanted.channels) + " -f s16le");
        const size_t frame = size_t(2 * wanted.channels);
        ASSERT_LE(theirs.size() - std::min(theirs.size(), ours.size()), frame) << wanted.arguments;
        theirs.resize(ours.size());
        ExpectSameBytes(ours, theirs);
    }
}

TEST_F(HostConversion, TheSettingsFileChangesOnlyWhenAsked) {
    MakeClip("in.avi", "25", 4);
    ASSERT_EQ(Host("convert in.avi once.avi -c MJPG --quality 60 --size 64x48").status, 0);
    EXPECT_FALSE(std::filesystem::exists(file("ZEDADU.ini")));

    const HostRun saved = Host(
        "convert in.avi saved.avi -c XVID --quality 60 --keyframes 1 --size 64x48 --rate 15 "
        "--audio 22050:1 --padding 0 --no-audio-lead --save");
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find("in ZEDADU.ini (--save)"), std::string::npos) << saved.out;
    const HostRun settings = Host("settings");
    for (const char* words : {"64 x 48 RGB24, 15 fps (15/1)", "MPEG-4 Part 2 (XVID)", "60 of 100",
                              "every frame", "not padded", "none (audio and video start together)",
                              "22.05 kHz, 16-bit, mono", "off (not set)"}) {
        EXPECT_NE(settings.out.find(words), std::string::npos) << words << " in\n" << settings.out;
    }
    // The saved settings whole: size, rate, audio and compression.
    ASSERT_EQ(Host("convert in.avi again.avi --settings").status, 0);
    const auto again = HostJson("info --json again.avi");
    EXPECT_EQ(again["video"]["codec"], "XVID");
    EXPECT_EQ(again["video"]["width"], 64);
    EXPECT_EQ(again["video"]["rate"], 15);
    EXPECT_EQ(again["audio"]["sampleRate"], 22050);

    // OpenDML writing: on or off in the settings file, or on for one conversion and restored.
    ASSERT_EQ(Host("settings --opendml on").status, 0);
    EXPECT_NE(ReadBytes(file("ZEDADU.ini")).find("OpenDML=1"), std::string::npos);
    ASSERT_EQ(Host("settings --opendml off").status, 0);
    const std::string before = ReadBytes(file("ZEDADU.ini"));
    EXPECT_NE(before.find("OpenDML=0"), std::string::npos);
    const HostRun openDml = Host("convert in.avi odml.avi --opendml");
    ASSERT_EQ(openDml.status, 0) << openDml.err;
    EXPECT_NE(openDml.out.find("on for this file"), std::string::npos);
    EXPECT_EQ(ReadBytes(file("ZEDADU.ini")), before);
}

// --keyframes 0 leaves every key frame but the first to the compressor (Video 1 puts none), 1
// makes every frame one, N one every N frames; the summary says which, and ffprobe counts them.
// -an (--no-audio) leaves the audio out; --stats reports progress as lines without a terminal.
TEST_F(HostConversion, OptionsShowInWhatFfprobeReads) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=sample_rate=22050 -t 2 "
        "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le in.avi");
    const std::tuple<const char*, const char*, int> cases[] = {
        {"0", "the first frame, then where the compressor puts them", 1},
        {"1", "every frame", 50},
        {"10", "every 10 frames", 5},
    };
    for (const auto& [interval, words, keys] : cases) {
        const HostRun run =
            Host(std::string("convert in.avi keys.avi -c MSVC --yes --keyframes ") + interval);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(words), std::string::npos) << run.out;
        const CommandResult probe = test::Run(
            "ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 '" +
            file("keys.avi") + "' | grep -c K");
        EXPECT_EQ(std::stoi(probe.output), keys) << interval;
    }
    // A data rate the compressor cannot hold for these pictures is not reported as held.
    const HostRun rate = Host("convert in.avi rate.avi -c MJPG --yes -an --data-rate 20");
    ASSERT_EQ(rate.status, 0) << rate.err;
    EXPECT_NE(rate.out.find("more than asked"), std::string::npos) << rate.out;
    // With audio each frame's slot and record padding take 25 × (1892 + 512) bytes a second, which
    // the plug-in would not fit into 58 KB/s: it would ask to drop the limit, so the host refuses
    // first; 59 KB/s holds them and is written as asked.
    const HostRun low = Host("convert in.avi low.avi -c MJPG --yes --data-rate 58");
    EXPECT_EQ(low.status, 2);
    EXPECT_NE(low.err.find("(60100 bytes a second at these settings), and the plug-in would write "
                           "without a limit: --data-rate takes 59 or more here"),
              std::string::npos)
        << low.err;
    EXPECT_FALSE(std::filesystem::exists(file("low.avi")));
    const HostRun least = Host("convert in.avi least.avi -c MJPG --yes --data-rate 59");
    ASSERT_EQ(least.status, 0) << least.err;
    EXPECT_EQ(least.err.find("without a data-rate limit"), std::string::npos) << least.err;
    EXPECT_NE(least.out.find("at most 59 KB/s"), std::string::npos) << least.out;
    const HostRun silent = Host("convert in.avi silent.avi -an --stats");
    ASSERT_EQ(silent.status, 0) << silent.err;
    EXPECT_NE(silent.err.find("converting: 50/50 (100%)\n"), std::string::npos) << silent.err;
    const CommandResult streams =
        test::Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" +
                  file("silent.avi") + "'");
    EXPECT_EQ(streams.output, "video\n");
    EXPECT_EQ(Probe(file("silent.avi"), "v").packets, 50);
}

}  // namespace
}  // namespace zedadu::test
