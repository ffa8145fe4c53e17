#include <cstring>

#include "platform/audio/audio_decoder.h"
#include "platform/win32/byte_order.h"

namespace zedadu::audio {
namespace {

constexpr size_t kBaseBytes = 16;
constexpr size_t kCbSizeEnd = 18;
constexpr size_t kExtensibleBytes = 22;  // valid bits, channel mask, sub-format GUID

// The GUIDs of the sub-formats that carry a format tag, {tttt0000-0000-0010-8000-00AA00389B71},
// from their third byte on.
constexpr uint8_t kTagGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// WAVE_FORMAT_EXTENSIBLE: the channel mask, the sub-format's GUID and the tag it carries, and the
// codec's setup bytes behind the extension.
void ReadExtension(std::span<const uint8_t> extra, WaveFormat& format) {
    if (extra.size() < kExtensibleBytes) {
        return;
    }
    format.channelMask = LoadU32(extra.data() + 2);
    memcpy(format.subFormat.data(), extra.data() + 6, format.subFormat.size());
    const bool carriesTag =
        memcmp(format.subFormat.data() + 2, kTagGuidTail, sizeof kTagGuidTail) == 0;
    format.tag = carriesTag ? LoadU16(extra.data() + 6) : 0;
    format.extra = extra.subspan(kExtensibleBytes);
}

}  // namespace

bool ReadWaveFormat(std::span<const uint8_t> bytes, WaveFormat& format) {
    if (bytes.size() < kBaseBytes) {
        return false;
    }
    format = WaveFormat{};
    const uint8_t* base = bytes.data();
    format.tag = LoadU16(base);
    format.channels = LoadU16(base + 2);
    format.sampleRate = LoadU32(base + 4);
    format.bytesPerSecond = LoadU32(base + 8);
    format.blockAlign = LoadU16(base + 12);
    format.bitsPerSample = LoadU16(base + 14);
    if (bytes.size() < kCbSizeEnd) {
        return true;
    }
    // cbSize may claim more than the chunk holds: only the bytes present are used.
    const size_t claimed = LoadU16(base + kBaseBytes);
    std::span<const uint8_t> extra = bytes.subspan(kCbSizeEnd);
    extra = extra.first(std::min(claimed, extra.size()));
    if (format.tag == kWaveFormatExtensible) {
        ReadExtension(extra, format);
    } else {
        format.extra = extra;
    }
    return true;
}

bool IsPlainPcm(const WaveFormat& format) {
    return format.tag == kWaveFormatPcm &&
           (format.bitsPerSample == 8 || format.bitsPerSample == 16);
}

}  // namespace zedadu::audio
