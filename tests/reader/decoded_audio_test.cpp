// Audio that is not 8/16-bit PCM, as ffmpeg writes it into AVI files, read through the entry points
// as 16-bit PCM and compared with ffmpeg's own decode of the same file.
#include <gtest/gtest.h>

#include <random>

#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

struct Track {
    std::string name;
    std::string encode;  // ffmpeg's audio options
    uint16_t channels;
    uint32_t rate;
    const char* description;
    // Largest sample difference of a run read alone against the same samples of a decode from the
    // track's start: 0 where the decoder keeps no state beyond a few frames, else its rounding.
    int runTolerance = 0;
};

// Steady tones rather than noise: lossy coders replace noise by noise of their own, drawn from a
// generator that runs through the whole track.
std::string Tones(uint16_t channels) {
    std::string expressions;
    for (uint16_t c = 0; c < channels; ++c) {
        expressions += (c ? "|" : "") + std::string("0.4*sin(2*PI*") +
                       std::to_string(330 + 110 * c) + "*t)+0.2*sin(2*PI*" +
                       std::to_string(2500 + 300 * c) + "*t)";
    }
    return expressions;
}

std::vector<int16_t> Read(const ReadingFile& file, uint32_t first, uint32_t count,
                          uint16_t channels, uint32_t expectDelivered) {
    std::vector<uint8_t> buffer(size_t(count) * channels * 2, 0xA5);
    AudioSamplesRequest request = SamplesRequest(first, count, FORMAT_ID_PCM16, buffer);
    EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1) << first;
    EXPECT_EQ(request.samplesDelivered, expectDelivered) << first;
    EXPECT_STREQ(request.result.formatId, FORMAT_ID_PCM16);
    std::vector<int16_t> samples(buffer.size() / 2);
    memcpy(samples.data(), buffer.data(), buffer.size());
    return samples;
}

int LargestDifference(const std::vector<int16_t>& ours, const int16_t* theirs) {
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        worst = std::max(worst, std::abs(int(ours[i]) - int(theirs[i])));
    }
    return worst;
}

// The whole track in order, in runs of an odd length, then runs read alone from the middle on a
// fresh handle, then a run across the end.
void ExpectTrackEqualsFfmpegDecode(const std::string& path, const Track& track) {
    const std::string decoded = Decoded(path, "-f s16le");
    const auto* reference = reinterpret_cast<const int16_t*>(decoded.data());
    const uint32_t frames = uint32_t(decoded.size() / 2 / track.channels);
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const ReadingFileInfo info = file.info();
    ASSERT_EQ(info.audioFormatCount, 1u);
    EXPECT_STREQ(info.audioFormats[0].formatId, FORMAT_ID_PCM16);
    EXPECT_EQ(info.audioFormats[0].channels, track.channels);
    EXPECT_EQ(info.audioFormats[0].sampleRate, track.rate);
    EXPECT_EQ(info.audioFormats[0].frameBytes, track.channels * 2u);
    EXPECT_STREQ(info.audioFormats[0].description, track.description);
    ASSERT_EQ(info.audioLength, frames);
    constexpr uint32_t kRun = 4999;
    for (uint32_t first = 0; first < frames; first += kRun) {
        const uint32_t count = std::min(kRun, frames - first);
        const std::vector<int16_t> ours = Read(file, first, count, track.channels, count);
        ASSERT_EQ(LargestDifference(ours, reference + size_t(first) * track.channels), 0) << first;
    }
    ReadingFile alone(path);
    std::mt19937 random(7);
    for (int i = 0; i < 3; ++i) {
        const uint32_t first = frames / 4 + random() % (frames / 2);
        const std::vector<int16_t> ours = Read(alone, first, 3001, track.channels, 3001);
        EXPECT_LE(LargestDifference(ours, reference + size_t(first) * track.channels),
                  track.runTolerance)
            << "run at " << first;
    }
    // The abrupt end of a lossy track is coded partly as noise: compared where decoding is exact.
    const std::vector<int16_t> tail = Read(alone, frames - 10, 30, track.channels, 10);
    if (track.runTolerance == 0) {
        EXPECT_EQ(LargestDifference({tail.begin(), tail.begin() + 10 * track.channels},
                                    reference + size_t(frames - 10) * track.channels),
                  0);
    }
    EXPECT_TRUE(std::all_of(tail.begin() + 10 * track.channels, tail.end(),
                            [](int16_t s) { return s == 0; }));
    std::vector<uint8_t> buffer(64);
    AudioSamplesRequest eightBits = SamplesRequest(0, 8, FORMAT_ID_PCM8, buffer);
    EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &eightBits), 0) << "8-bit is not offered";
}

TEST(DecodedAudio, EveryCodingReadsAsFfmpegDecodesIt) {
    const Track tracks[] = {
        {"mp3_cbr", "-c:a libmp3lame -b:a 128k", 2, 48000, "48KHz 16bit Stereo"},
        {"mp3_vbr", "-c:a libmp3lame -q:a 4", 2, 44100, "44KHz 16bit Stereo"},
        {"mp3_low_rate", "-c:a libmp3lame -b:a 32k", 1, 22050, "22KHz 16bit Mono"},
        // The fixed-point MPEG audio decoder carries its rounding error from sample to sample; the
        // AC-3 decoder's dither and AAC's noise bands come from a generator that runs through the
        // whole track.
        {"mp2", "-c:a mp2", 2, 48000, "48KHz 16bit Stereo", 1},
        {"ac3_5.1", "-c:a ac3", 6, 48000, "48KHz 16bit Mono", 8},
        // E-AC-3 is known by the GUID of its WAVE_FORMAT_EXTENSIBLE sub-format, which has no tag.
        {"eac3", "-c:a eac3", 2, 48000, "48KHz 16bit Stereo", 8},
        {"aac", "-c:a aac", 2, 48000, "48KHz 16bit Stereo", 2},
        // Whole chunks to the decoder, as libavformat hands them over: FLAC, Vorbis (whose parser
        // counts otherwise at the start) and WMA, which gives up its last overlap at the end.
        {"flac", "-c:a flac", 2, 44100, "44KHz 16bit Stereo"},
        {"vorbis", "-c:a libvorbis", 2, 44100, "44KHz 16bit Stereo"},
        {"wma", "-c:a wmav2", 2, 32000, "32KHz 16bit Stereo"},
        {"adpcm_ima", "-c:a adpcm_ima_wav", 2, 22050, "22KHz 16bit Stereo"},
        {"adpcm_ms", "-c:a adpcm_ms", 1, 44100, "44KHz 16bit Mono"},
        {"alaw", "-c:a pcm_alaw", 1, 8000, "8KHz 16bit Mono"},
        {"mulaw", "-c:a pcm_mulaw", 2, 16000, "16KHz 16bit Stereo"},
        {"s24", "-c:a pcm_s24le", 2, 48000, "48KHz 16bit Stereo"},
        {"f32", "-c:a pcm_f32le", 2, 48000, "48KHz 16bit Stereo"},
        {"f64", "-c:a pcm_f64le", 1, 32000, "32KHz 16bit Mono"},
        // The control: 16-bit PCM in WAVE_FORMAT_EXTENSIBLE is read as stored.
        {"s16_5.1", "-c:a pcm_s16le", 6, 48000, "48KHz 16bit Mono"},
    };
    ScratchDirectory directory;
    for (const Track& track : tracks) {
        SCOPED_TRACE(track.name);
        const std::string path = directory.file(track.name + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x32:rate=25 -f lavfi -i aevalsrc='" +
                           Tones(track.channels) + ":s=" + std::to_string(track.rate) +
                           "' -t 3 -c:v mjpeg " + track.encode + " " + path));
        ExpectTrackEqualsFfmpegDecode(path, track);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

// MP3 and AC-3 at a constant bit rate cut into chunks of 1000 bytes, as some writers store them
// (block alignment 1): frames split across chunks are found by the codec's parser, which counts
// the track's length once at open.
TEST(DecodedAudio, ChunksThatSplitFramesAreCountedByParsingOnce) {
    struct Split {
        const char* encode;
        std::string format;  // tag, channels, rate, bytes a second, block alignment 1, 0 bits
        int runTolerance;    // AC-3's dither is drawn afresh by a decoder started for a run
    };
    const std::string base = Le16(2) + Le32(44100) + Le32(8000) + Le16(1) + Le16(0);
    const std::string layer3 = Le16(12) + Le16(1) + Le32(2) + Le16(209) + Le16(1) + Le16(1393);
    const Split splits[] = {
        {"-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0 -f mp3",
         Le16(0x55) + base + layer3, 0},
        {"-c:a ac3 -b:a 96k -f ac3", Le16(0x2000) + base + Le16(0), 64},
    };
    ScratchDirectory directory;
    for (const Split& split : splits) {
        SCOPED_TRACE(split.encode);
        const std::string coded = directory.file("tones"), path = directory.file("split.avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i aevalsrc='" + Tones(2) + ":s=44100' -t 2 " + split.encode +
                           " -y " + coded));
        const std::string frames = ReadBytes(coded);
        AviSpec fixture;
        fixture.streams = {{FourCC("auds"), 0, uint32_t(frames.size()), split.format, 1, 8000}};
        for (size_t at = 0; at < frames.size(); at += 1000) {
            fixture.chunks.push_back({FourCC("00wb"), frames.substr(at, 1000)});
        }
        WriteBytes(path, fixture.build());
        ExpectTrackEqualsFfmpegDecode(
            path, {"split", "", 2, 44100, "44KHz 16bit Stereo", split.runTolerance});
    }
}

// No HE-AAC encoder is at hand: the configuration ffmpeg writes for plain AAC, 24 kHz mono, ends in
// an extension that says "no band replication"; set, with 48 kHz as the replicated rate, the
// decoder delivers 48 kHz and, as parametric stereo may follow, stereo, as for an HE-AAC track. The
// track is read at the rate and channels it decodes to, not those its format states.
TEST(DecodedAudio, AacWithBandReplicationReadsAtTheRateItDecodesTo) {
    ScratchDirectory directory;
    const std::string path = directory.file("he_aac.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i aevalsrc='" + Tones(1) + ":s=24000' -t 3 -c:a aac " + path));
    std::string bytes = ReadBytes(path);
    const std::string plain("\x13\x08\x56\xE5\x00", 5);
    const size_t config = bytes.find(plain);
    ASSERT_NE(config, std::string::npos) << "ffmpeg wrote another configuration";
    bytes[config + 4] = char(0x98);  // band replication present, at rate index 3: 48 kHz
    WriteBytes(path, bytes);
    ExpectTrackEqualsFfmpegDecode(path, {"he_aac", "", 2, 48000, "48KHz 16bit Stereo", 2});
}

// The bytes of a chunk of the movie list, found by walking it: its payload's offset and size.
std::pair<size_t, uint32_t> MovieChunk(const std::string& bytes, const std::string& id, int nth) {
    size_t at = bytes.find("movi") + 4;
    while (at + 8 <= bytes.size()) {
        const uint32_t size = U32At(bytes, at + 4);
        if (bytes.compare(at, 4, id) == 0 && nth-- == 0) {
            return {at + 8, size};
        }
        at += 8 + size + (size & 1);
    }
    return {0, 0};
}

// An AAC chunk garbled past decoding (ffmpeg reports the error and skips it) is silence in its
// place, and a run that reaches it delivers only the sample frames before it.
TEST(DecodedAudio, AChunkTheDecoderRefusesIsSilenceNotDelivered) {
    ScratchDirectory directory;
    const std::string path = directory.file("aac.avi");
    ASSERT_TRUE(
        Ffmpeg("-f lavfi -i aevalsrc='" + Tones(2) + ":s=48000' -t 1 -c:a aac -b:a 128k " + path));
    std::string bytes = ReadBytes(path);
    const auto [garbled, size] = MovieChunk(bytes, "00wb", 5);
    ASSERT_GT(size, 0u);
    for (size_t i = garbled; i < garbled + size; ++i) {
        bytes[i] = char(bytes[i] ^ 0x5A);
    }
    WriteBytes(path, bytes);
    constexpr uint32_t kBad = 5 * 1024, kFrame = 1024;  // one AAC frame a chunk
    ReadingFile file(path);
    ASSERT_TRUE(file.opened());
    const uint32_t frames = file.info().audioLength;
    const std::vector<int16_t> whole = Read(file, 0, frames, 2, kBad);
    EXPECT_TRUE(std::all_of(whole.begin() + kBad * 2, whole.begin() + (kBad + kFrame) * 2,
                            [](int16_t s) { return s == 0; }));
    EXPECT_GT(LargestDifference(std::vector<int16_t>(kFrame * 2, 0),
                                whole.data() + kBad * 2 + kFrame * 2),
              1000);  // sound again after it
    Read(file, kBad + kFrame, 3000, 2, 3000);
    Read(file, kBad - 100, 3000, 2, 100);
}

}  // namespace
}  // namespace zedadu::test
