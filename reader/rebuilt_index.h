// The index of a file rebuilt from its movie lists, when it has none or its index stops before its
// data does.
#pragma once

#include <cstdint>

#include "platform/mmio/mmio.h"
#include "reader/chunk_list.h"

namespace zedadu::reader {

// The streams an index is rebuilt for, by their numbers (negative: the file has no such stream).
struct IndexedStreams {
    int video;
    int audio;
};

// Where a stream's index ends: behind the last chunk it lists, padding included. A stream that
// the file does not have ends nowhere; one whose index lists nothing ends where the movie list
// starts.
inline constexpr uint64_t kNoEnd = UINT64_MAX;

// Whether a chunk of the video or audio stream lies behind the end of that stream's index, found
// by walking from the earlier of the two ends (for a complete index, a few chunk headers).
bool DataFollowsIndex(HMMIO file, uint64_t fileSize, IndexedStreams streams, uint64_t videoEnd,
                      uint64_t audioEnd);

struct RebuiltIndex {
    ChunkList video;  // flags 0: the key frames are found once the decompressor is known
    ChunkList audio;
};

// Every whole chunk of the two streams from the first movie list's first chunk on. The chunks are
// counted by a first walk and reserved once, never more than one for every 16 bytes of the file.
RebuiltIndex RebuildIndex(HMMIO file, uint64_t fileSize, uint64_t firstChunk,
                          IndexedStreams streams);

}  // namespace zedadu::reader
