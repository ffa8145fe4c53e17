// AVI files of several RIFF parts built in code: a super index in each stream list, a standard
// index per stream at the end of each part's movie list, 'dmlh' with the total frames, and the
// legacy index over the first part. Parts may start behind a gap that is never written, so that
// files beyond 4 GiB cost no disk.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/reader/reader_fixtures.h"

namespace zedadu::test {

// A file as pieces at their positions; what lies between them is never written (a sparse file).
struct FileImage {
    std::vector<std::pair<uint64_t, std::string>> pieces;
    uint64_t size = 0;

    // The whole file in memory, for files without gaps.
    std::string bytes() const;
};
void WriteImage(const std::string& path, const FileImage& image);

enum class SuperIndexKind {
    None,           // no 'indx' chunk
    OfIndexes,      // a super index naming the standard indexes
    StandardInline  // the 'indx' chunk holds the one standard index of a one-part file
};

// Where a chunk of the file lies, for tests that change the file around it.
struct PlacedChunk {
    FOURCC id;
    uint64_t data;  // file position of the data
    uint32_t size;
};

struct OdmlSpec {
    uint32_t totalFrames = 0;  // avih
    uint32_t dmlhFrames = 0;   // 0: no 'odml' list
    std::vector<StreamSpec> streams;
    std::vector<std::vector<ChunkSpec>> parts;  // the movie chunks of each RIFF part
    SuperIndexKind superIndex = SuperIndexKind::OfIndexes;
    bool fieldIndex = false;  // standard indexes of two fields a frame (12-byte entries)
    bool legacyIndex = true;  // 'idx1' over the first part
    uint64_t gapBeforePart =
        0;  // an unwritten 'JUNK' of this size opens every part after the first

    FileImage build() const;
    // The movie chunks in file order, and the standard index chunks ("ix00").
    std::vector<PlacedChunk> placed() const;
};

// Three parts of three uncompressed 4 x 2 frames (24 bytes of 'a' to 'i') and ten 8-bit audio
// samples ('0', '1', '2'), 'dmlh' saying 9 frames; with alternateKeys every second frame is no
// key frame.
OdmlSpec NineFramesInThreeParts(bool alternateKeys = false);

}  // namespace zedadu::test
