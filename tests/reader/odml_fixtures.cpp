#include "tests/reader/odml_fixtures.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace zedadu::test {
namespace {

constexpr uint32_t kNotKeyFrame = 0x80000000;
constexpr size_t kDmlhBytes = 248;

int StreamOf(FOURCC id) {
    return (int(id & 0xFF) - '0') * 10 + int((id >> 8) & 0xFF) - '0';
}

FOURCC IndexChunkId(int stream) {
    return FourCC("ix00") + FOURCC(stream / 10) * 0x10000 + FOURCC(stream % 10) * 0x1000000;
}

struct IndexedChunk {
    FOURCC id;
    uint32_t flags;
    uint64_t data;
    uint32_t size;
};

// Where everything of one part lies.
struct PartLayout {
    uint64_t riff;       // the RIFF header
    uint64_t movieType;  // the movie list's type: the base of the part's standard indexes
    uint64_t movieEnd;   // behind the movie list
    std::map<int, std::vector<IndexedChunk>> streams;  // indexed chunks by stream
    std::map<int, uint64_t> standardIndexes;           // the 'ix##' chunk headers by stream
};

std::string StandardIndexData(const OdmlSpec& plan, const PartLayout& part, int stream) {
    const std::vector<IndexedChunk>& chunks = part.streams.at(stream);
    std::string data = Le16(plan.fieldIndex ? 3 : 2) + std::string(1, plan.fieldIndex ? 1 : 0) +
                       std::string(1, 1) + Le32(uint32_t(chunks.size())) + Le32(chunks[0].id);
    data += Le32(uint32_t(part.movieType)) + Le32(uint32_t(part.movieType >> 32)) + Le32(0);
    for (const IndexedChunk& chunk : chunks) {
        const auto offset = uint32_t(chunk.data - part.movieType);
        data += Le32(offset) + Le32(chunk.size | (chunk.flags & kIndexKeyFrame ? 0 : kNotKeyFrame));
        if (plan.fieldIndex) {
            data += Le32(offset + chunk.size / 2);
        }
    }
    return data;
}

uint32_t StandardIndexBytes(const OdmlSpec& plan, size_t entries) {
    return uint32_t(24 + entries * (plan.fieldIndex ? 12 : 8));
}

// The movie list contents of a part, with its standard indexes behind the chunks.
std::string MovieContents(const OdmlSpec& plan, const std::vector<ChunkSpec>& chunks,
                          const PartLayout& part) {
    std::string contents;
    for (const ChunkSpec& chunk : chunks) {
        contents += MovieChunk(chunk);
    }
    for (const auto& [stream, indexed] : part.streams) {
        contents += RiffChunk(IndexChunkId(stream), StandardIndexData(plan, part, stream));
    }
    return contents;
}

std::string SuperIndexData(const OdmlSpec& plan, const std::vector<PartLayout>& parts, int stream,
                           FOURCC chunkId) {
    if (plan.superIndex == SuperIndexKind::StandardInline) {
        return StandardIndexData(plan, parts[0], stream);
    }
    std::string entries;
    uint32_t used = 0;
    for (const PartLayout& part : parts) {
        const auto found = part.standardIndexes.find(stream);
        if (found != part.standardIndexes.end()) {
            const uint64_t at = found->second;
            entries += Le32(uint32_t(at)) + Le32(uint32_t(at >> 32));
            entries += Le32(StandardIndexBytes(plan, part.streams.at(stream).size()) + 8) +
                       Le32(uint32_t(part.streams.at(stream).size()));
            ++used;
        }
    }
    // Unused entries stay zero, as writers reserve room for more parts than they write.
    entries.resize(16 * (parts.size() + 2), '\0');
    return Le16(4) + std::string(1, plan.fieldIndex ? 1 : 0) + std::string(1, 0) + Le32(used) +
           Le32(chunkId) + std::string(12, '\0') + entries;
}

std::string HeaderList(const OdmlSpec& plan, const std::vector<PartLayout>& parts) {
    std::string contents =
        RiffChunk(FourCC("avih"), MainHeaderBytes(plan.totalFrames, plan.streams.size()));
    for (size_t s = 0; s < plan.streams.size(); ++s) {
        const StreamSpec& stream = plan.streams[s];
        std::string list = RiffChunk(FourCC("strh"), StreamHeaderBytes(stream)) +
                           RiffChunk(FourCC("strf"), stream.format);
        const auto indexed = parts[0].streams.find(int(s));
        if (plan.superIndex != SuperIndexKind::None && indexed != parts[0].streams.end()) {
            list += RiffChunk(FourCC("indx"),
                              SuperIndexData(plan, parts, int(s), indexed->second[0].id));
        }
        contents += RiffList(FourCC("strl"), list);
    }
    if (plan.dmlhFrames) {
        contents += RiffList(
            FourCC("odml"),
            RiffChunk(FourCC("dmlh"), Le32(plan.dmlhFrames) + std::string(kDmlhBytes - 4, '\0')));
    }
    return RiffList(FourCC("hdrl"), contents);
}

// Lays the chunks of a part out from the position of its movie list's type.
void LayPart(const OdmlSpec& plan, const std::vector<ChunkSpec>& chunks, PartLayout& part) {
    uint64_t at = part.movieType + 4;
    for (const ChunkSpec& chunk : chunks) {
        const uint64_t data = at + (chunk.listType ? 12 : 0) + 8;
        if (chunk.indexed) {
            part.streams[StreamOf(chunk.id)].push_back(
                {chunk.id, chunk.flags, data, uint32_t(chunk.data.size())});
        }
        at += MovieChunk(chunk).size();
    }
    for (const auto& [stream, indexed] : part.streams) {
        part.standardIndexes[stream] = at;
        at += 8 + StandardIndexBytes(plan, indexed.size());
    }
    part.movieEnd = at;
}

std::string LegacyIndex(const PartLayout& part) {
    std::vector<IndexedChunk> all;
    for (const auto& [stream, chunks] : part.streams) {
        all.insert(all.end(), chunks.begin(), chunks.end());
    }
    std::sort(all.begin(), all.end(),
              [](const IndexedChunk& a, const IndexedChunk& b) { return a.data < b.data; });
    std::string entries;
    for (const IndexedChunk& chunk : all) {
        entries += Le32(chunk.id) + Le32(chunk.flags) +
                   Le32(uint32_t(chunk.data - 8 - part.movieType)) + Le32(chunk.size);
    }
    return RiffChunk(FourCC("idx1"), entries);
}

// Every part laid out: the header list's size depends only on the number of parts and entries,
// so it is measured with the positions still unknown.
std::vector<PartLayout> Lay(const OdmlSpec& plan) {
    std::vector<PartLayout> parts(plan.parts.size());
    for (size_t p = 0; p < parts.size(); ++p) {
        LayPart(plan, plan.parts[p], parts[p]);  // positions from 0, for the counts
    }
    uint64_t at = 12 + HeaderList(plan, parts).size();
    for (size_t p = 0; p < parts.size(); ++p) {
        PartLayout& part = parts[p];
        part = {};
        part.riff = p == 0 ? 0 : at;
        const uint64_t gap = p == 0 ? 0 : 12 + (plan.gapBeforePart ? 8 + plan.gapBeforePart : 0);
        part.movieType = (p == 0 ? at : at + gap) + 8;
        LayPart(plan, plan.parts[p], part);
        at = part.movieEnd;
        if (p == 0 && plan.legacyIndex) {
            at += LegacyIndex(part).size();
        }
    }
    return parts;
}

}  // namespace

std::string FileImage::bytes() const {
    std::string whole(size_t(size), '\0');
    for (const auto& [at, piece] : pieces) {
        whole.replace(size_t(at), piece.size(), piece);
    }
    return whole;
}

void WriteImage(const std::string& path, const FileImage& image) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0) << path;
    for (const auto& [at, piece] : image.pieces) {
        ASSERT_EQ(pwrite(file, piece.data(), piece.size(), off_t(at)), ssize_t(piece.size()));
    }
    ASSERT_EQ(ftruncate(file, off_t(image.size)), 0);
    close(file);
}

FileImage OdmlSpec::build() const {
    const std::vector<PartLayout> parts = Lay(*this);
    FileImage image;
    for (size_t p = 0; p < parts.size(); ++p) {
        const PartLayout& part = parts[p];
        const std::string movie =
            RiffList(FourCC("movi"), MovieContents(*this, this->parts[p], part));
        std::string body;
        if (p == 0) {
            body = HeaderList(*this, parts) + movie + (legacyIndex ? LegacyIndex(part) : "");
            image.pieces.push_back({0, RiffChunk(FourCC("RIFF"), Le32(FourCC("AVI ")) + body)});
            continue;
        }
        const uint64_t gap = gapBeforePart ? 8 + gapBeforePart : 0;
        const auto riffSize = uint32_t(4 + gap + movie.size());
        image.pieces.push_back({part.riff, "RIFF" + Le32(riffSize) + "AVIX"});
        if (gap) {
            image.pieces.push_back({part.riff + 12, "JUNK" + Le32(uint32_t(gapBeforePart))});
        }
        image.pieces.push_back({part.riff + 12 + gap, movie});
    }
    const auto& [lastAt, lastPiece] = image.pieces.back();
    image.size = lastAt + lastPiece.size();
    return image;
}

std::vector<PlacedChunk> OdmlSpec::placed() const {
    std::vector<PlacedChunk> chunks;
    const std::vector<PartLayout> laid = Lay(*this);
    for (size_t p = 0; p < laid.size(); ++p) {
        uint64_t at = laid[p].movieType + 4;
        for (const ChunkSpec& chunk : parts[p]) {
            chunks.push_back(
                {chunk.id, at + (chunk.listType ? 12 : 0) + 8, uint32_t(chunk.data.size())});
            at += MovieChunk(chunk).size();
        }
        for (const auto& [stream, header] : laid[p].standardIndexes) {
            chunks.push_back({IndexChunkId(stream), header + 8,
                              StandardIndexBytes(*this, laid[p].streams.at(stream).size())});
        }
    }
    return chunks;
}

OdmlSpec NineFramesInThreeParts(bool alternateKeys) {
    OdmlSpec plan;
    plan.totalFrames = 3;
    plan.dmlhFrames = 9;
    plan.streams = {{FourCC("vids"), FourCC("DIB "), 9, BitmapFormat(4, 2, 24)},
                    {FourCC("auds"), 0, 30, WaveFormat(1, 8000, 8)}};
    for (int p = 0; p < 3; ++p) {
        std::vector<ChunkSpec> part;
        for (int f = 0; f < 3; ++f) {
            const int frame = 3 * p + f;
            const bool key = !alternateKeys || frame % 2 == 0;
            part.push_back(
                {FourCC("00db"), std::string(24, char('a' + frame)), key ? kIndexKeyFrame : 0u});
        }
        part.push_back({FourCC("01wb"), std::string(10, char('0' + p))});
        plan.parts.push_back(part);
    }
    return plan;
}

}  // namespace zedadu::test
