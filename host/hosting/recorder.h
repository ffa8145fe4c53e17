// Recording through the plug-in the way a host records: one video frame after another, and after
// each frame the audio that belongs to its period, in blocks of about one frame period.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/hosting/plugin.h"
#include "host/media/image.h"
#include "host/media/layouts.h"

namespace zedadu::host {

// What is recorded; frames and samples are asked for in recording order.
class RecordingSource {
  public:
    virtual ~RecordingSource() = default;
    virtual uint32_t frameCount() const = 0;
    // Sample frames, at the output's rate and channel count; 0 for no audio.
    virtual uint64_t audioLength() const = 0;
    // Frame `index`; pictures of another size than the output's are resized.
    virtual Image Frame(uint32_t index) = 0;
    // Frame `index` as a bitmap of `format` (its layout and size) when the source has it so as it
    // stands, with room for the plug-in to convert it in place into a wider layout; null when
    // only Frame() gives it. The bitmap stays valid until the next call.
    virtual uint8_t* FrameBitmap(uint32_t, const ImageFormatStruct&) { return nullptr; }
    virtual void Samples(uint64_t first, uint32_t count, const Layout& layout,
                         std::vector<uint8_t>& samples) = 0;
};

struct RecordingResult {
    std::string path;  // the final name
    uint32_t frames = 0;
    uint64_t sampleFrames = 0;
    uint64_t fileBytes = 0;
    double seconds = 0.0;    // wall-clock time of the recording
    std::string videoInput;  // the layouts handed to the plug-in
    std::string audioInput;
};

struct RecordingRequest {
    std::string path;
    bool askBeforeReplacing = false;
    std::string progressLabel;  // shown beside the progress bar
    bool openDml = false;       // the plug-in's OpenDML writing switched on for this file
};

// Throws HostError when the plug-in refuses the file, a frame or a sample block; a file the
// plug-in opened is removed again when the recording fails, so that no half file is left.
RecordingResult Record(const Plugin& plugin, const WritingSettings& settings,
                       const RecordingRequest& request, RecordingSource& source);

}  // namespace zedadu::host
