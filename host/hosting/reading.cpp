#include "host/hosting/reading.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "platform/hostlib/hostlib.h"

namespace zedadu::host {

std::optional<ImageFormatStruct> NativeVideo(const ReadingFileInfo& info) {
    if (info.frameCount == 0 || info.videoFormatCount == 0 || !info.videoFormats) {
        return std::nullopt;
    }
    return info.videoFormats[0];
}

std::optional<AudioFormatRecord> NativeAudio(const ReadingFileInfo& info) {
    if (info.audioLength == 0 || info.audioFormatCount == 0 || !info.audioFormats) {
        return std::nullopt;
    }
    return info.audioFormats[0];
}

bool OffersLayout(const ReadingFileInfo& info, const Layout& layout) {
    for (uint32_t i = 0; i < info.videoFormatCount && info.videoFormats; ++i) {
        if (FieldText(info.videoFormats[i].formatId) == layout.formatId) {
            return true;
        }
    }
    for (uint32_t i = 0; i < info.audioFormatCount && info.audioFormats; ++i) {
        if (FieldText(info.audioFormats[i].formatId) == layout.formatId) {
            return true;
        }
    }
    return false;
}

std::string OfferedImageLayouts(const ReadingFileInfo& info) {
    std::string names;
    for (uint32_t i = 0; i < info.videoFormatCount && info.videoFormats; ++i) {
        if (const Layout* layout = FindImageLayout(FieldText(info.videoFormats[i].formatId))) {
            names += std::string(names.empty()                    ? ""
                                 : i + 1 == info.videoFormatCount ? " or "
                                                                  : ", ") +
                     layout->name;
        }
    }
    return names.empty() ? "none" : names;
}

namespace {

// Bytes that hold any image the plug-in may deliver for a request of `wanted`: at that size, at
// the file's own (a decompressor that does not scale), or at the box grown to the picture's shape
// (one that scales keeping it), in the widest layout, with a spare pixel a row for padding.
size_t DeliveryCapacity(const ImageFormatStruct& native, FrameSize wanted) {
    const uint64_t width = std::max<uint64_t>(
        {uint64_t(wanted.width), uint64_t(native.width),
         (uint64_t(wanted.height) * uint64_t(native.width) + uint64_t(native.height) - 1) /
             std::max<uint64_t>(uint64_t(native.height), 1)});
    const uint64_t height = std::max<uint64_t>(
        {uint64_t(wanted.height), uint64_t(native.height),
         (uint64_t(wanted.width) * uint64_t(native.height) + uint64_t(native.width) - 1) /
             std::max<uint64_t>(uint64_t(native.width), 1)});
    return size_t(width + 1) * 4 * size_t(height + 1);
}

}  // namespace

void ReadFrameInto(const ReadingFile& file, uint32_t index, const Layout& layout,
                   std::optional<FrameSize> size, DeliveredFrame& frame) {
    const std::optional<ImageFormatStruct> native = NativeVideo(file.info());
    if (!native) {
        throw HostError(file.path() + " has no video");
    }
    const FrameSize wanted = size.value_or(FrameSize{native->width, native->height});
    const size_t capacity =
        std::min<size_t>(DeliveryCapacity(*native, wanted), std::numeric_limits<uint32_t>::max());
    if (frame.bytes.size() != capacity) {
        frame.bytes.resize(capacity);
    }
    ImageFrameRequest request{};
    request.size = sizeof request;
    request.frameNumber = index;
    request.buffer = frame.bytes.data();
    request.bufferSize = uint32_t(capacity);
    request.requested =
        ImageFormat(layout, wanted.width, wanted.height, native->rate, native->scale);
    request.requested.flags = native->flags;
    if (!file.Read(request) || request.result.imageSize > capacity) {
        throw HostError(Text("the plug-in could not read frame %u of %s as %s", index,
                             file.path().c_str(), layout.label));
    }
    frame.result = request.result;
}

DeliveredFrame ReadFrame(const ReadingFile& file, uint32_t index, const Layout& layout,
                         std::optional<FrameSize> size) {
    DeliveredFrame frame;
    ReadFrameInto(file, index, layout, size, frame);
    frame.bytes.resize(frame.result.imageSize);
    return frame;
}

Image ReadPicture(const ReadingFile& file, uint32_t index, std::optional<FrameSize> size) {
    const DeliveredFrame frame = ReadFrame(file, index, *FindImageLayout("rgb24"), size);
    Image image;
    if (!FromBitmap(frame.result, frame.bytes.data(), frame.bytes.size(), image)) {
        throw HostError(Text("frame %u of %s came as %s, which is no RGB picture", index,
                             file.path().c_str(), LayoutLabel(frame.result.formatId).c_str()));
    }
    return image;
}

namespace {

uint32_t ReadSamplesAsOffered(const ReadingFile& file, uint64_t first, uint32_t count,
                              const Layout& layout, std::vector<uint8_t>& samples) {
    const std::optional<AudioFormatRecord> native = NativeAudio(file.info());
    if (!native || first > std::numeric_limits<uint32_t>::max()) {
        throw HostError(file.path() + " has no audio there");
    }
    samples.assign(size_t(count) * native->channels * layout.bytes, 0);
    AudioSamplesRequest request{};
    request.firstSample = uint32_t(first);
    request.sampleCount = count;
    request.buffer = samples.data();
    request.bufferSize = uint32_t(samples.size());
    request.requested = AudioFormat(layout, native->channels, native->sampleRate);
    if (!file.Read(request)) {
        throw HostError(Text("the plug-in could not read %u sample frames from %llu of %s as %s",
                             count, static_cast<unsigned long long>(first), file.path().c_str(),
                             layout.label));
    }
    return request.samplesDelivered;
}

}  // namespace

uint32_t ReadSamples(const ReadingFile& file, uint64_t first, uint32_t count, const Layout& layout,
                     std::vector<uint8_t>& samples) {
    if (OffersLayout(file.info(), layout) || layout.bytes != 1) {
        return ReadSamplesAsOffered(file, first, count, layout, samples);
    }
    // 8-bit samples of a 16-bit file: the plug-in offers samples only as they are stored (and
    // widened), so the host narrows them itself with its library's conversion.
    std::vector<uint8_t> wide;
    const uint32_t delivered =
        ReadSamplesAsOffered(file, first, count, *FindAudioLayout("pcm16"), wide);
    std::vector<int16_t> words(wide.size() / 2);
    memcpy(words.data(), wide.data(), wide.size());
    samples.resize(words.size());
    ConvertAudio16To8(words.data(), samples.data(), uint32_t(words.size()));
    return delivered;
}

}  // namespace zedadu::host
