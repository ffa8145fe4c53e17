// A reading handle: what opening a file found in it, what the host is offered, and the state of
// decoding its frames. Created by AVFILE_OpenFileForRead, freed by AVFILE_CloseReadingFile.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "avi/index_entry.h"
#include "core/bitmap_info.h"
#include "core/file_handle.h"
#include "core/records.h"
#include "platform/audio/audio_decoder.h"
#include "platform/mmio/mmio.h"
#include "platform/vfw/compressor.h"
#include "reader/image_layouts.h"

namespace zedadu::reader {

// The index split by stream, with absolute data positions, and the limits derived from it. Entries
// hold the low 32 bits of a position; the high ones are kept beside them only once a position
// passes 4 GiB (see ChunkList), so they are found through ChunkAt.
struct StreamIndex {
    std::vector<IndexEntry> video;
    std::vector<IndexEntry> audio;
    std::vector<uint32_t> videoPositionHigh;
    std::vector<uint32_t> audioPositionHigh;
    bool rebuilt = false;                     // walked from the movie lists, key frames to be found
    std::vector<uint64_t> audioFramesBefore;  // before each audio chunk, then the total
    int32_t maxVideoChunk = 0;
    int32_t maxAudioChunk = 0;
    int32_t readSpan = 0;  // what one video read may span, clamped to the file's size
};

// The audio decoder of a track that is not 8/16-bit PCM, and what it decoded last: the sample
// frames that end where the chunks decoded so far end, so that a run that follows the last one
// goes on decoding where it stopped.
struct AudioDecoding {
    std::unique_ptr<audio::AudioDecoder> decoder;  // set at open for decoded tracks only
    std::vector<int16_t> decoded;                  // interleaved, ending at the next chunk's start
    size_t nextChunk = 0;                          // the chunk to decode next
    bool started = false;                          // whether the decoder holds a run's state
    std::vector<size_t> failedChunks;              // ascending: chunks the decoder refused
};

// The decompressor of a handle and what it was last asked for.
struct Decoding {
    vfw::Compressor decompressor;  // opened by the first compressed frame read
    int32_t lastRequestedWidth = 0;
    int32_t lastRequestedHeight = 0;
    const ImageLayout* setUpFor = nullptr;  // the layout it was set up for; its output may differ
    // A decompressor that holds pictures back: how many chunks (0 until it says so), the last
    // chunk fed (the stream's frame count and beyond stand for drains) and the frame whose picture
    // it released last.
    int32_t heldBack = 0;
    int64_t fedThrough = -1;
    int64_t releasedFrame = -1;
};

struct ReadingFile : HandleHead {
    static constexpr HandleSide kSide = HandleSide::Reading;
    ReadingFile() : HandleHead(kSide) {}

    char path[kPathSize] = {};
    uint32_t lastWriteTime[2] = {};
    RiffFile file;  // opened by the first frame or sample read, closed with the handle

    // The video stream.
    FOURCC videoHandler = 0;    // the decompressor's handler; "DIB " for uncompressed frames
    BitmapInfo streamFormat{};  // the stream's format, its handler settled
    bool topDownRows = false;   // uncompressed rows stored top row first
    uint32_t frameCount = 0;
    // The audio stream.
    PCMWAVEFORMAT waveFormat{};
    std::vector<uint8_t> audioFormatBytes;  // the whole format chunk, within a bound
    uint32_t audioLength = 0;               // sample frames
    int32_t audioFrameBytes = 0;            // bits per sample x channels / 8 of the stored frames
    StreamIndex index;
    AudioDecoding audioDecoding;

    // What the host is offered.
    ImageFormatStruct videoFormat{};  // the native video description
    AudioFormatRecord audioFormat{};  // the native audio description
    Layouts offered;
    char decompressorName[kTextSize] = {};

    // What frames are delivered in: the decompressor's output, or the stored format when the
    // frames are uncompressed.
    BitmapInfo outputFormat{};
    Decoding decoding;
};

}  // namespace zedadu::reader
