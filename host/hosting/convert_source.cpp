#include "host/hosting/convert_source.h"

#include <algorithm>

#include "host/cli/text.h"
#include "host/hosting/reading.h"

namespace zedadu::host {
namespace {

using Wide = unsigned __int128;

// round(numerator / denominator), both positive.
uint64_t RoundedQuotient(Wide numerator, Wide denominator) {
    return uint64_t((2 * numerator + denominator) / (2 * denominator));
}

}  // namespace

ConvertSource::ConvertSource(const ReadingFile& in, const WritingSettings& settings,
                             const std::optional<TimeRange>& range)
    : in_(in), output_(settings.video()) {
    const auto native = NativeVideo(in.info());
    if (native && native->rate && native->scale && output_.rate && output_.scale) {
        inRate_ = native->rate;
        inScale_ = native->scale;
        outRate_ = output_.rate;
        outScale_ = output_.scale;
        const uint64_t frameCount = in.info().frameCount;
        inFrames_ = range ? UnitsInRange(*range, inRate_, inScale_, frameCount, "frame")
                          : UnitSpan{0, frameCount};
        const uint64_t frames =
            RoundedQuotient(Wide(inFrames_.count) * outRate_ * inScale_, Wide(outScale_) * inRate_);
        frames_ = uint32_t(std::min<uint64_t>(frames, UINT32_MAX));
    }
    const auto audio = NativeAudio(in.info());
    if (!audio) {
        return;
    }
    inSamples_ = range ? SamplesOfFrames(audio->sampleRate, in.info().audioLength)
                       : UnitSpan{0, in.info().audioLength};
    const AudioFormatRecord& wanted = settings.audio();
    if (audio->sampleRate != wanted.sampleRate || audio->channels != wanted.channels) {
        conversion_ = std::make_unique<AudioConversion>(in, wanted.sampleRate, wanted.channels,
                                                        inSamples_.first, inSamples_.count);
    }
}

// The sample frames from the time of the first frame recorded to the end of the last one's period.
UnitSpan ConvertSource::SamplesOfFrames(uint64_t sampleRate, uint64_t samples) const {
    const auto at = [&](uint64_t frame) {
        return std::min(RoundedQuotient(Wide(frame) * inScale_ * sampleRate, inRate_), samples);
    };
    const uint64_t first = at(inFrames_.first);
    return {first, at(inFrames_.first + inFrames_.count) - first};
}

uint64_t ConvertSource::audioLength() const {
    return conversion_ ? conversion_->length() : inSamples_.count;
}

uint32_t ConvertSource::InputFrame(uint32_t index) const {
    const Wide middle = (Wide(2) * index + 1) * outScale_ * inRate_;
    const auto input = uint64_t(middle / (Wide(2) * outRate_ * inScale_));
    return uint32_t(inFrames_.first + std::min<uint64_t>(input, inFrames_.count - 1));
}

Image ConvertSource::Frame(uint32_t index) {
    Image image = ReadPicture(in_, InputFrame(index), FrameSize{output_.width, output_.height});
    if (!delivered_) {
        delivered_ = FrameSize{image.width, image.height};
    }
    return image;
}

// RGB24 frames go over as the plug-in reads them when it delivers them at the output's size: the
// same bytes the host's own picture would give, without two copies. Other layouts keep the
// host's way (its RGB32 sets the fourth byte, which compressors may keep).
uint8_t* ConvertSource::FrameBitmap(uint32_t index, const ImageFormatStruct& format) {
    const Layout& rgb24 = *FindImageLayout("rgb24");
    if (!bitmapsAsRead_ || FieldText(format.formatId) != rgb24.formatId) {
        return nullptr;
    }
    const FrameSize size{format.width, format.height};
    ReadFrameInto(in_, InputFrame(index), rgb24, size, bitmap_);
    const ImageFormatStruct& result = bitmap_.result;
    bitmapsAsRead_ = FieldText(result.formatId) == rgb24.formatId && result.width == size.width &&
                     result.height == size.height;
    if (!delivered_) {
        delivered_ = FrameSize{result.width, result.height};
    }
    return bitmapsAsRead_ ? bitmap_.bytes.data() : nullptr;
}

void ConvertSource::Samples(uint64_t first, uint32_t count, const Layout& layout,
                            std::vector<uint8_t>& samples) {
    if (conversion_) {
        conversion_->Next(count, layout, samples);
    } else {
        ReadSamples(in_, inSamples_.first + first, count, layout, samples);
    }
}

}  // namespace zedadu::host
