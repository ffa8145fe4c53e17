// The index of a file rebuilt from its movie lists, when it has none, its index is cut short, or
// its RIFF or movie list sizes are 0 or run past its end.
#pragma once

#include <cstdint>

#include "platform/mmio/mmio.h"
#include "reader/chunk_list.h"
#include "reader/movie_walk.h"

namespace zedadu::reader {

// The streams an index is rebuilt for, by their numbers (negative: the file has no such stream).
struct IndexedStreams {
    int video;
    int audio;
};

struct RebuiltIndex {
    ChunkList video;  // flags 0: the key frames are found once the decompressor is known
    ChunkList audio;
};

// Every whole chunk of the two streams from the first movie list's first chunk on. The chunks are
// counted by a first walk and reserved once, never more than one for every 16 bytes of the file.
RebuiltIndex RebuildIndex(HMMIO file, uint64_t fileSize, WalkStart firstChunk,
                          IndexedStreams streams);

// Marks the key frames of a rebuilt video index. Chunks of kDroppedFrameBytes or less hold no
// picture and are never key frames. Uncompressed frames all are; for compressed frames the
// decompressor of the handler tells, for every chunk at once or chunk by chunk in stream order
// (ICM_DECOMPRESS_KEYFRAME_QUERY), reading each chunk once. The format is the stream's, colour
// table and extra bytes behind it; its image size is changed on the way. A decompressor that
// cannot tell leaves the rest of the chunks without a key frame: they decode from the first frame.
void FindKeyFrames(HMMIO file, FOURCC handler, BITMAPINFOHEADER& format,
                   std::vector<IndexEntry>& video, const std::vector<uint32_t>& positionHigh);

}  // namespace zedadu::reader
