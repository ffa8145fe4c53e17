// WAV files, written with libsndfile in blocks as the samples arrive.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

#include "host/media/layouts.h"

namespace zedadu::host {

class WavFile {
  public:
    // 16-bit signed or 8-bit unsigned PCM, as `layout` says; throws HostError.
    WavFile(const std::string& path, const Layout& layout, uint32_t channels, uint32_t sampleRate);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    // Sample frames in the layout's own bytes, channels interleaved.
    void Write(const uint8_t* samples, uint32_t frames);

  private:
    std::string path_;
    const Layout& layout_;
    uint32_t channels_;
    SNDFILE* file_ = nullptr;
};

}  // namespace zedadu::host
