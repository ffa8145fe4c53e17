// A compressor's state: the encoder options that differ from their defaults, carried between
// sessions as a versioned little-endian block:
//   u32 magic "zvcs", u16 version 1, u16 entry count, u32 handler code,
//   then per entry u32 option id and i32 value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/vfw/ffmpeg/codecs.h"

struct AVCodecContext;

namespace zedadu::vfw::ffmpeg {

inline constexpr FOURCC kStateMagic = FourCC("zvcs");
inline constexpr uint16_t kStateVersion = 1;

using OptionValues = std::vector<std::pair<uint32_t, int32_t>>;  // option id, value

class CompressorState {
  public:
    explicit CompressorState(const CompressorSpec& entry) : spec_(&entry) {}

    size_t Size() const { return 12 + 8 * changed_.size(); }
    void Write(uint8_t* block) const;
    // Takes the options of a block and returns the bytes it used. A block for another handler or
    // version, or a malformed one, is ignored: 0, and the state stays as it was. Unknown ids and
    // values out of range are skipped, values equal to the default dropped.
    size_t Read(const uint8_t* block, size_t size);
    void Reset() { changed_.clear(); }

    const OptionValues& Changed() const { return changed_; }
    // The option's present value: as changed, else the encoder's default.
    int32_t Value(const EncoderOption& option) const;
    // A value is kept inside the option's range; the default is not kept as a change.
    void Set(const EncoderOption& option, int32_t value);
    // Sets the options on a codec context that is not open yet.
    void Apply(AVCodecContext* context) const;

  private:
    const CompressorSpec* spec_;
    OptionValues changed_;
};

}  // namespace zedadu::vfw::ffmpeg
