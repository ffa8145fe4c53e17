// Helpers of the malformed-input suite: surgery on the chunks of a well-formed file that keeps the
// sizes of the lists around them right, a read of everything through the entry points with the
// invariants every opened file keeps, and limits on what the plug-in allocates meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

namespace zedadu::test {

// Chunks are named by their id, or by their type for RIFF and LIST chunks; nth counts chunks of
// that name in file order. Sizes of the enclosing lists follow every change.
size_t ChunkHeader(const std::string& bytes, const std::string& name, int nth = 0);
size_t ParentHeader(const std::string& bytes, const std::string& name, int nth = 0);
void RemoveChunk(std::string& bytes, const std::string& name, int nth = 0);
void DuplicateChunk(std::string& bytes, const std::string& name, int nth = 0);
// Cuts the chunk's data to size bytes or extends it with zeros.
void ResizeChunk(std::string& bytes, const std::string& name, int nth, uint32_t size);
// The position of the size field of the chunk (for lists, the field before their type).
inline size_t SizeField(const std::string& bytes, const std::string& name, int nth = 0) {
    return ChunkHeader(bytes, name, nth) + 4;
}

// What reading a file through the entry points came to.
struct Outcome {
    bool opened = false;
    uint32_t frameCount = 0;
    uint32_t audioLength = 0;
    uint32_t videoLayouts = 0;
    uint32_t audioLayouts = 0;
    uint32_t framesRead = 0;   // frames delivered, in every offered layout
    std::string firstFrame;    // frame 0 as RGB32, when delivered
    std::string firstSamples;  // the first samples in the file's own layout, when delivered
};

// Opens the file, reads frames (the first few and the last, in every offered layout, through a
// host buffer of kHostBufferBytes) and audio (at the start, the middle, across and past the end),
// and closes it. Checks what every opened file must keep (sound offered layouts, silence past the
// end) and that no allocation is larger than the file and the host's buffer justify.
inline constexpr size_t kHostBufferBytes = 256 << 10;
Outcome ReadThrough(const std::string& path);

}  // namespace zedadu::test
