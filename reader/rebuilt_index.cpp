#include "reader/rebuilt_index.h"

#include <algorithm>
#include <vector>

#include "avi/ids.h"
#include "platform/vfw/compressor.h"
#include "reader/file_bytes.h"

namespace zedadu::reader {
namespace {

constexpr uint64_t kBytesPerChunk = 16;  // what a chunk takes at least, header and pad included
constexpr LRESULT kDecodesAlone = 1;

void MarkEveryPicture(std::vector<IndexEntry>& video) {
    for (IndexEntry& entry : video) {
        entry.flags = entry.size > kDroppedFrameBytes ? kIndexKeyFrame : 0;
    }
}

// Asks chunk by chunk, in stream order, until the decompressor cannot tell.
void AskChunkByChunk(HMMIO file, const vfw::Compressor& decompressor, BITMAPINFOHEADER& format,
                     std::vector<IndexEntry>& video, const std::vector<uint32_t>& positionHigh) {
    std::vector<uint8_t> chunk;
    for (size_t i = 0; i < video.size(); ++i) {
        const ChunkPlace place = PlaceOf(video, positionHigh, i);
        if (place.size <= kDroppedFrameBytes) {
            continue;
        }
        chunk.resize(place.size);
        if (ReadAt(file, uint64_t(place.position), chunk.data(), chunk.size()) != chunk.size()) {
            return;
        }
        format.biSizeImage = place.size;
        const LRESULT answer =
            decompressor.send(ICM_DECOMPRESS_KEYFRAME_QUERY, &format, chunk.data());
        if (answer < 0) {
            return;
        }
        video[i].flags = answer == kDecodesAlone ? kIndexKeyFrame : 0;
    }
}

}  // namespace

RebuiltIndex RebuildIndex(HMMIO file, uint64_t fileSize, WalkStart firstChunk,
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

void FindKeyFrames(HMMIO file, FOURCC handler, BITMAPINFOHEADER& format,
                   std::vector<IndexEntry>& video, const std::vector<uint32_t>& positionHigh) {
    if (handler == avi::kUncompressedHandler) {
        MarkEveryPicture(video);
        return;
    }
    const vfw::Compressor decompressor(handler, ICMODE_DECOMPRESS);
    if (!decompressor) {
        return;
    }
    format.biSizeImage = 0;
    const LRESULT every = decompressor.send(ICM_DECOMPRESS_KEYFRAME_QUERY, &format);
    if (every == kDecodesAlone) {
        MarkEveryPicture(video);
    } else if (every == 0) {
        AskChunkByChunk(file, decompressor, format, video, positionHigh);
    }
}

}  // namespace zedadu::reader
