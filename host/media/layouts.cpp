#include "host/media/layouts.h"

#include <cstring>
#include <iterator>

#include "host/cli/text.h"

namespace zedadu::host {
namespace {

constexpr Layout kImageLayouts[] = {
    {"rgb32", "RGB32", FORMAT_ID_RGB32, 4},
    {"rgb24", "RGB24", FORMAT_ID_RGB24, 3},
    {"yuy2", "YUY2", FORMAT_ID_YUY2, 2},
    {"rgb16", "RGB16", FORMAT_ID_RGB16, 2},
};

constexpr Layout kAudioLayouts[] = {
    {"pcm16", "PCM16", FORMAT_ID_PCM16, 2},
    {"pcm8", "PCM8", FORMAT_ID_PCM8, 1},
};

// Identifiers are compared exactly; the host's own names ignore case.
template <size_t N>
const Layout* Find(const Layout (&layouts)[N], const std::string& nameOrId) {
    for (const Layout& layout : layouts) {
        if (nameOrId == layout.formatId || strcasecmp(nameOrId.c_str(), layout.name) == 0) {
            return &layout;
        }
    }
    return nullptr;
}

// Image flags of the writing side's formats, which the host's own formats follow.
constexpr uint32_t kWritingImageFlags = 0x10000002;
constexpr uint32_t kWritingAudioFlags = 0x10000000;

}  // namespace

const Layout* FindImageLayout(const std::string& nameOrId) {
    return Find(kImageLayouts, nameOrId);
}

const Layout* FindAudioLayout(const std::string& nameOrId) {
    return Find(kAudioLayouts, nameOrId);
}

std::string LayoutLabel(const char* formatId) {
    const std::string id = formatId;
    if (const Layout* layout = FindImageLayout(id)) {
        return layout->label;
    }
    if (const Layout* layout = FindAudioLayout(id)) {
        return layout->label;
    }
    return id.empty() ? "native" : id;
}

uint32_t BitmapRowBytes(int32_t width, uint32_t bytesPerPixel) {
    return (uint32_t(width) * bytesPerPixel + 3) & ~3u;
}

ImageFormatStruct ImageFormat(const Layout& layout, int32_t width, int32_t height, uint32_t rate,
                              uint32_t scale) {
    ImageFormatStruct format{};
    format.size = sizeof format;
    format.width = width;
    format.height = height;
    SetFieldText(format.formatId, layout.formatId);
    format.rate = rate;
    format.scale = scale;
    format.imageSize = BitmapRowBytes(width, layout.bytes) * uint32_t(height);
    format.flags = kWritingImageFlags;
    SetFieldText(format.description, Text("%i x %i %s", width, height, layout.label));
    return format;
}

AudioFormatRecord AudioFormat(const Layout& layout, uint32_t channels, uint32_t sampleRate) {
    AudioFormatRecord format{};
    format.size = sizeof format;
    format.channels = channels;
    SetFieldText(format.formatId, layout.formatId);
    format.sampleRate = sampleRate;
    format.frameBytes = channels * layout.bytes;
    format.flags = kWritingAudioFlags;
    SetFieldText(format.description, AudioText(sampleRate, layout.bytes * 8, channels));
    return format;
}

}  // namespace zedadu::host
