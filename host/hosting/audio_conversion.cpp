#include "host/hosting/audio_conversion.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/hosting/reading.h"
#include "platform/hostlib/hostlib.h"

namespace zedadu::host {
namespace {

constexpr uint32_t kInputBlockFrames = 8192;

}  // namespace

AudioConversion::AudioConversion(const ReadingFile& in, uint32_t sampleRate, uint32_t channels,
                                 uint64_t first, uint64_t count)
    : in_(in),
      inChannels_(0),
      outChannels_(channels),
      length_(0),
      inputRead_(first),
      inputEnd_(first + count) {
    const auto native = NativeAudio(in.info());
    if (!native || native->sampleRate == 0) {
        throw HostError(in.path() + " has no audio to convert");
    }
    inChannels_ = native->channels;
    const uint64_t inRate = native->sampleRate;
    length_ = (count * sampleRate * 2 + inRate) / (2 * inRate);
    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, int(inChannels_));
    av_channel_layout_default(&outLayout, int(outChannels_));
    const bool ready =
        swr_alloc_set_opts2(&resampler_, &outLayout, AV_SAMPLE_FMT_S16, int(sampleRate), &inLayout,
                            AV_SAMPLE_FMT_S16, int(inRate), 0, nullptr) >= 0 &&
        swr_init(resampler_) >= 0;
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (!ready) {
        swr_free(&resampler_);
        throw HostError(
            Text("cannot convert the audio of %s from %u Hz and %u channels to %u Hz "
                 "and %u channels",
                 in.path().c_str(), native->sampleRate, inChannels_, sampleRate, channels));
    }
}

AudioConversion::~AudioConversion() {
    swr_free(&resampler_);
}

// Converts input blocks until `wanted` samples wait, or the input is used up and the resampler
// has given out what it held back.
void AudioConversion::Refill(size_t wanted) {
    const Layout& pcm16 = *FindAudioLayout("pcm16");
    while (pending_.size() < wanted && !flushed_) {
        const uint64_t left = inputEnd_ - inputRead_;
        const auto frames = uint32_t(std::min<uint64_t>(left, kInputBlockFrames));
        if (frames > 0) {
            ReadSamples(in_, inputRead_, frames, pcm16, input_);
            inputRead_ += frames;
        }
        const int room = swr_get_out_samples(resampler_, int(frames));
        const size_t before = pending_.size();
        pending_.resize(before + size_t(std::max(room, 0)) * outChannels_);
        auto* out = reinterpret_cast<uint8_t*>(pending_.data() + before);
        const uint8_t* input = input_.data();
        const int made =
            swr_convert(resampler_, &out, room, frames ? &input : nullptr, int(frames));
        if (made < 0) {
            throw HostError("libswresample failed to convert the audio of " + in_.path());
        }
        pending_.resize(before + size_t(made) * outChannels_);
        flushed_ = frames == 0 && made == 0;
    }
}

void AudioConversion::Next(uint32_t count, const Layout& layout, std::vector<uint8_t>& samples) {
    const size_t wanted = size_t(count) * outChannels_;
    Refill(wanted);
    std::vector<int16_t> words(wanted, 0);
    const size_t taken = std::min(wanted, pending_.size());
    std::copy_n(pending_.begin(), taken, words.begin());
    pending_.erase(pending_.begin(), pending_.begin() + ptrdiff_t(taken));
    if (layout.bytes == 2) {
        samples.resize(wanted * 2);
        memcpy(samples.data(), words.data(), samples.size());
        return;
    }
    samples.resize(wanted);
    ConvertAudio16To8(words.data(), samples.data(), uint32_t(wanted));
}

}  // namespace zedadu::host
