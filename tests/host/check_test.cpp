// zedadu-host check on captures whole, cut short, with their index gone or shortened and with
// chunks that point nowhere: the index kind found by the host's own walk of the file, the frames
// and sample frames that fail, and the exit status.
#include <regex>
#include <set>
#include <string>

#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostCheck : public HostTest {
  protected:
    // 30 Motion JPEG frames with a second of 48 kHz stereo audio, as ffmpeg writes them.
    void SetUp() override {
        HostTest::SetUp();
        Ffmpeg(
            "-f lavfi -i testsrc=size=64x48:rate=30 -f lavfi -i sine=sample_rate=48000 -t 1 "
            "-c:v mjpeg -c:a pcm_s16le -ac 2 capture.avi");
        capture_ = ReadBytes(file("capture.avi"));
    }

    // Positions of the index entries of chunks with this id.
    std::vector<size_t> EntriesOf(const std::string& id) const {
        std::vector<size_t> entries;
        const size_t index = capture_.find("idx1");
        const uint32_t count = U32At(capture_, index + 4) / 16;
        for (uint32_t i = 0; i < count; ++i) {
            if (Id(capture_, index + 8 + 16 * i) == id) {
                entries.push_back(index + 8 + 16 * i);
            }
        }
        return entries;
    }

    std::string capture_;
};

TEST_F(HostCheck, AWholeCaptureReadsCompletely) {
    const HostRun text = Host("check capture.avi");
    EXPECT_EQ(text.status, 0) << text.err;
    for (const char* words :
         {"index   legacy", "30 frames read, none failed", "48000 sample frames read, none failed",
          "every frame and sample frame read"}) {
        EXPECT_NE(text.out.find(words), std::string::npos) << words << " in\n" << text.out;
    }
    const auto json = HostJson("check --json capture.avi");
    EXPECT_EQ(json["complete"], true);
    EXPECT_EQ(json["index"], "legacy");
    EXPECT_EQ(json["frames"], 30);
    EXPECT_EQ(json["sampleFrames"], 48000);
    EXPECT_TRUE(json["failedFrames"].empty());
}

TEST_F(HostCheck, ChunksThatCannotBeReadAreNamedByNumber) {
    std::string broken = capture_;
    for (const size_t entry : {EntriesOf("00dc")[7], EntriesOf("00dc")[8], EntriesOf("01wb")[3]}) {
        SetU32(broken, entry + 8, 0x7FFFFF00);  // far past the end of the file
    }
    WriteBytes(file("broken.avi"), broken);
    const HostRun text = Host("check broken.avi capture.avi");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("2 of 30 frames failed: 7 to 8"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("some of the file cannot be read"), std::string::npos) << text.out;
    const auto json = HostJson("check --json broken.avi capture.avi", 1);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["complete"], false);
    EXPECT_EQ(json[0]["failedFrames"], nlohmann::json::parse("[[7, 8]]"));
    // The third audio chunk, found to within a 512th of a second.
    ASSERT_EQ(json[0]["failedSampleFrames"].size(), 1u);
    const auto& audio = json[0]["failedSampleFrames"][0];
    const int64_t first = audio[0], last = audio[1];
    EXPECT_LE(first, 3 * 1024);
    EXPECT_GE(last, 4 * 1024 - 1);
    EXPECT_LT(last - first, 2 * 1024);
    EXPECT_EQ(json[1]["complete"], true);
}

// An AAC chunk garbled past decoding: ffmpeg reports the error, and so does check, naming its
// sample frames to within a 512th of a second.
TEST_F(HostCheck, AudioTheDecoderRefusesIsNamedBySampleFrames) {
    Ffmpeg(
        "-f lavfi -i testsrc=size=64x48:rate=30 -f lavfi -i sine=sample_rate=48000 -t 1 "
        "-c:v mjpeg -c:a aac -ac 2 aac.avi");
    capture_ = ReadBytes(file("aac.avi"));
    const size_t entry = EntriesOf("01wb")[5];
    const size_t payload = capture_.find("movi") + U32At(capture_, entry + 8) + 8;
    for (size_t i = payload; i < payload + U32At(capture_, entry + 12); ++i) {
        capture_[i] = char(capture_[i] ^ 0x5A);
    }
    WriteBytes(file("aac.avi"), capture_);
    const auto json = HostJson("check --json aac.avi", 1);
    EXPECT_TRUE(json["failedFrames"].empty());
    ASSERT_EQ(json["failedSampleFrames"].size(), 1u);
    const int64_t first = json["failedSampleFrames"][0][0];
    const int64_t last = json["failedSampleFrames"][0][1];
    EXPECT_LE(first, 5 * 1024);
    EXPECT_GE(last, 6 * 1024 - 1);
    EXPECT_LT(last - first, 1024 + 2 * 48000 / 512);
}

// Three frames whose entropy-coded data is garbled, chunk sizes kept: 16 stuffed 0xFF bytes,
// all-ones bits that are no Huffman code. The plug-in still delivers a picture for each (what the
// decoder concealed), and check fails exactly the frames that ffmpeg cannot decode when it is told
// to stop at errors.
TEST_F(HostCheck, FramesTheDecompressorReportsAsDamagedFailAsFfmpegFindsThem) {
    std::string garbled = capture_;
    const size_t movie = capture_.find("movi");
    for (const size_t frame : {4, 11, 23}) {
        const size_t entry = EntriesOf("00dc")[frame];
        const size_t data = movie + U32At(capture_, entry + 8) + 8;
        const size_t scan = garbled.find("\xFF\xDA", data);
        const size_t coded =
            scan + 2 + (uint8_t(garbled[scan + 2]) << 8 | uint8_t(garbled[scan + 3]));
        for (size_t at = coded + 16; at < coded + 48; at += 2) {
            garbled.replace(at, 2, std::string("\xFF\x00", 2));
        }
    }
    WriteBytes(file("garbled.avi"), garbled);
    const CommandResult ffmpeg = test::Run("ffmpeg -nostdin -v info -err_detect explode -i " +
                                           file("garbled.avi") + " -vf showinfo -f null - 2>&1");
    std::set<int> decoded;  // the frames showinfo saw, by their time stamps
    const std::regex shown(R"(\] n: *[0-9]+ pts: *([0-9]+) )");
    for (auto it = std::sregex_iterator(ffmpeg.output.begin(), ffmpeg.output.end(), shown);
         it != std::sregex_iterator(); ++it) {
        decoded.insert(std::stoi((*it)[1]));
    }
    nlohmann::json undecoded = nlohmann::json::array();
    for (int frame = 0; frame < 30; ++frame) {
        if (!decoded.count(frame)) {
            undecoded.push_back({frame, frame});
        }
    }
    EXPECT_EQ(undecoded, nlohmann::json::parse("[[4, 4], [11, 11], [23, 23]]")) << ffmpeg.output;
    const auto json = HostJson("check --json garbled.avi", 1);
    EXPECT_EQ(json["failedFrames"], undecoded);
    EXPECT_TRUE(json["failedSampleFrames"].empty());
    const HostRun text = Host("check garbled.avi");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("3 of 30 frames failed: 4, 11, 23"), std::string::npos) << text.out;
    const Picture concealed = ReadFrameDirectly(file("garbled.avi"), 11, FORMAT_ID_RGB24);
    EXPECT_EQ(concealed.rgb.size(), 64u * 48 * 3) << "the plug-in still delivers the picture";
}

// Without an index, or with one that stops before the movie data ends, reading rebuilds the index
// from the file; the host says so whether or not the plug-in reads such files.
TEST_F(HostCheck, FilesWithoutAWholeIndexOrCutShortAreNamedWithWhatTheyMiss) {
    std::string noIndex = capture_;
    noIndex.replace(noIndex.find("idx1"), 4, "JUNK");
    WriteBytes(file("no-index.avi"), noIndex);
    std::string shortIndex = capture_;
    const size_t index = shortIndex.find("idx1");
    SetU32(shortIndex, index + 4, U32At(shortIndex, index + 4) / 32 * 16);
    WriteBytes(file("short-index.avi"), shortIndex);
    WriteBytes(file("cut.avi"), capture_.substr(0, capture_.size() / 2));
    // What is read and what the headers promise beyond it add up to the capture's 30 frames and
    // 48000 sample frames; the file cut short is incomplete, the one without an index is not. An
    // index that lists half the chunks is whole, and the plug-in reads the file by it.
    for (const char* name : {"no-index.avi", "short-index.avi", "cut.avi"}) {
        const bool listed = std::string(name) == "short-index.avi";
        const std::string kind = listed ? "legacy" : "rebuilt from the file";
        const auto json = HostJson(std::string("check --json ") + name, -1);
        EXPECT_EQ(json["index"], kind) << name;
        EXPECT_EQ(json["frames"].get<int>() + json["missingFrames"].get<int>(), 30) << name;
        EXPECT_EQ(json["sampleFrames"].get<int>() + json["missingSampleFrames"].get<int>(), 48000)
            << name;
        EXPECT_EQ(json["complete"], std::string(name) == "no-index.avi") << name;
        const HostRun run = Host(std::string("check ") + name);
        EXPECT_EQ(run.status, json["complete"].get<bool>() ? 0 : 1) << name;
        EXPECT_NE(run.out.find(" " + kind + "\n"), std::string::npos) << run.out;
    }
    const HostRun cut = Host("check cut.avi");
    EXPECT_NE(cut.out.find("that the headers promise are not in the file (zedadu-host repair may "
                           "help)"),
              std::string::npos)
        << cut.out;
    EXPECT_NE(cut.out.find("incomplete: the file holds less than its headers promise"),
              std::string::npos)
        << cut.out;
    const auto cutRead = HostJson("check --json cut.avi", 1);
    ASSERT_EQ(Host("repair cut.avi --yes").status, 0);
    const auto repaired = HostJson("check --json cut.avi");
    // Nothing read before is lost; the audio chunk the file was cut in keeps what it holds.
    EXPECT_EQ(repaired["frames"], cutRead["frames"]);
    EXPECT_GE(repaired["sampleFrames"].get<int>(), cutRead["sampleFrames"].get<int>());
    EXPECT_EQ(repaired["missingFrames"], 0) << "the repaired headers promise what it holds";
}

// The host's own walk of the file meets claimed sizes far past the end, lists that claim more
// than their parent, an index larger than the file and chunks of no size; it ends, reads within
// the file and says what it found.
TEST_F(HostCheck, HostileStructuresEndTheWalk) {
    const size_t hdrl = capture_.find("hdrl") - 8;
    const size_t movi = capture_.find("movi") - 8;
    const size_t index = capture_.find("idx1");
    std::string huge = capture_;
    SetU32(huge, 4, 0xFFFFFFFF);
    SetU32(huge, hdrl + 4, 0xFFFFFFF0);
    SetU32(huge, index + 4, 0xFFFFFFFF);
    std::string empty = capture_.substr(0, movi + 12);
    for (int i = 0; i < 20000; ++i) {
        empty += "JUNK" + Le32(0);
    }
    SetU32(empty, movi + 4, uint32_t(empty.size() - movi - 8));
    // A bitmap header that names 960 bytes of extra format bytes its 40-byte chunk does not hold:
    // the plug-in reads it, and so does check's own decoding of the chunks.
    std::string shortFormat = capture_;
    SetU32(shortFormat, shortFormat.find("strf") + 8, 1000);
    const std::pair<const char*, std::string> files[] = {{"huge.avi", huge},
                                                         {"empty-chunks.avi", empty},
                                                         {"header.avi", capture_.substr(0, 10)},
                                                         {"short-format.avi", shortFormat}};
    for (const auto& [name, bytes] : files) {
        WriteBytes(file(name), bytes);
        const HostRun run = Host(std::string("check ") + name);
        EXPECT_TRUE(run.status == 0 || run.status == 1) << name << "\n" << run.err;
        EXPECT_TRUE(run.out.find("result") != std::string::npos ||
                    run.err.rfind("zedadu-host: ", 0) == 0)
            << name << "\n"
            << run.out << run.err;
    }
}

}  // namespace
}  // namespace zedadu::test
