// Reading frames and samples of an open file through the plug-in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/hosting/plugin.h"
#include "host/media/image.h"
#include "host/media/layouts.h"

namespace zedadu::host {

struct DeliveredFrame {
    ImageFormatStruct result{};  // what the plug-in says it delivered
    std::vector<uint8_t> bytes;  // result.imageSize bytes
};

// The file's own frame size and rate (from its first offered layout); nothing without video.
std::optional<ImageFormatStruct> NativeVideo(const ReadingFileInfo& info);
std::optional<AudioFormatRecord> NativeAudio(const ReadingFileInfo& info);
// Whether the file offers its frames or samples in `layout`.
bool OffersLayout(const ReadingFileInfo& info, const Layout& layout);
// The host's names of the image layouts offered: "rgb24 or rgb32".
std::string OfferedImageLayouts(const ReadingFileInfo& info);

// Frame `index` in `layout`, asked for at `size`. What comes is what `result` says: the size asked
// for, the file's own size (no decompressor, or one that does not scale) or the box grown to the
// picture's shape. Throws HostError when the plug-in refuses the frame.
DeliveredFrame ReadFrame(const ReadingFile& file, uint32_t index, const Layout& layout,
                         std::optional<FrameSize> size = std::nullopt);
// The same into a frame read before, whose buffer is reused: its bytes keep room for any image
// the plug-in may deliver (result.imageSize of them are the image), so that the plug-in or a
// compressor can convert it in place into a wider layout.
void ReadFrameInto(const ReadingFile& file, uint32_t index, const Layout& layout,
                   std::optional<FrameSize> size, DeliveredFrame& frame);
// Frame `index` as a picture, read as RGB24, at the size delivered.
Image ReadPicture(const ReadingFile& file, uint32_t index,
                  std::optional<FrameSize> size = std::nullopt);
// `count` sample frames from `first` on in `layout` (8-bit ones of a 16-bit file narrowed by the
// host library); returns how many were real samples rather than the silence past the end. Throws
// HostError when the plug-in refuses them.
uint32_t ReadSamples(const ReadingFile& file, uint64_t first, uint32_t count, const Layout& layout,
                     std::vector<uint8_t>& samples);

}  // namespace zedadu::host
