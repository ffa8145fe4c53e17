// A writing handle: the formats the host asked for and those written, the compressor, the file
// being written with its movie list and index, and the audio slots. Built by
// AVFILE_OpenFileForWrite (no file exists until the first frame), freed by
// AVFILE_CloseFileForWrite.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "avi/index_entry.h"
#include "core/bitmap_info.h"
#include "core/file_handle.h"
#include "core/records.h"
#include "platform/mmio/mmio.h"
#include "platform/vfw/compressor.h"
#include "writer/record_layout.h"

namespace zedadu::writer {

inline constexpr size_t kAudioSlotRingSize = 60;

// One RIFF part of a file in the OpenDML form: the first 'AVI ', then 'AVIX' parts, each with its
// own movie list. Its chunks' index entries count from its movie list's type field. The room for
// its standard indexes (and for the first part's legacy index) is reserved when the next part
// begins and filled at close.
struct MoviePart {
    uint64_t riff = 0;       // the position of "RIFF"
    uint64_t movieList = 0;  // the position of its movie list's "LIST"
    uint64_t end = 0;        // behind the part, once the next one began
    uint32_t frames = 0;     // video chunks in it
    uint32_t slotCount = 0;  // audio slots reserved in it
    uint32_t audioChunks = 0;
    size_t videoEntries = 0;  // its entries in videoIndex (with its records in the first part)
    uint64_t videoRoom = 0;   // where its standard indexes go; 0 while it is the last part
    uint64_t audioRoom = 0;
    uint64_t legacyRoom = 0;  // the first part's idx1
    uint64_t movieData() const { return movieList + 8; }
};

// A CompressionSettings block: the 148-byte header followed by the compressor's state.
class SettingsBlock {
  public:
    size_t size() const { return bytes_.size(); }
    uint8_t* data() { return bytes_.data(); }
    CompressionSettings& settings() {
        return *reinterpret_cast<CompressionSettings*>(bytes_.data());
    }
    const CompressionSettings& settings() const {
        return *reinterpret_cast<const CompressionSettings*>(bytes_.data());
    }
    // Zero-filled, at least the header; the header's headerSize is set to 148.
    void reset(size_t size) {
        bytes_.assign(std::max(size, sizeof(CompressionSettings)), 0);
        settings().headerSize = kCompressionSettingsHeaderSize;
    }

  private:
    std::vector<uint8_t> bytes_;
};

struct WritingFile : HandleHead {
    static constexpr HandleSide kSide = HandleSide::Writing;
    WritingFile() : HandleHead(kSide) {}

    char path[kPathSize] = {};
    // What the host asked for.
    ImageFormatStruct videoFormat{};  // its flags settled, without its settings block
    AudioFormatRecord audioFormat{};
    uint32_t videoFlags = 0;      // the request's flags word as it came
    uint32_t expectedFrames = 0;  // the frames the host will write
    SettingsBlock settingsBlock;  // a private copy of the request's
    Layouts accepted;             // the input layouts the writer takes
    RecordLayout layout;          // settled with the formats and the file's form

    // The formats written.
    BitmapInfo frameFormat{};       // the uncompressed frames handed to the compressor
    BitmapInfo compressedFormat{};  // what the compressor makes of them: the stream's format
    PCMWAVEFORMAT waveFormat{};
    int32_t audioFrameBytes = 0;  // bits per sample x channels / 8

    // The compressor, running from the stream start to close.
    vfw::Compressor compressor;
    uint32_t compressorFlags = 0;        // VIDCF_* of the compressor
    std::vector<uint8_t> previousFrame;  // the last frame as given, for temporal compression
    bool previousFrameValid = false;
    uint32_t framesSinceKey = 0;  // 0: the next frame is forced to be a key frame

    // The file, created by the first frame, and its movie list.
    RiffFile file;
    bool streamFailed = false;  // a failed stream start refuses every later write
    MMCKINFO riffChunk{};
    MMCKINFO movieList{};   // its data offset is the base of the index offsets
    uint64_t movieEnd = 0;  // where the next video record goes
    uint32_t frameCount = 0;
    uint32_t framesAtRefresh = 0;  // frameCount when the header list was last written
    // The OpenDML form (AVI 2.0), switched on in the settings file: RIFF parts past the first.
    bool openDml = false;
    std::vector<MoviePart> parts;
    std::vector<uint8_t> headerList;      // as last written into the header room
    std::vector<uint8_t> nextHeaderList;  // assembled here, then swapped with headerList
    int32_t maxVideoChunk = 0;
    std::vector<IndexEntry> videoIndex;  // records and video chunks, in file order
    std::vector<IndexEntry> audioIndex;  // audio chunks, in file order

    // The audio slots reserved in the movie list, filled in file order.
    int32_t audioSlotBytes = 0;  // 0 without audio
    uint32_t initialFrames = 0;  // frames of audio lead
    uint64_t audioSlotPositions[kAudioSlotRingSize] = {};
    uint32_t audioSlotFill = 0;         // ring index of the next slot to fill
    uint32_t audioSlotReserve = 0;      // ring index of the next slot to reserve
    uint32_t audioLength = 0;           // sample frames in the file
    std::vector<uint8_t> pendingAudio;  // sample frames accepted but not yet in the file
    uint32_t pendingAudioFrames = 0;
};

}  // namespace zedadu::writer
