// Reading files in the OpenDML form the long way, to check what the writer made: the RIFF parts,
// the chunks their movie lists hold, the super and standard indexes and the header counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zedadu::test {

struct OpenDmlPart {
    uint64_t bytes = 0;         // the whole RIFF part
    uint32_t videoChunks = 0;   // as its movie list holds them
    uint32_t legacyChunks = 0;  // records, video and audio chunks of the movie list
};

struct OpenDmlFile {
    std::vector<OpenDmlPart> parts;
    std::vector<uint64_t> videoChunks;  // positions of the chunks the video indexes name
    uint32_t grandFrames = 0;           // dmlh
    uint32_t firstPartFrames = 0;       // avih
    uint32_t videoLength = 0;           // strh
    uint32_t audioLength = 0;
    uint64_t audioFrames = 0;    // sample frames the audio indexes name
    uint32_t legacyEntries = 0;  // idx1 of the first part
};

// Walks the file's parts and movie lists and checks every index entry against the chunk it names
// (non-fatal expectations); the parts must cover the file exactly.
OpenDmlFile ParseOpenDml(const std::string& bytes);

// Where gst-discoverer is installed: the duration GStreamer reports is that of `frames` frames,
// within a frame; with countFrames, its AVI demuxer also delivers every frame.
void ExpectGStreamerReadsWhole(const std::string& path, uint32_t frames, double seconds,
                               bool countFrames = true);

}  // namespace zedadu::test
