#include "tests/writer/open_dml_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/win32/types.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

uint64_t U64At(const std::string& bytes, size_t at) {
    return U32At(bytes, at) | uint64_t(U32At(bytes, at + 4)) << 32;
}

bool IsStreamChunk(const std::string& id) {
    return isdigit(uint8_t(id[0])) && isdigit(uint8_t(id[1]));
}

// Counts the chunks of a movie list (and of its records) between two positions.
void WalkMovieList(const std::string& b, size_t at, size_t end, OpenDmlPart& part) {
    while (at + 8 <= end) {
        const std::string id = Id(b, at);
        const uint32_t size = U32At(b, at + 4);
        if (id == "LIST" && Id(b, at + 8) == "rec ") {
            ++part.legacyChunks;
            WalkMovieList(b, at + 12, at + 8 + size, part);
        } else if (IsStreamChunk(id)) {
            ++part.legacyChunks;
            part.videoChunks += id[1] == '0' ? 1 : 0;
        }
        at += 8 + size + (size & 1);
    }
}

// Checks a standard index against the chunks it names, and the super index entry that names it
// (the index chunk's bytes, and for video its frames); returns their positions and bytes.
void ReadStandardIndex(const std::string& b, size_t superEntry, char stream,
                       std::vector<uint64_t>& chunks, uint64_t& sampleBytes) {
    const uint64_t at = U64At(b, superEntry);
    ASSERT_LE(at + 32, b.size());
    EXPECT_EQ(Id(b, size_t(at)), std::string("ix0") + stream);
    EXPECT_EQ(U32At(b, size_t(at + 8)), 0x01000002u);  // two longs an entry, index of chunks
    const uint32_t count = U32At(b, size_t(at + 12));
    const uint64_t base = U64At(b, size_t(at + 20));
    EXPECT_EQ(U32At(b, size_t(at + 4)), 24 + 8 * count);
    EXPECT_EQ(U32At(b, superEntry + 8), 32 + 8 * count) << "the super index names its size";
    if (stream == '0') {
        EXPECT_EQ(U32At(b, superEntry + 12), count) << "and its frames";
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = size_t(at + 32 + 8 * i);
        const uint64_t data = base + U32At(b, entry);
        const uint32_t size = U32At(b, entry + 4) & 0x7FFFFFFF;
        ASSERT_LE(data + size, b.size());
        EXPECT_EQ(Id(b, size_t(data - 8)).substr(0, 2), std::string("0") + stream) << data;
        EXPECT_EQ(U32At(b, size_t(data - 4)), size) << data;
        EXPECT_TRUE(chunks.empty() || chunks.back() < data - 8);
        chunks.push_back(data - 8);
        sampleBytes += size;
    }
}

// The stream lists' super indexes and the counts of the header list.
void ReadHeaders(const std::string& b, OpenDmlFile& file) {
    const size_t headerEnd = 20 + U32At(b, 16);
    file.firstPartFrames = U32At(b, 48);
    uint64_t audioBytes = 0;
    uint32_t blockAlign = 1;
    char stream = '0';
    for (size_t at = 88; at + 8 <= headerEnd;) {
        const std::string id = Id(b, at);
        const uint32_t size = U32At(b, at + 4);
        if (id == "LIST") {
            at += 12;
            continue;
        }
        if (id == "strh") {
            stream = Id(b, at + 8) == "vids" ? '0' : '1';
            (stream == '0' ? file.videoLength : file.audioLength) = U32At(b, at + 8 + 32);
        } else if (id == "strf" && stream == '1') {
            blockAlign = U32At(b, at + 8 + 12) & 0xFFFF;
        } else if (id == "indx") {
            const uint32_t parts = U32At(b, at + 12);
            EXPECT_EQ(U32At(b, at + 8), 4u);  // four longs an entry, index of indexes
            for (uint32_t p = 0; p < parts; ++p) {
                std::vector<uint64_t> chunks;
                uint64_t bytes = 0;
                ReadStandardIndex(b, at + 32 + 16 * p, stream,
                                  stream == '0' ? file.videoChunks : chunks, bytes);
                audioBytes += stream == '1' ? bytes : 0;
            }
        } else if (id == "dmlh") {
            file.grandFrames = U32At(b, at + 8);
        }
        at += 8 + size + (size & 1);
    }
    file.audioFrames = audioBytes / blockAlign;
}

}  // namespace

OpenDmlFile ParseOpenDml(const std::string& b) {
    OpenDmlFile file;
    for (size_t at = 0; at + 12 <= b.size();) {
        const uint32_t size = U32At(b, at + 4);
        EXPECT_EQ(Id(b, at), "RIFF");
        EXPECT_EQ(Id(b, at + 8), file.parts.empty() ? "AVI " : "AVIX");
        OpenDmlPart part{size + 8ull};
        const size_t end = at + 8 + size;
        for (size_t inner = at + 12; inner + 8 <= end;) {
            const uint32_t innerSize = U32At(b, inner + 4);
            if (Id(b, inner) == "LIST" && Id(b, inner + 8) == "movi") {
                WalkMovieList(b, inner + 12, inner + 8 + innerSize, part);
            } else if (Id(b, inner) == "idx1") {
                file.legacyEntries = innerSize / 16;
            }
            inner += 8 + innerSize + (innerSize & 1);
        }
        file.parts.push_back(part);
        at = end;
    }
    EXPECT_EQ(b.size(), [&] {
        uint64_t total = 0;
        for (const OpenDmlPart& part : file.parts)
            total += part.bytes;
        return total;
    }());
    ReadHeaders(b, file);
    return file;
}

void ExpectGStreamerReadsWhole(const std::string& path, uint32_t frames, double seconds,
                               bool countFrames) {
    if (Run("command -v gst-discoverer-1.0").status != 0) {
        return;  // GStreamer's tools are not installed here
    }
    const CommandResult discovered = Run("gst-discoverer-1.0 '" + path + "'");
    unsigned hours = 0, minutes = 0;
    double secondsPart = 0;
    const size_t at = discovered.output.find("Duration: ");
    ASSERT_NE(at, std::string::npos) << discovered.output;
    ASSERT_EQ(sscanf(discovered.output.c_str() + at, "Duration: %u:%u:%lf", &hours, &minutes,
                     &secondsPart),
              3);
    EXPECT_NEAR(hours * 3600.0 + minutes * 60.0 + secondsPart, seconds, seconds / frames)
        << discovered.output;
    if (countFrames) {
        const CommandResult counted =
            Run("gst-launch-1.0 -v filesrc location='" + path +
                "' ! avidemux name=d d.video_0 ! fakesink silent=false 2>&1 | grep -c 'chain  '");
        EXPECT_EQ(counted.output, std::to_string(frames) + "\n");
    }
}

}  // namespace zedadu::test
