// What the host learns about a file by walking its RIFF structure itself, beside the plug-in:
// whether it is an AVI file at all, the codes of its streams, and which index a reading of it
// uses. The walk reads chunk headers and a few fixed fields only; every size a file claims is
// bounded by the file's real size before it moves the walk, and nothing is allocated because of
// it, so a hostile file costs at most a bounded number of small reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace zedadu::host {

enum class IndexKind {
    kOpenDml,  // the stream lists carry 'indx' super indexes
    kLegacy,   // an 'idx1' index covers the movie data
    kRebuilt,  // no index, or one that stops before the movie data ends: found by walking the file
};

// "OpenDML", "legacy", "rebuilt from the file".
const char* IndexKindName(IndexKind kind);

struct StreamCodes {
    FOURCC type = 0;          // "vids", "auds", ...
    FOURCC handler = 0;       // the stream header's handler code
    uint32_t format = 0;      // video: the bitmap's compression code; audio: the wave format tag
    bool superIndex = false;  // an 'indx' chunk in the stream list
    uint32_t scale = 0;       // the stream header's time base (scale / rate seconds) and its length
    uint32_t rate = 0;
    uint32_t length = 0;
    uint32_t sampleRate = 0;  // audio: the format's sample frames a second
    int32_t width = 0;        // video: the bitmap's size
    int32_t height = 0;
    uint32_t channels = 0;  // audio
    uint32_t bits = 0;
};

struct AviScan {
    enum class Verdict { kAvi, kNotRiff, kNotAvi };
    Verdict verdict = Verdict::kNotRiff;
    FOURCC form = 0;  // the RIFF form type ("AVI ", "WAVE", ...)
    std::vector<StreamCodes> streams;
    IndexKind index = IndexKind::kRebuilt;

    // The video stream's codec: its bitmap compression code, "DIB " for uncompressed bitmaps.
    std::optional<FOURCC> VideoCodec() const;
    // The audio stream's wave format tag.
    std::optional<uint16_t> AudioTag() const;
    // What the headers promise: the video stream's frames, and the sample frames of PCM audio
    // (0 where the headers cannot say in those units).
    uint64_t PromisedFrames() const;
    uint64_t PromisedSampleFrames() const;
};

// Nothing when the file cannot be opened for reading.
std::optional<AviScan> ScanAvi(const std::string& path);

}  // namespace zedadu::host
