#include "reader/rebuilt_index.h"

#include <algorithm>

#include "reader/movie_walk.h"

namespace zedadu::reader {
namespace {

constexpr uint64_t kBytesPerChunk = 16;  // what a chunk takes at least, header and pad included

}  // namespace

bool DataFollowsIndex(HMMIO file, uint64_t fileSize, IndexedStreams streams, uint64_t videoEnd,
                      uint64_t audioEnd) {
    const uint64_t from = std::min(videoEnd, audioEnd);
    if (from == kNoEnd) {
        return false;
    }
    bool follows = false;
    WalkMovieLists(file, fileSize, from, [&](const WalkedChunk& chunk) {
        follows = (chunk.stream == streams.video && chunk.data > videoEnd) ||
                  (chunk.stream == streams.audio && chunk.data > audioEnd);
        return !follows;
    });
    return follows;
}

RebuiltIndex RebuildIndex(HMMIO file, uint64_t fileSize, uint64_t firstChunk,
                          IndexedStreams streams) {
    size_t videoChunks = 0, audioChunks = 0;
    WalkMovieLists(file, fileSize, firstChunk, [&](const WalkedChunk& chunk) {
        videoChunks += chunk.stream == streams.video;
        audioChunks += chunk.stream == streams.audio;
        return true;
    });
    const auto most = size_t(std::min<uint64_t>(fileSize / kBytesPerChunk, UINT32_MAX));
    RebuiltIndex index;
    index.video.reserve(std::min(videoChunks, most));
    index.audio.reserve(std::min(audioChunks, most));
    WalkMovieLists(file, fileSize, firstChunk, [&](const WalkedChunk& chunk) {
        ChunkList* list = chunk.stream == streams.video   ? &index.video
                          : chunk.stream == streams.audio ? &index.audio
                                                          : nullptr;
        if (list && list->size() < most) {
            list->append(chunk.id, 0, chunk.data, chunk.size);
        }
        return true;
    });
    return index;
}

}  // namespace zedadu::reader
