// The formats this host hands to the plug-in with request 0, and how it reports the formats the
// plug-in settles on.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "host/cli/report.h"
#include "host/hosting/plugin.h"

namespace zedadu::host {

// The key-frame interval that leaves every key frame but the first to the compressor: the plug-in
// forces one at least this often (and every frame for 0).
inline constexpr uint32_t kCompressorPlacesKeyFrames = 0x7FFFFFFF;

struct HostFormats {
    ImageFormatStruct video{};
    AudioFormatRecord audio{};
    CompressionSettings compression{};

    // The video format with the compression block attached; valid while this object lives.
    ImageFormatStruct Video() const;
};

// What works out of the box: Video 1 ("MSVC") at 720 x 480 and 29.97 frames a second,
// quality 75 (7500 in the block), a key frame every 15 frames, records padded to 512 bytes,
// audio 44.1 kHz 16-bit stereo leading the video.
HostFormats DefaultFormats();

// Runs the settings call with `request`; throws HostError when the plug-in refuses it.
void RunSettings(WritingSettings& settings, uint32_t request, const HostFormats& formats);

// Rows for the video, compression and audio of settings the plug-in returned; the audio row says
// "none" for a recording without audio.
void DescribeSettings(Section& section, const WritingSettings& settings, bool withAudio = true);

}  // namespace zedadu::host
