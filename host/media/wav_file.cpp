#include "host/media/wav_file.h"

#include <cstring>
#include <vector>

#include "host/cli/errors.h"

namespace zedadu::host {

WavFile::WavFile(const std::string& path, const Layout& layout, uint32_t channels,
                 uint32_t sampleRate)
    : path_(path), layout_(layout), channels_(channels) {
    SF_INFO info{};
    info.samplerate = int(sampleRate);
    info.channels = int(channels);
    info.format = SF_FORMAT_WAV | (layout.bytes == 2 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8);
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        throw HostError("cannot write " + path + ": " + sf_strerror(nullptr));
    }
}

WavFile::~WavFile() {
    sf_close(file_);
}

void WavFile::Write(const uint8_t* samples, uint32_t frames) {
    const size_t bytes = size_t(frames) * channels_ * layout_.bytes;
    sf_count_t written = 0;
    if (layout_.bytes == 2) {
        // The plug-in's 16-bit samples are little-endian like this machine's words.
        std::vector<short> words(bytes / 2);
        memcpy(words.data(), samples, bytes);
        written = sf_write_short(file_, words.data(), sf_count_t(words.size())) * 2;
    } else {
        // 8-bit WAV samples are unsigned like the plug-in's, so they go in as they are.
        written = sf_write_raw(file_, samples, sf_count_t(bytes));
    }
    if (written != sf_count_t(bytes)) {
        throw HostError("cannot write " + path_ + ": " + sf_strerror(file_));
    }
}

}  // namespace zedadu::host
