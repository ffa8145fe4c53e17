// The layouts a host names by identifier string, and the format records it builds from them.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"

namespace zedadu::host {

struct Layout {
    const char* name;      // "rgb24": the host's own word for it, on the command line and in JSON
    const char* label;     // "RGB24": how reports show it
    const char* formatId;  // the identifier string that crosses the boundary
    uint32_t bytes;        // per pixel (images) or per sample (audio)
};

// Image layouts, then audio layouts, as the host knows them.
const Layout* FindImageLayout(const std::string& nameOrId);
const Layout* FindAudioLayout(const std::string& nameOrId);
// The label of any identifier, or the identifier itself when the host does not know it.
std::string LayoutLabel(const char* formatId);

// Bytes of one bitmap row: pixels times bytes, rounded up to whole 32-bit words.
uint32_t BitmapRowBytes(int32_t width, uint32_t bytesPerPixel);

ImageFormatStruct ImageFormat(const Layout& layout, int32_t width, int32_t height, uint32_t rate,
                              uint32_t scale);
AudioFormatRecord AudioFormat(const Layout& layout, uint32_t channels, uint32_t sampleRate);

struct FrameSize {
    int32_t width;
    int32_t height;
};

}  // namespace zedadu::host
