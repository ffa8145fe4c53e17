// What a conversion records: the frames and the audio of the input at the output's frame size,
// frame rate and audio format.
//
// Time decides which input frame each output frame shows: the one on screen at the middle of the
// output frame's period. The output has as many frames as the input's duration holds at the
// output's rate, rounded to the nearest frame, so rates that differ by less than a frame over the
// clip keep every frame. Frames come from the plug-in at whatever size it delivers and are resized
// by the host when that is not the output's size. Audio of another rate or channel count is
// converted with libswresample to exactly the input's duration. A time range chooses the input's
// frames whose time falls within it, and the audio from the first of them to the end of the last.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "host/cli/time_range.h"
#include "host/hosting/audio_conversion.h"
#include "host/hosting/reading.h"
#include "host/hosting/recorder.h"

namespace zedadu::host {

class ConvertSource : public RecordingSource {
  public:
    ConvertSource(const ReadingFile& in, const WritingSettings& settings,
                  const std::optional<TimeRange>& range);

    uint32_t frameCount() const override { return frames_; }
    uint64_t audioLength() const override;
    Image Frame(uint32_t index) override;
    uint8_t* FrameBitmap(uint32_t index, const ImageFormatStruct& format) override;
    void Samples(uint64_t first, uint32_t count, const Layout& layout,
                 std::vector<uint8_t>& samples) override;

    // The input frame that output frame `index` shows.
    uint32_t InputFrame(uint32_t index) const;
    // The input's frames and sample frames that are recorded.
    UnitSpan inputFrames() const { return inFrames_; }
    UnitSpan inputSamples() const { return inSamples_; }
    // The size the plug-in delivered the first frame at, once one was read.
    std::optional<FrameSize> delivered() const { return delivered_; }
    bool audioConverted() const { return conversion_ != nullptr; }

  private:
    UnitSpan SamplesOfFrames(uint64_t sampleRate, uint64_t samples) const;

    const ReadingFile& in_;
    ImageFormatStruct output_;
    uint64_t inRate_ = 1, inScale_ = 1, outRate_ = 1, outScale_ = 1;
    uint32_t frames_ = 0;
    UnitSpan inFrames_{0, 0};
    UnitSpan inSamples_{0, 0};
    std::optional<FrameSize> delivered_;
    DeliveredFrame bitmap_;      // the frame read last as a bitmap to hand over
    bool bitmapsAsRead_ = true;  // until the plug-in delivers another layout or size
    std::unique_ptr<AudioConversion> conversion_;
};

}  // namespace zedadu::host
