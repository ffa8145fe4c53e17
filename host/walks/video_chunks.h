// The chunks of a file's video stream in the order its movie lists hold them, with the stream's
// format: what `check` hands the compressor layer, chunk by chunk, to hear which ones it reports
// as damaged. Like the host's other walks it bounds every size the file claims by the file's real
// size before it moves on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/vfw/compressor.h"

namespace zedadu::host {

class FileBytes;

struct VideoChunk {
    uint64_t position;  // of the chunk's data
    uint32_t size;
};

struct VideoChunks {
    // The stream's 'strf' (bitmap header, extra bytes, colour table), padded with zeros to the
    // most a decompressor reads of a format.
    std::vector<uint8_t> format;
    std::vector<VideoChunk> chunks;
};

// Every whole chunk of the first video stream in the movie lists of the 'AVI ' form and of the
// 'AVIX' parts that follow it, records included, up to `most` + 1 of them (so that a file of tiny
// chunks costs no more memory than the frames expected); nothing when the file has no video
// stream with a bitmap format.
std::optional<VideoChunks> FindVideoChunks(const FileBytes& file, size_t most);

// The compressor layer's word on each chunk of the video stream, decoded in order without drawing,
// as the plug-in decodes them when it reads on. The plug-in delivers a picture for a damaged chunk
// all the same (a decompressor's result is not its to judge), so a host that wants to know asks
// the layer itself.
class DamageFinder {
  public:
    // Null when the stream is uncompressed, no decompressor takes it, or its movie lists do not
    // hold `frames` chunks, the frames the plug-in reads (then chunk n need not be frame n).
    static std::unique_ptr<DamageFinder> Open(const std::string& path, uint32_t frames);
    ~DamageFinder();
    DamageFinder(const DamageFinder&) = delete;
    DamageFinder& operator=(const DamageFinder&) = delete;

    // Decodes the chunk of the next frame; true when the decompressor reports it as damaged or it
    // cannot be read. Chunks of 2 bytes or less are dropped frames, never damaged.
    bool NextDamaged();

  private:
    DamageFinder() = default;
    bool Begin();

    VideoChunks stream_;
    std::unique_ptr<FileBytes> file_;
    vfw::Compressor decompressor_;
    BITMAPINFOHEADER output_{};     // 24-bit pictures at the stream's size
    std::vector<uint8_t> picture_;  // room for one, which a hurried decode does not fill
    std::vector<uint8_t> chunk_;
    size_t next_ = 0;
};

}  // namespace zedadu::host
