// Files that break the format in each way a hostile or damaged file can, one table-driven test per
// class. Every case goes through the entry points (ReadThrough): it is refused cleanly or read as
// well as it can be, it never crashes, and it allocates no more than the file and the host's
// buffer justify. Each class runs over uncompressed frames and over run-length frames, which the
// compressor layer decodes.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "tests/hostile/hostile_support.h"
#include "tests/reader/odml_fixtures.h"
#include "tests/reader/reader_fixtures.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

enum class Expect { Refused, Opens, Either };

std::string Palette() {
    return Le32(0x000000) + Le32(0xFF0000) + Le32(0x00FF00) + Le32(0x0000FF);
}

// Three 4 x 2 frames, each followed by 10 sample frames of 8-bit mono audio.
AviSpec Fixture(const std::string& videoFormat, const std::string (&frames)[3]) {
    AviSpec fixture;
    fixture.totalFrames = 3;
    fixture.streams = {{FourCC("vids"), 0, 3, videoFormat},
                       {FourCC("auds"), 0, 30, WaveFormat(1, 8000, 8)}};
    for (int i = 0; i < 3; ++i) {
        fixture.chunks.push_back({FourCC("00dc"), frames[i]});
        fixture.chunks.push_back({FourCC("01wb"), std::string(10, char(100 + i))});
    }
    return fixture;
}

AviSpec Uncompressed() {
    return Fixture(BitmapFormat(4, 2, 24),
                   {std::string(24, 'a'), std::string(24, 'b'), std::string(24, 'c')});
}

// Bottom row two runs of 2 pixels of one colour, end of line, top row two runs of another, end of
// bitmap: 12 bytes, so that no decoder takes them for the 8 bytes of an uncompressed frame.
AviSpec RunLength() {
    const auto frame = [](char bottom, char top) {
        return std::string{2, bottom, 2, bottom, 0, 0, 2, top, 2, top, 0, 1};
    };
    return Fixture(BitmapFormat(4, 2, 8, BI_RLE8, 0, "", Palette()),
                   {frame(1, 2), frame(2, 3), frame(3, 1)});
}

struct Base {
    const char* name;
    AviSpec (*fixture)();
};
constexpr Base kBases[] = {{"uncompressed", &Uncompressed}, {"run-length", &RunLength}};

// The offset of a field in the data of the nth chunk of that name.
size_t DataField(const std::string& bytes, const char* chunk, int nth, size_t offset) {
    return ChunkHeader(bytes, chunk, nth) + 8 + offset;
}

// Cases name themselves with SCOPED_TRACE, so that every failure says which base and case.
class Malformed : public testing::Test {
  protected:
    Outcome Check(const std::string& bytes, Expect expect) {
        WriteBytes(path, bytes);
        const Outcome outcome = ReadThrough(path);
        if (expect != Expect::Either) {
            EXPECT_EQ(outcome.opened, expect == Expect::Opens);
        }
        return outcome;
    }
    // For cases that must read just like the well-formed fixture.
    void ExpectAsWellFormed(const Outcome& outcome, const Base& base) {
        const Outcome intact = Check(base.fixture().build(), Expect::Opens);
        EXPECT_TRUE(outcome.opened);
        EXPECT_EQ(outcome.frameCount, intact.frameCount);
        EXPECT_EQ(outcome.framesRead, intact.framesRead);
        EXPECT_EQ(outcome.firstFrame, intact.firstFrame);
        EXPECT_EQ(outcome.firstSamples, intact.firstSamples);
    }

    ScratchDirectory directory;
    std::string path = directory.file("malformed.avi");
};

std::string Times(int n, const std::string& pixel) {
    std::string pixels;
    while (n-- > 0) {
        pixels += pixel;
    }
    return pixels;
}

// Frame 0 as RGB32, bottom row first: the uncompressed bytes widened, the run-length rows in
// their palette colours.
TEST_F(Malformed, WellFormedFixturesReadWhole) {
    const std::string firstFrames[] = {
        Times(8, "aaa\xFF"),
        Times(4, std::string("\0\0\xFF\xFF", 4)) + Times(4, std::string("\0\xFF\0\xFF", 4))};
    for (size_t b = 0; b < 2; ++b) {
        SCOPED_TRACE(kBases[b].name);
        const Outcome outcome = Check(kBases[b].fixture().build(), Expect::Opens);
        EXPECT_EQ(outcome.frameCount, 3u);
        EXPECT_EQ(outcome.framesRead, 4 * outcome.videoLayouts);
        EXPECT_EQ(outcome.firstFrame, firstFrames[b]);
        EXPECT_EQ(outcome.firstSamples,
                  Times(10, "d") + Times(10, "e") + Times(10, "f") + Times(70, "\x80"));
    }
}

// Sizes 0, 1 to 3, odd, beyond the parent, beyond the file and up to 0xFFFFFFFF, in every chunk
// the reader looks at. A RIFF form longer than the file is read whole.
TEST_F(Malformed, ChunkSizesFromZeroToBeyondTheFile) {
    const std::pair<const char*, int> chunks[] = {
        {"AVI ", 0}, {"hdrl", 0}, {"avih", 0}, {"strl", 0}, {"strh", 0}, {"strf", 0},
        {"strl", 1}, {"strf", 1}, {"movi", 0}, {"00dc", 0}, {"01wb", 2}, {"idx1", 0}};
    for (const Base& base : kBases) {
        const std::string intact = base.fixture().build();
        for (const auto& [chunk, nth] : chunks) {
            const size_t field = SizeField(intact, chunk, nth);
            const uint32_t original = U32At(intact, field);
            const bool riff = std::string(chunk) == "AVI ";
            const uint32_t parent = riff ? uint32_t(intact.size())
                                         : U32At(intact, ParentHeader(intact, chunk, nth) + 4);
            for (uint32_t size :
                 {0u, 1u, 2u, 3u, original % 2 ? original + 2 : original + 1, parent + 8,
                  uint32_t(intact.size()), 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
                SCOPED_TRACE(testing::Message()
                             << base.name << " " << chunk << " " << nth << " size " << size);
                std::string bytes = intact;
                SetU32(bytes, field, size);
                const bool whole = riff && size >= original;
                const Outcome outcome = Check(bytes, whole ? Expect::Opens : Expect::Either);
                if (whole) {
                    ExpectAsWellFormed(outcome, base);
                }
            }
        }
    }
}

// A file cut anywhere (at every byte, so at every structural boundary) opens once its movie list's
// header survives, with every frame whose chunk survives whole: an index cut short or gone is
// rebuilt from the movie list.
TEST_F(Malformed, TruncatedAtEveryByte) {
    for (const Base& base : kBases) {
        const AviSpec fixture = base.fixture();
        const std::string intact = fixture.build();
        const size_t movieChunks = fixture.movieListType() + 4;
        std::vector<size_t> frameEnds;
        for (const IndexEntry& entry : fixture.entries()) {
            if (entry.chunkId == FourCC("00dc")) {
                frameEnds.push_back(fixture.movieListType() + entry.offset + 8 + entry.size);
            }
        }
        for (size_t cut = 0; cut < intact.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << base.name << " cut at " << cut);
            const Outcome outcome =
                Check(intact.substr(0, cut), cut >= movieChunks ? Expect::Opens : Expect::Refused);
            EXPECT_EQ(outcome.frameCount, std::count_if(frameEnds.begin(), frameEnds.end(),
                                                        [&](size_t end) { return end <= cut; }));
        }
    }
}

// Chunk ids and list types with zero or non-ASCII bytes are other chunks: a required one is then
// missing; a movie chunk is still read through its index entry.
TEST_F(Malformed, ChunkIdsWithZeroOrNonAsciiBytes) {
    struct Case {
        const char* chunk;
        size_t at;  // in the chunk's header: 0 to 3 the id, 8 to 11 a list's type
        char byte;
        Expect expect;
        uint32_t frames;
    };
    const Case cases[] = {
        {"AVI ", 11, '\0', Expect::Refused, 0},
        {"hdrl", 8, '\xFF', Expect::Refused, 0},
        {"avih", 0, '\0', Expect::Refused, 0},
        {"strh", 2, '\x80', Expect::Refused, 0},
        {"strf", 3, '\0', Expect::Refused, 0},
        {"movi", 11, '\xE9', Expect::Refused, 0},
        {"idx1", 0, '\0', Expect::Opens, 3},  // no index: the movie list is walked
        {"00dc", 1, '\0', Expect::Opens, 3},
        {"strh", 11, '\0', Expect::Opens, 0},  // the stream type: a stream of no known type
        {"strl", 8, '\0', Expect::Opens, 0},   // the video stream list: the audio stream is 0
    };
    for (const Base& base : kBases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << base.name << " " << c.chunk << " byte " << c.at);
            std::string bytes = base.fixture().build();
            bytes[ChunkHeader(bytes, c.chunk) + c.at] = c.byte;
            EXPECT_EQ(Check(bytes, c.expect).frameCount, c.frames);
        }
    }
}

// Without a required header the open fails; without any stream list the file offers nothing;
// without its index it reads whole, its index rebuilt from the movie list.
TEST_F(Malformed, MissingHeaders) {
    const std::pair<const char*, int> required[] = {{"hdrl", 0}, {"avih", 0}, {"strh", 0},
                                                    {"strf", 0}, {"strf", 1}, {"movi", 0}};
    for (const Base& base : kBases) {
        for (const auto& [chunk, nth] : required) {
            SCOPED_TRACE(testing::Message() << base.name << " without " << chunk << " " << nth);
            std::string bytes = base.fixture().build();
            RemoveChunk(bytes, chunk, nth);
            Check(bytes, Expect::Refused);
        }
        std::string bytes = base.fixture().build();
        RemoveChunk(bytes, "idx1", 0);
        ExpectAsWellFormed(Check(bytes, Expect::Opens), base);
        bytes = base.fixture().build();
        RemoveChunk(bytes, "strl", 1);
        RemoveChunk(bytes, "strl", 0);
        const Outcome streamless = Check(bytes, Expect::Opens);
        EXPECT_EQ(streamless.frameCount + streamless.videoLayouts + streamless.audioLayouts, 0u);
    }
}

// The first of two header lists, main headers, formats, movie lists or indexes counts, so copies
// change nothing. A copied stream list is another stream, which renumbers the streams after it.
TEST_F(Malformed, DuplicateHeaders) {
    const std::pair<const char*, int> copied[] = {{"hdrl", 0}, {"avih", 0}, {"strh", 0},
                                                  {"strf", 0}, {"movi", 0}, {"idx1", 0},
                                                  {"strl", 0}, {"strl", 1}};
    for (const Base& base : kBases) {
        for (const auto& [chunk, nth] : copied) {
            SCOPED_TRACE(testing::Message() << base.name << " two " << chunk << " " << nth);
            std::string bytes = base.fixture().build();
            DuplicateChunk(bytes, chunk, nth);
            const Outcome outcome = Check(bytes, Expect::Opens);
            if (std::string(chunk) != "strl") {
                ExpectAsWellFormed(outcome, base);
            }
        }
    }
}

// The stream count of the main header is not what the reader counts streams by.
TEST_F(Malformed, StreamCountsThatDisagreeWithTheStreamLists) {
    for (const Base& base : kBases) {
        for (uint32_t streams : {0u, 1u, 3u, 0xFFFFFFFFu}) {
            SCOPED_TRACE(testing::Message() << base.name << " " << streams << " streams");
            std::string bytes = base.fixture().build();
            SetU32(bytes, DataField(bytes, "avih", 0, 24), streams);
            ExpectAsWellFormed(Check(bytes, Expect::Opens), base);
        }
    }
}

// Missing header fields read as zero: a stream header too short for its type is no stream, one
// too short for its length takes the length from the index (video) or offers no audio. Rate and
// scale 0 change nothing the reader computes.
TEST_F(Malformed, ShortStreamHeadersAndZeroRates) {
    struct Case {
        int stream;
        uint32_t length;
        bool zeroRate;
        uint32_t frames;
        bool audio;
    };
    const Case cases[] = {{0, 0, false, 0, true},  {0, 4, false, 3, true},  {0, 35, false, 3, true},
                          {0, 63, false, 3, true}, {0, 64, true, 3, true},  {1, 0, false, 3, false},
                          {1, 4, false, 3, false}, {1, 36, false, 3, true}, {1, 64, true, 3, true}};
    for (const Base& base : kBases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << base.name << " stream " << c.stream << " header of " << c.length);
            std::string bytes = base.fixture().build();
            if (c.zeroRate) {
                SetU32(bytes, DataField(bytes, "strh", c.stream, 20), 0);
                SetU32(bytes, DataField(bytes, "strh", c.stream, 24), 0);
            }
            ResizeChunk(bytes, "strh", c.stream, c.length);
            const Outcome outcome = Check(bytes, Expect::Opens);
            EXPECT_EQ(outcome.frameCount, c.frames);
            EXPECT_EQ(outcome.audioLayouts > 0, c.audio);
        }
    }
}

// Sizes that are zero, negative or too large for any buffer: the open refuses what no frame could
// be delivered for, and any negative width or a compressed image stored top row first (a negative
// height); a frame too large for the host's buffer is refused before anything is decoded (the
// allocation checks of every case hold the decode buffer to the host's buffer).
TEST_F(Malformed, BitmapSizesZeroNegativeOrOverflowing) {
    constexpr Expect kNo = Expect::Refused, kYes = Expect::Opens, kAny = Expect::Either;
    struct Case {
        int32_t width;
        int32_t height;
        uint16_t bits;     // 0: the fixture's own
        Expect expect[2];  // uncompressed, run-length
    };
    const Case cases[] = {
        {4, 0, 0, {kAny, kAny}},         {0, 2, 0, {kYes, kAny}},
        {0, INT_MIN, 0, {kNo, kNo}},     {4, INT_MIN, 0, {kNo, kNo}},
        {-4, 2, 0, {kNo, kNo}},          {4, -2, 0, {kYes, kNo}},
        {46341, 46341, 0, {kNo, kNo}},   {65536, 65536, 32, {kNo, kNo}},
        {0x40000000, 1, 0, {kNo, kNo}},  {INT_MAX, 1, 0, {kNo, kNo}},
        {15000, 15000, 0, {kYes, kYes}}, {4, 2, 1, {kAny, kAny}},
        {4, 2, 15, {kAny, kAny}},        {4, 2, 0xFFFF, {kAny, kAny}},
    };
    for (size_t b = 0; b < 2; ++b) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << kBases[b].name << " " << c.width << " x " << c.height
                                            << " bits " << c.bits);
            std::string bytes = kBases[b].fixture().build();
            SetU32(bytes, DataField(bytes, "strf", 0, 4), uint32_t(c.width));
            SetU32(bytes, DataField(bytes, "strf", 0, 8), uint32_t(c.height));
            if (c.bits) {
                bytes.replace(DataField(bytes, "strf", 0, 14), 2, Le16(c.bits));
            }
            const Outcome outcome = Check(bytes, c.expect[b]);
            if (c.width == 0 || c.height == 0 || c.width >= 15000) {
                EXPECT_EQ(outcome.framesRead, 0u);
            }
        }
    }
}

// Colour counts beyond 256 count as 256; a header or table past the format's bytes fails the open.
TEST_F(Malformed, ColourTablesBeyondTheirCountOrTheirChunk) {
    struct Case {
        size_t field;  // in the bitmap header: 32 the colour count, 0 the header's size
        uint32_t value;
        Expect expect;
    };
    const Case cases[] = {{32, 257, Expect::Opens},   {32, 0xFFFFFFFF, Expect::Opens},
                          {32, 256, Expect::Opens},   {0, 0x10028, Expect::Refused},
                          {0, 1110, Expect::Refused}, {0, 0, Expect::Either}};
    for (const Base& base : kBases) {
        AviSpec fixture = base.fixture();
        if (base.fixture == &Uncompressed) {
            fixture.streams[0].format = BitmapFormat(4, 2, 8, 0, 0, "", Palette());
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << base.name << " " << c.field << " = " << c.value);
            std::string bytes = fixture.build();
            SetU32(bytes, DataField(bytes, "strf", 0, c.field), c.value);
            const Outcome outcome = Check(bytes, c.expect);
            if (c.expect == Expect::Opens) {
                EXPECT_EQ(outcome.frameCount, 3u);
                EXPECT_GT(outcome.framesRead, 0u);
            }
        }
    }
}

// Audio formats that say nothing usable, or whose stored frames are no whole-byte PCM frames of
// their layout (4 or 24 bits), open with their video; their samples are refused, and silence
// past the end is still delivered (ReadThrough).
TEST_F(Malformed, AudioFormatsShortOrEmpty) {
    const std::string formats[] = {
        "",
        WaveFormat(1, 8000, 8).substr(0, 2),
        WaveFormat(1, 8000, 8).substr(0, 14),
        WaveFormat(0, 8000, 8),
        WaveFormat(1, 8000, 0),
        WaveFormat(2, 8000, 4),
        // 24-bit samples under a tag no decoder takes.
        Le16(0x7777) + Le16(2) + Le32(8000) + Le32(48000) + Le16(6) + Le16(24),
        Le16(1) + Le16(65535) + Le32(8000) + Le32(0) + Le16(0) + Le16(65535),
    };
    for (const Base& base : kBases) {
        for (const std::string& format : formats) {
            SCOPED_TRACE(testing::Message() << base.name << " format " << &format - formats);
            AviSpec fixture = base.fixture();
            fixture.streams[1].format = format;
            const Outcome outcome = Check(fixture.build(), Expect::Opens);
            EXPECT_EQ(outcome.frameCount, 3u);
            EXPECT_TRUE(outcome.firstSamples.empty());
        }
    }
}

// Formats of decoded audio that lie about themselves: extra bytes claimed past the chunk, blocks of
// absurd sizes, rates and channel counts beyond reason, setup bytes that mean nothing, and chunks
// the decoder cannot decode. Each is refused (read as stored, its samples refused) or read with
// silence for what cannot be decoded.
TEST_F(Malformed, DecodedAudioFormatsThatLie) {
    const auto format = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t block,
                           uint16_t bits, const std::string& extra) {
        return Le16(tag) + Le16(channels) + Le32(rate) + Le32(16000) + Le16(block) + Le16(bits) +
               extra;
    };
    const std::string mp3Fields = Le16(1) + Le32(2) + Le16(1152) + Le16(1) + Le16(1393);
    const std::string formats[] = {
        format(0x55, 1, 8000, 1152, 0, Le16(0xFFFF) + mp3Fields),  // cbSize past the chunk
        format(0x55, 1, 8000, 1152, 0, Le16(12)),                  // cbSize with nothing behind
        format(0x11, 2, 8000, 0, 4, Le16(2) + Le16(1017)),         // IMA ADPCM without blocks
        format(0x11, 2, 8000, 65535, 4, Le16(2) + Le16(1017)),     // blocks larger than chunks
        format(0x02, 1, 8000, 10, 4, Le16(32) + std::string(32, '\xFF')),  // coefficients wrong
        format(0x55, 65535, 8000, 1152, 0, Le16(12) + mp3Fields),
        format(0x55, 1, 0xFFFFFFFF, 1152, 0, Le16(12) + mp3Fields),
        format(0xFF, 2, 8000, 1, 16, Le16(2) + "\xFF\xFF"),  // AAC configuration of nothing
        format(0x2000, 2, 8000, 3840, 0, Le16(0)),           // AC-3 chunks of garbage
        format(0x2000, 2, 8000, 1, 0, Le16(0)),              // garbage for AC-3's parser to search
        format(0x55, 2, 8000, 1, 0, Le16(12) + mp3Fields),   // and for MPEG audio's
        format(0x06, 1, 8000, 1, 8, Le16(0)),                // A-law: every byte decodes
        format(0xFFFE, 1, 8000, 3, 24, Le16(22)),            // the extension cut short
    };
    // A chunk claiming more than the file holds is not read, and counts for nothing.
    const auto claimingMore = [](const AviSpec& fixture) {
        std::vector<IndexEntry> entries = fixture.entries();
        entries[3].size = 0xFFFFFFF0;
        return fixture.build(entries);
    };
    for (const std::string& bytes : formats) {
        SCOPED_TRACE(testing::Message() << "format " << &bytes - formats);
        AviSpec fixture = Uncompressed();
        fixture.streams[1].format = bytes;
        EXPECT_EQ(Check(fixture.build(), Expect::Opens).frameCount, 3u);
        EXPECT_EQ(Check(claimingMore(fixture), Expect::Opens).frameCount, 3u);
    }
    AviSpec alaw = Uncompressed();
    alaw.streams[1].format = formats[11];
    EXPECT_EQ(Check(claimingMore(alaw), Expect::Opens).audioLength, 20u);
}

// Only whole entries the file holds are read, however many the index claims. An index that ends
// within the file is the file's index, even where it leaves chunks out (entries alternate video
// and audio); one that runs past the end of the file was cut short, and the movie list is walked.
TEST_F(Malformed, IndexSizesOddOrBeyondTheFile) {
    const std::pair<uint32_t, uint32_t> listed[] = {
        {0, 0}, {7, 0}, {16 * 3 - 1, 1}, {16 * 5 + 8, 3}};
    for (const Base& base : kBases) {
        for (const auto& [size, frames] : listed) {
            SCOPED_TRACE(testing::Message() << base.name << " index of " << size << " bytes");
            std::string bytes = base.fixture().build();
            SetU32(bytes, SizeField(bytes, "idx1"), size);
            EXPECT_EQ(Check(bytes, Expect::Either).frameCount, frames);
        }
        for (const uint32_t size : {0x7FFFFFF0u, 0xFFFFFFF0u}) {
            SCOPED_TRACE(testing::Message() << base.name << " index of " << size << " bytes");
            std::string bytes = base.fixture().build();
            SetU32(bytes, SizeField(bytes, "idx1"), size);
            ExpectAsWellFormed(Check(bytes, Expect::Opens), base);
        }
    }
}

// The entries name the file's six chunks over and over.
TEST_F(Malformed, IndexOfMillionsOfEntries) {
    constexpr uint32_t kEntries = 2000000;
    const AviSpec fixture = Uncompressed();
    const std::vector<IndexEntry> six = fixture.entries();
    std::vector<IndexEntry> entries(kEntries);
    for (uint32_t i = 0; i < kEntries; ++i) {
        entries[i] = six[i % six.size()];
    }
    const Outcome outcome = Check(fixture.build(entries), Expect::Opens);
    EXPECT_EQ(outcome.frameCount, kEntries / 2);
    EXPECT_EQ(outcome.framesRead, 2u * 4);
}

// Entries whose sizes or offsets point anywhere, run backwards, or name no stream by their digits.
// A video chunk claiming more than the file holds still reads uncompressed (no more than the
// image is read), and fails compressed; nothing is sized from the claim (ReadThrough).
TEST_F(Malformed, IndexEntriesPointingAnywhere) {
    enum Field { kSize, kSizeWithNext, kOffset, kId };
    struct Case {
        const char* what;
        size_t entry;  // 0, 2, 4 video; 1, 3, 5 audio
        Field field;
        uint32_t value;
        uint32_t frames;
        int lost[2] = {-1, -1};  // frames of the four read per layout that fail; -1: any
    };
    const Case cases[] = {
        {"video size 0", 2, kSize, 0, 3},
        {"video size 0x80000000", 2, kSize, 0x80000000, 3, {0, 1}},
        {"video size 0xFFFFFFFF", 2, kSize, 0xFFFFFFFF, 3, {0, 1}},
        {"video and audio sizes 0xFFFFFFF0", 2, kSizeWithNext, 0xFFFFFFF0, 3, {0, 1}},
        {"audio size 0", 3, kSize, 0, 3},
        {"audio size 0x80000000", 3, kSize, 0x80000000, 3},
        {"audio size 0xFFFFFFFF", 3, kSize, 0xFFFFFFFF, 3},
        {"first offset before the movie list", 0, kOffset, 0xFFFFFF00, 3},
        {"video offset before the movie list", 2, kOffset, 0xFFFFFF00, 3},
        {"audio offset past the end", 3, kOffset, 0x7FFFFF00, 3},
        {"video offset past the end", 4, kOffset, 0xFFFFFFF0, 3},
        {"decreasing offsets", 4, kOffset, 4, 3},
        {"stream id 0x", 2, kId, FourCC("0xdc"), 2},
        {"stream id :0", 2, kId, FourCC("0:dc"), 2},
        {"stream id /0", 2, kId, FourCC("0/dc"), 2},
        {"stream id with zeros", 2, kId, FourCC("0\0dc"), 2},
        {"first character ignored", 2, kId, FourCC("x0dc"), 3},
        {"video entry named as audio", 2, kId, FourCC("01wb"), 2},
    };
    for (size_t b = 0; b < 2; ++b) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << kBases[b].name << " " << c.what);
            const AviSpec fixture = kBases[b].fixture();
            std::vector<IndexEntry> entries = fixture.entries();
            IndexEntry& entry = entries[c.entry];
            (c.field == kOffset ? entry.offset
             : c.field == kId   ? entry.chunkId
                                : entry.size) = c.value;
            if (c.field == kSizeWithNext) {
                entries[c.entry + 1].size = c.value;
            }
            const Outcome outcome = Check(fixture.build(entries), Expect::Opens);
            EXPECT_EQ(outcome.frameCount, c.frames);
            if (c.lost[b] >= 0) {
                EXPECT_EQ(outcome.framesRead, (4 - c.lost[b]) * outcome.videoLayouts);
            }
        }
    }
}

// A recording stopped before it was finished: no index, RIFF and movie list sizes 0 or past the
// end, the frame counts and the audio length still 0. It reads whole, its audio as long as the
// audio present.
TEST_F(Malformed, RecordingsNeverFinished) {
    for (const Base& base : kBases) {
        for (const uint32_t listSize : {0u, 0xFFFFFFF0u}) {
            SCOPED_TRACE(testing::Message() << base.name << " list sizes " << listSize);
            std::string bytes = base.fixture().build();
            RemoveChunk(bytes, "idx1", 0);
            SetU32(bytes, DataField(bytes, "avih", 0, 16), 0);
            SetU32(bytes, DataField(bytes, "strh", 0, 32), 0);
            SetU32(bytes, DataField(bytes, "strh", 1, 32), 0);
            SetU32(bytes, SizeField(bytes, "movi"), listSize);
            SetU32(bytes, 4, listSize);  // the RIFF form's size
            const Outcome outcome = Check(bytes, Expect::Opens);
            ExpectAsWellFormed(outcome, base);
            EXPECT_EQ(outcome.audioLength, 30u);
        }
    }
}

// The fixture as a file of three RIFF parts, a frame and its audio in each: super and standard
// indexes, 'dmlh' and the legacy index over the first part.
std::string ThreeParts(const Base& base) {
    const AviSpec legacy = base.fixture();
    OdmlSpec plan;
    plan.totalFrames = 1;
    plan.dmlhFrames = 3;
    plan.streams = legacy.streams;
    for (size_t i = 0; i + 1 < legacy.chunks.size(); i += 2) {
        plan.parts.push_back({legacy.chunks[i], legacy.chunks[i + 1]});
    }
    return plan.build().bytes();
}

// Every field of the super indexes, the standard indexes of each part, 'dmlh' and the later parts'
// RIFF headers set to values that point nowhere, elsewhere or past 2^64: the file reads as it
// would whole (by its other indexes, or by a walk of its movie lists), since nothing of its data
// changed. A standard index made to list nothing in the middle of the file, and a super index that
// says fewer parts are in use, are believed (the OpenDML index is the file's), so those parts'
// chunks go unread; those files are only read safely.
TEST_F(Malformed, OpenDmlIndexesAndPartsPointingAnywhere) {
    struct Case {
        const char* chunk;
        int nth;       // super indexes: 0 video, 1 audio; standard indexes: the part
        size_t field;  // in the chunk's data
        std::vector<uint32_t> values;
        bool whole = true;
    };
    const std::vector<uint32_t> words = {0, 1, 2, 3, 4, 8, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    const Case cases[] = {
        {"indx", 0, 0, {0, 0x01000002, 0x00010004, 0x01010003, 0xFFFFFFFF}},
        {"indx", 1, 4, {0, 3, 4, 8, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}},
        {"indx", 1, 4, {1, 2}, false},
        {"indx", 0, 8, {0, FourCC("01wb")}},
        {"indx", 0, 24, words},
        {"indx", 1, 28, words},
        {"indx", 0, 40, words},
        {"ix00", 0, 0, {0, 0x01000003, 0x01010002, 0xFFFFFFFF}},
        {"ix00", 1, 4, words, false},
        {"ix01", 2, 8, {0, FourCC("00dc")}},
        {"ix00", 2, 12, words},
        {"ix01", 0, 16, words},
        {"ix00", 1, 24, words},
        {"ix00", 0, 28, words},
        {"dmlh", 0, 0, words},
        {"AVIX", 0, 0, {FourCC("AVIY"), 0}},
        {"movi", 2, 0, {FourCC("movj"), 0}},
    };
    for (const Base& base : kBases) {
        const std::string intact = ThreeParts(base);
        ExpectAsWellFormed(Check(intact, Expect::Opens), base);
        for (const Case& c : cases) {
            for (const uint32_t value : c.values) {
                SCOPED_TRACE(testing::Message() << base.name << " " << c.chunk << " " << c.nth
                                                << " field " << c.field << " = " << value);
                std::string bytes = intact;
                const bool header =
                    std::string(c.chunk) == "AVIX" || std::string(c.chunk) == "movi";
                SetU32(bytes,
                       header ? ChunkHeader(bytes, c.chunk, c.nth) + 8
                              : DataField(bytes, c.chunk, c.nth, c.field),
                       value);
                const Outcome outcome = Check(bytes, Expect::Opens);
                if (c.whole) {
                    ExpectAsWellFormed(outcome, base);
                }
            }
        }
    }
}

// Sizes of the parts' RIFF and movie lists from 0 to past the file, and the indexes or 'odml'
// gone: the file reads whole. A standard index chunk whose size breaks its movie list, and parts
// gone or doubled, are read as far as the file tells: a doubled part is in no index, and the
// OpenDML index is the file's.
TEST_F(Malformed, OpenDmlPartsOfAnySizeOrGone) {
    for (const Base& base : kBases) {
        const std::string intact = ThreeParts(base);
        for (const auto& [chunk, nth] : {std::pair{"AVIX", 0},
                                         {"AVIX", 1},
                                         {"movi", 0},
                                         {"movi", 1},
                                         {"AVI ", 0},
                                         {"indx", 0},
                                         {"ix01", 1}}) {
            for (const uint32_t size : {0u, 1u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
                SCOPED_TRACE(testing::Message()
                             << base.name << " " << chunk << " " << nth << " size " << size);
                std::string bytes = intact;
                SetU32(bytes, SizeField(bytes, chunk, nth), size);
                const Outcome outcome = Check(bytes, Expect::Either);
                const std::string name = chunk;
                if (name != "ix01" && (name != "AVI " || size == 0 || size > bytes.size())) {
                    ExpectAsWellFormed(outcome, base);
                }
            }
        }
        for (const auto& [chunk, nth] : {std::pair{"indx", 0},
                                         {"indx", 1},
                                         {"idx1", 0},
                                         {"odml", 0},
                                         {"ix00", 1},
                                         {"ix01", 2}}) {
            SCOPED_TRACE(testing::Message() << base.name << " without " << chunk << " " << nth);
            std::string bytes = intact;
            RemoveChunk(bytes, chunk, nth);
            ExpectAsWellFormed(Check(bytes, Expect::Opens), base);
        }
        std::string bytes = intact;
        RemoveChunk(bytes, "AVIX", 0);
        EXPECT_EQ(Check(bytes, Expect::Opens).frameCount, 2u);
        bytes = intact;
        DuplicateChunk(bytes, "AVIX", 1);
        EXPECT_EQ(Check(bytes, Expect::Opens).frameCount, 3u);
    }
}

// Every input that once crashed the read-path fuzz target (tests/hostile/data) stays harmless.
TEST_F(Malformed, FuzzFindingsStayHarmless) {
    const std::filesystem::path data =
        std::filesystem::path(ZEDADU_SOURCE_DIR) / "tests/hostile/data";
    size_t files = 0;
    for (const auto& file : std::filesystem::directory_iterator(data)) {
        SCOPED_TRACE(file.path().filename().string());
        std::filesystem::copy_file(file.path(), path,
                                   std::filesystem::copy_options::overwrite_existing);
        ReadThrough(path);
        ++files;
    }
    EXPECT_GE(files, 2u);
}

}  // namespace
}  // namespace zedadu::test
