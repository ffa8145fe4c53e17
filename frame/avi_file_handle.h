// The handle record of both sides: a reading handle (open for read) and a writing handle (open
// for write) are the same record type, tagged "AVI " in its first four bytes. The host holds it as
// an opaque pointer; fields only one side uses stay zero on the other.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/index_entry.h"
#include "frame/records.h"
#include "platform/mmio/mmio.h"
#include "platform/vfw/vfw.h"

namespace zedadu {

inline constexpr uint32_t kHandleTag = FourCC("AVI ");
inline constexpr size_t kBitmapInfoSize = 1120;  // bitmap header, extra format bytes and palette
inline constexpr size_t kAudioSlotRingSize = 60;

// A bitmap format: its header, then any extra format bytes and the colour table.
struct BitmapInfo {
    BITMAPINFOHEADER header;
    uint8_t extra[kBitmapInfoSize - sizeof(BITMAPINFOHEADER)];
};
static_assert(sizeof(BitmapInfo) == kBitmapInfoSize);

// A CompressionSettings block: the 148-byte header followed by the compressor's state.
class SettingsBlock {
  public:
    bool empty() const { return bytes_.empty(); }
    size_t size() const { return bytes_.size(); }
    uint8_t* data() { return bytes_.data(); }
    CompressionSettings* settings() {
        return reinterpret_cast<CompressionSettings*>(bytes_.data());
    }
    const CompressionSettings* settings() const {
        return reinterpret_cast<const CompressionSettings*>(bytes_.data());
    }
    // Zero-filled; the header's headerSize is set to 148.
    void reset(size_t size) {
        bytes_.assign(std::max(size, sizeof(CompressionSettings)), 0);
        settings()->headerSize = kCompressionSettingsHeaderSize;
    }

  private:
    std::vector<uint8_t> bytes_;
};

struct AviFileHandle {
    uint32_t tag = 0;
    char path[kPathSize] = {};
    int32_t audioFrameBytes = 0;  // bits per sample x channels / 8 of the audio stream
    FOURCC videoHandler = 0;
    ImageFormatStruct videoFormat{};
    AudioFormatRecord audioFormat{};
    AudioFormatRecord audioOutputs[2]{};
    uint32_t audioOutputCount = 0;
    ImageFormatStruct videoOutputs[4]{};
    uint32_t videoOutputCount = 0;
    uint32_t frameCount = 0;
    uint32_t audioLength = 0;
    PCMWAVEFORMAT waveFormat{};
    BitmapInfo sourceBitmapInfo{};  // reading: the stream's format; writing: the compressed format
    BitmapInfo outputBitmapInfo{};  // reading: asked of the decompressor; writing: the frame format
    HIC decompressor = nullptr;     // writing: the open compressor
    int32_t lastRequestedHeight = 0;
    int32_t lastRequestedWidth = 0;
    std::vector<IndexEntry> audioIndex;
    std::vector<IndexEntry> videoIndex;
    int32_t maxAudioChunk = 0;
    int32_t maxVideoChunk = 0;
    int32_t readSpan = 0;
    HMMIO mmioFile = nullptr;
    uint32_t lastWriteTime[2] = {};
    SettingsBlock codecInfo;
    bool topDownRows = false;                 // reading: uncompressed rows stored top row first
    std::vector<uint64_t> audioFramesBefore;  // reading: audio frames before each audio chunk
    WORD decompressorWantedBits = 0;          // reading: the layout the decompressor was set up
    DWORD decompressorWantedCompression = 0;  // for, which its output may differ from

    // Writing side only.
    std::vector<uint8_t> previousFrame;
    bool previousFrameValid = false;
    uint32_t audioSlotPositions[kAudioSlotRingSize] = {};
    uint32_t movieEnd = 0;
    uint32_t framesSinceKey = 0;
    uint32_t initialFrames = 0;
    uint32_t audioSlotFill = 0;
    uint32_t audioSlotReserve = 0;
    MMCKINFO movieList{};
    MMCKINFO riffChunk{};
    uint32_t compressorFlags = 0;
    uint32_t videoFlags = 0;
    uint32_t expectedFrames = 0;
    uint32_t pendingAudioFrames = 0;
    std::vector<uint8_t> pendingAudio;
    bool streamFailed = false;  // writing: a failed stream start refuses every later write
};

// A handle from the host is usable when it is not null and carries the tag.
inline AviFileHandle* CheckedHandle(void* handle) {
    if (!handle) {
        return nullptr;
    }
    uint32_t tag;
    memcpy(&tag, handle, sizeof tag);
    return tag == kHandleTag ? static_cast<AviFileHandle*>(handle) : nullptr;
}

}  // namespace zedadu
