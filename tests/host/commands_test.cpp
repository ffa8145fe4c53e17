// The reading commands end to end, as a user runs them: usage, --version and exit statuses, info
// of one file and of several as text and JSON, frames as PNG pictures, audio as WAV files, each
// checked against direct reads through the entry points.
#include <sndfile.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostCommands : public HostTest {
  protected:
    // 10 frames of 64 x 48 at 25 fps, with 0.4 s of 8-bit mono audio at 22050 Hz.
    void MakeInput() {
        Ffmpeg(
            "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=500:"
            "sample_rate=22050 -t 0.4 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8 -ac 1 in.avi");
    }
};

TEST_F(HostCommands, HelpUsageErrorsAndFailuresHaveTheirExitStatuses) {
    MakeInput();
    for (const char* command : {"", "demo", "info", "check", "frames", "audio", "convert",
                                "compressors", "settings", "freetime"}) {
        const HostRun help = Host(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("Usage:"), std::string::npos) << command;
        const HostRun version = Host(std::string(command) + " --version");
        EXPECT_EQ(version.status, 0) << command;
        EXPECT_EQ(version.out, "zedadu-host 0.1.0\n") << command;
    }
    for (const char* usage :
         {"nonsense", "info", "frames in.avi", "frames in.avi --out d --size 3",
          "frames in.avi --out d --format bgr", "audio in.avi --out a.wav --pcm8 --pcm16",
          "info in.avi --yes --no", "frames in.avi --from 10 --out d",
          "audio in.avi --from 8820 --out a.wav", "freetime missing-dir",
          "convert in.avi in.avi"}) {
        const HostRun run = Host(usage);
        EXPECT_EQ(run.status, 2) << usage << "\n" << run.err;
        EXPECT_FALSE(run.err.empty()) << usage;
        EXPECT_TRUE(run.out.empty()) << usage;
    }
    const HostRun unknown = Host("frames in.avi --out d --colour");
    EXPECT_EQ(unknown.err.rfind("zedadu-host: ", 0), 0u) << unknown.err;
    EXPECT_NE(unknown.err.find("zedadu-host frames --help"), std::string::npos) << unknown.err;
}

TEST_F(HostCommands, InfoDescribesTheFileInWordsAndJson) {
    MakeInput();
    const HostRun text = Host("info in.avi");
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* words :
         {"10 (0.40 s)", "25 fps (25/1)", "64 x 48", "RGB24, RGB32", "8820 sample frames",
          "22.05 kHz, 8-bit, mono", "PCM8, PCM16", "DIB (uncompressed)", "index        legacy"}) {
        EXPECT_NE(text.out.find(words), std::string::npos) << words << " in\n" << text.out;
    }
    const HostRun json = Host("info in.avi --json");
    ASSERT_EQ(json.status, 0) << json.err;
    const auto info = nlohmann::json::parse(json.out);
    EXPECT_EQ(info["path"], "in.avi");
    EXPECT_EQ(info["index"], "legacy");
    EXPECT_FALSE(info["dv"].get<bool>());
    const auto bytes = std::filesystem::file_size(file("in.avi"));
    EXPECT_EQ(info["bytes"], bytes);
    EXPECT_EQ(info["bitRate"], uint64_t(bytes * 8 / 0.4 + 0.5));
    const auto& video = info["video"];
    EXPECT_EQ(video["codec"], "DIB ");
    EXPECT_EQ(video["frames"], 10);
    EXPECT_EQ(video["rate"], 25);
    EXPECT_EQ(video["scale"], 1);
    EXPECT_DOUBLE_EQ(video["seconds"].get<double>(), 0.4);
    EXPECT_EQ(video["width"], 64);
    EXPECT_EQ(video["height"], 48);
    EXPECT_EQ(video["description"], "64 X 48 24 Bit Uncompressed RGB");
    ASSERT_EQ(video["layouts"].size(), 2u);
    EXPECT_EQ(video["layouts"][0]["layout"], "rgb24");
    EXPECT_EQ(video["layouts"][0]["formatId"], FORMAT_ID_RGB24);
    EXPECT_EQ(video["layouts"][1]["imageSize"], 64 * 48 * 4);
    const auto& audio = info["audio"];
    EXPECT_EQ(audio["sampleFrames"], 8820);
    EXPECT_EQ(audio["sampleRate"], 22050);
    EXPECT_EQ(audio["channels"], 1);
    EXPECT_EQ(audio["bits"], 8);
    EXPECT_EQ(audio["layouts"][0]["layout"], "pcm8");
    EXPECT_EQ(audio["layouts"][1]["frameBytes"], 2);

    // Several files: an array in the order given, a file that cannot be read with its error.
    Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 -c:v mjpeg jpeg.avi");
    const auto several = HostJson("info jpeg.avi missing.avi in.avi --json", 1);
    ASSERT_EQ(several.size(), 3u);
    EXPECT_EQ(several[0]["video"]["codec"], "MJPG");
    EXPECT_EQ(several[0]["audio"], nullptr);
    EXPECT_EQ(several[1]["error"], "cannot read missing.avi: no such file");
    EXPECT_EQ(several[2]["video"]["frames"], 10);
    const HostRun both = Host("info in.avi jpeg.avi");
    EXPECT_EQ(both.status, 0);
    EXPECT_NE(both.out.find("video codec  MJPG"), std::string::npos) << both.out;
}

TEST_F(HostCommands, FramesArePngPicturesOfWhatThePluginDelivers) {
    MakeInput();
    for (const char* format : {"rgb24", "rgb32"}) {
        const std::string out = std::string("frames-") + format;
        const HostRun run = Host("frames in.avi --from 7 --count 5 --format " +
                                 std::string(format) + " --out " + out);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto files = std::distance(std::filesystem::directory_iterator(file(out)),
                                         std::filesystem::directory_iterator());
        EXPECT_EQ(files, 3) << "frames 7 to 9, cut at the end";
        for (uint32_t frame = 7; frame < 10; ++frame) {
            const Picture png =
                ReadPng(file(out + "/frame-00000" + std::to_string(frame) + ".png"));
            const Picture direct = ReadFrameDirectly(file("in.avi"), frame, FORMAT_ID_RGB24);
            EXPECT_EQ(png.width, 64u);
            EXPECT_EQ(png.height, 48u);
            EXPECT_EQ(png.rgb, direct.rgb) << format << " frame " << frame;
        }
    }
}

// Pictures come at the size asked for: as the decompressor scales them, or resized by the host
// where it delivers another size (a box of another shape grown to the picture's, or frames that
// are not scaled at all), and the summary says which. Raw frames are written as delivered.
TEST_F(HostCommands, FramesAtAnotherSizeAndRawYuy2FromADecompressor) {
    MakeInput();
    Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 -c:v mjpeg jpeg.avi");
    const HostRun square = Host("frames jpeg.avi --count 1 --size 32x32 --out square");
    ASSERT_EQ(square.status, 0) << square.err;
    EXPECT_NE(square.out.find("42 x 32 RGB24"), std::string::npos) << square.out;
    EXPECT_NE(square.out.find("the decompressor grows 32 x 32 to the picture's shape"),
              std::string::npos)
        << square.out;
    EXPECT_NE(square.out.find("1 picture of 32 x 32 in square (resized by the host)"),
              std::string::npos)
        << square.out;
    EXPECT_EQ(ReadPng(file("square/frame-000000.png")).width, 32u);
    const HostRun own = Host("frames in.avi --count 1 --size 32x24 --out own");
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_NE(own.out.find("the file's own size"), std::string::npos) << own.out;
    EXPECT_EQ(ReadPng(file("own/frame-000000.png")).height, 24u);

    ASSERT_EQ(Host("frames jpeg.avi --count 2 --size 32x24 --out small").status, 0);
    ASSERT_EQ(Host("frames jpeg.avi --from 4 --format yuy2 --size 32x24 --out raw").status, 0);
    for (uint32_t frame : {0, 1}) {
        const Picture png = ReadPng(file("small/frame-00000" + std::to_string(frame) + ".png"));
        EXPECT_EQ(png.width, 32u);
        EXPECT_EQ(png.height, 24u);
        EXPECT_EQ(png.rgb, ReadFrameDirectly(file("jpeg.avi"), frame, FORMAT_ID_RGB24, 32, 24).rgb);
    }
    const std::string raw = ReadBytes(file("raw/frame-000004.yuy2"));
    EXPECT_EQ(raw.size(), 32u * 24 * 2);
    ExpectSameBytes(raw, ReadFrameBytesDirectly(file("jpeg.avi"), 4, FORMAT_ID_YUY2, 32, 24).bytes);
}

struct Wav {
    SF_INFO info{};
    std::vector<uint8_t> bytes;
};

Wav ReadWav(const std::string& path) {
    Wav wav;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
    if (!file) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return wav;
    }
    const int width = (wav.info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 ? 2 : 1;
    wav.bytes.resize(size_t(wav.info.frames) * wav.info.channels * width);
    EXPECT_EQ(sf_read_raw(file, wav.bytes.data(), sf_count_t(wav.bytes.size())),
              sf_count_t(wav.bytes.size()));
    sf_close(file);
    return wav;
}

TEST_F(HostCommands, AudioRunsBecomeWavFilesSampleForSample) {
    MakeInput();
    ASSERT_EQ(Host("audio in.avi --from 100 --count 1000 --out wide.wav").status, 0);
    const Wav wide = ReadWav(file("wide.wav"));
    EXPECT_EQ(wide.info.samplerate, 22050);
    EXPECT_EQ(wide.info.channels, 1);
    EXPECT_EQ(wide.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(wide.bytes, ReadSamplesDirectly(file("in.avi"), 100, 1000, FORMAT_ID_PCM16));

    ASSERT_EQ(Host("audio in.avi --from 8000 --pcm8 --out narrow.wav").status, 0);
    const Wav narrow = ReadWav(file("narrow.wav"));
    EXPECT_EQ(narrow.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    EXPECT_EQ(narrow.info.frames, 820) << "to the end of the stream";
    EXPECT_EQ(narrow.bytes, ReadSamplesDirectly(file("in.avi"), 8000, 820, FORMAT_ID_PCM8));

    // A 16-bit stereo file offers only 16-bit samples; the host narrows them itself.
    Ffmpeg(
        "-f lavfi -i sine=frequency=300:sample_rate=44100 -t 0.2 -ac 2 -c:a pcm_s16le stereo.avi");
    ASSERT_EQ(Host("audio stereo.avi --pcm8 --out stereo.wav").status, 0);
    const Wav stereo = ReadWav(file("stereo.wav"));
    EXPECT_EQ(stereo.info.channels, 2);
    EXPECT_EQ(stereo.info.frames, 8820);
    const std::vector<uint8_t> words =
        ReadSamplesDirectly(file("stereo.avi"), 0, 8820, FORMAT_ID_PCM16);
    ASSERT_EQ(stereo.bytes.size() * 2, words.size());
    for (size_t i = 0; i < stereo.bytes.size(); ++i) {
        ASSERT_EQ(stereo.bytes[i], uint8_t(words[2 * i + 1] + 128)) << "sample " << i;
    }
}

// Time ranges as ffmpeg takes them: the frames and sample frames whose time is at or after the
// start and before the end. At 25 fps, 0.12 s to 0.24 s holds frames 3 to 5; at 22050 Hz, 0.1 s to
// 0.2 s holds sample frames 2205 to 4409; a conversion takes the audio from its first frame's time
// to its last frame's end.
TEST_F(HostCommands, TimeRangesChooseFramesAndSampleFramesByTheirTime) {
    MakeInput();
    ASSERT_EQ(Host("frames in.avi -ss 0.12 -t 0.12 --out range").status, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file("range")),
                            std::filesystem::directory_iterator()),
              3);
    for (const uint32_t frame : {3u, 5u}) {
        EXPECT_EQ(ReadPng(file("range/frame-00000" + std::to_string(frame) + ".png")).rgb,
                  ReadFrameDirectly(file("in.avi"), frame, FORMAT_ID_RGB24).rgb);
    }
    ASSERT_EQ(Host("audio in.avi --ss 00:00:00.1 --to 0.2 --out range.wav").status, 0);
    EXPECT_EQ(ReadWav(file("range.wav")).bytes,
              ReadSamplesDirectly(file("in.avi"), 2205, 2205, FORMAT_ID_PCM16));

    const HostRun cut = Host("convert in.avi cut.avi -c DIB --ss 0:00.12 -t 0.12");
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.out.find("0.12 s to 0.24 s of the input: its frames 3 to 5"), std::string::npos)
        << cut.out;
    for (const uint32_t frame : {0u, 2u}) {
        EXPECT_EQ(ReadFrameDirectly(file("cut.avi"), frame, FORMAT_ID_RGB24).rgb,
                  ReadFrameDirectly(file("in.avi"), frame + 3, FORMAT_ID_RGB24).rgb);
    }
    EXPECT_EQ(HostJson("info --json cut.avi")["audio"]["sampleFrames"], 2646);
    EXPECT_EQ(ReadSamplesDirectly(file("cut.avi"), 0, 2646, FORMAT_ID_PCM8),
              ReadSamplesDirectly(file("in.avi"), 2646, 2646, FORMAT_ID_PCM8));

    const std::pair<const char*, const char*> refused[] = {
        {"frames in.avi -ss 0.4 --out none", "the time range from 0.4 s holds no frame"},
        {"audio in.avi --ss 1:2:3:4 --out none.wav", "--ss takes a time in seconds"},
        {"audio in.avi --ss 0.3 --to 0.2 --out none.wav", "--to 0.2 does not come after the start"},
        {"frames in.avi --ss 0.1 --from 2 --out none", "--from excludes --ss"},
    };
    for (const auto& [command, words] : refused) {
        const HostRun run = Host(command);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_NE(run.err.find(words), std::string::npos) << command << "\n" << run.err;
    }
}

// MP3 audio: named with its tag, offered as 16-bit PCM only, written as ffmpeg decodes it.
TEST_F(HostCommands, DecodedAudioIsNamedAndWrittenAsFfmpegDecodesIt) {
    Ffmpeg("-f lavfi -i sine=frequency=300:sample_rate=44100 -t 0.5 -ac 2 -c:a libmp3lame mp3.avi");
    const HostRun text = Host("info mp3.avi");
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* words : {"MP3 (0x0055)", "44.1 kHz, 16-bit, stereo", "offered as   PCM16\n"}) {
        EXPECT_NE(text.out.find(words), std::string::npos) << words << " in\n" << text.out;
    }
    ASSERT_EQ(Host("audio mp3.avi --out mp3.wav").status, 0);
    const Wav wav = ReadWav(file("mp3.wav"));
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string decoded = Decoded(file("mp3.avi"), "-f s16le");
    EXPECT_EQ(std::string(wav.bytes.begin(), wav.bytes.end()), decoded);
}

}  // namespace
}  // namespace zedadu::test
