// The installed video compressors as a host on the original platform learns them from its
// video-compressor layer: the driver list names them (the enumeration a host does with ICInfo),
// ICGetInfo gives each one's name and capabilities, and ICM_COMPRESS_QUERY, asked with sample
// formats, which frame sizes and colour depths it takes. Nothing here restates what a compressor
// takes: the layer is asked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/media/layouts.h"
#include "platform/win32/types.h"

namespace zedadu::host {

struct InstalledCompressor {
    FOURCC code = 0;
    std::string name;    // the compressor's description
    uint32_t flags = 0;  // the VIDCF_* capabilities of ICGetInfo

    bool uncompressed() const;
    bool takesQuality() const;
    bool takesKeyFrames() const;
    bool takesDataRate() const;
    // "MJPG (Motion JPEG)", or the name alone when it names the code: "Video 1 (MSVC)".
    std::string label() const;
};

// Each compressor of the driver list once, in list order, then "Uncompressed RGB" ("DIB ").
std::vector<InstalledCompressor> InstalledCompressors();

// Each driver of the driver list that opens for decompression, once, in list order: one code for
// each codec the layer decodes (it decodes the other codes of those codecs too).
std::vector<InstalledCompressor> InstalledDecompressors();

// The compressor of this code, when one opens for compression ("DIB " always does).
std::optional<InstalledCompressor> CompressorOf(FOURCC code);

// By its code or its name, both ignoring case; null when no compressor has either.
const InstalledCompressor* FindCompressor(const std::vector<InstalledCompressor>& compressors,
                                          const std::string& codeOrName);

// Whether the compressor takes frames of this size and colour depth as input.
bool TakesFrames(const InstalledCompressor& compressor, FrameSize size, uint32_t depth);

struct CompressorAbilities {
    bool options = false;          // it has a configuration box for options of its own
    std::vector<FrameSize> sizes;  // the sizes probed that it takes, in the order probed
    bool anySize = false;          // it takes every size probed, odd ones included
    std::vector<uint32_t> depths;  // of 32, 24 and 16 bits
};

// Asks the compressor about the usual frame sizes and two irregular ones, and about the colour
// depths at the first usual size it takes.
CompressorAbilities ProbeCompressor(const InstalledCompressor& compressor);

// Of the usual frame sizes, those the compressor takes at this depth, as "720 x 480, 720 x 576".
std::string UsualSizesTaken(const InstalledCompressor& compressor, uint32_t depth);

}  // namespace zedadu::host
