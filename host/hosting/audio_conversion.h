// The audio of a file, or a run of it, at another sample rate or channel count, converted with
// libswresample while it is recorded. It lasts exactly as long as the input: the input's sample
// frames times the rate ratio, rounded to the nearest sample frame; what the resampler gives beyond
// that is dropped and what it gives short of it is silence.
#pragma once

#include <cstdint>
#include <vector>

#include "host/hosting/plugin.h"
#include "host/media/layouts.h"

struct SwrContext;

namespace zedadu::host {

class AudioConversion {
  public:
    // The input's sample frames [first, first + count). Throws HostError when libswresample
    // cannot be set up for these formats.
    AudioConversion(const ReadingFile& in, uint32_t sampleRate, uint32_t channels, uint64_t first,
                    uint64_t count);
    ~AudioConversion();
    AudioConversion(const AudioConversion&) = delete;
    AudioConversion& operator=(const AudioConversion&) = delete;

    uint64_t length() const { return length_; }
    // The next `count` sample frames in `layout`, channels interleaved; calls continue one
    // another from sample frame 0 on.
    void Next(uint32_t count, const Layout& layout, std::vector<uint8_t>& samples);

  private:
    void Refill(size_t wanted);

    const ReadingFile& in_;
    uint32_t inChannels_;
    uint32_t outChannels_;
    uint64_t length_;
    SwrContext* resampler_ = nullptr;
    uint64_t inputRead_;  // the next input sample frame
    uint64_t inputEnd_;
    bool flushed_ = false;
    std::vector<int16_t> pending_;  // converted sample frames not handed out yet, interleaved
    std::vector<uint8_t> input_;
};

}  // namespace zedadu::host
