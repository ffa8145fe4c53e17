// One encoding session of a built-in compressor: a libavcodec encoder with the settings the
// compressor messages gave, taking one bitmap per call and giving back one chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/vfw/ffmpeg/bitmap.h"
#include "platform/vfw/ffmpeg/codecs.h"
#include "platform/vfw/ffmpeg/state.h"

namespace zedadu::vfw::ffmpeg {

inline constexpr int kDefaultQuality = 7500;
// Extra format bytes a compressor writes at most: callers keep output formats in 1064 bytes.
inline constexpr size_t kMaxOutputExtradata = 1024;
inline constexpr int kDefaultKeyInterval = 15;

struct EncoderSettings {
    int width;
    int height;
    AVPixelFormat pixelFormat;  // what the encoder takes
    OptionValues options;       // from the compressor state
    int quality;                // 0..10000
    int keyInterval;            // frames from one key frame to the next, at least 1
    int64_t dataRate;           // bytes a second; 0 for no limit
    AVRational frameRate;       // frames a second

    // Whether two settings give the same output format (the extra data and bit count).
    bool SameFormat(const EncoderSettings& other) const {
        return width == other.width && height == other.height && pixelFormat == other.pixelFormat &&
               options == other.options;
    }
    bool operator==(const EncoderSettings& other) const {
        return SameFormat(other) && quality == other.quality && keyInterval == other.keyInterval &&
               dataRate == other.dataRate && av_cmp_q(frameRate, other.frameRate) == 0;
    }
};

class FrameEncoder {
  public:
    // Null when the encoder refuses the settings.
    static std::unique_ptr<FrameEncoder> Open(const CompressorSpec& entry,
                                              const EncoderSettings& settings,
                                              const CompressorState& state);
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    const EncoderSettings& Settings() const { return settings_; }
    WORD BitCount() const;
    std::span<const uint8_t> Extradata() const;

    // Compresses one bitmap of any accepted layout of the session's size (another size is
    // ICERR_BADFORMAT), cropped or padded to the size the encoder codes. A forced key frame is
    // one; the chunk flags say AVIIF_KEYFRAME exactly when the chunk decodes alone. Where the
    // compressor meets byte budgets, the frame is re-encoded coarser until it fits dwFrameSize
    // (and the data rate's share of a frame); when even the coarsest frame does not fit, the
    // coarsest is delivered.
    LRESULT Compress(const ICCOMPRESS& request);

  private:
    FrameEncoder(const CompressorSpec& entry, const EncoderSettings& settings,
                 const CompressorState& state);
    bool OpenContext();
    void SetQuality();
    AVFrame* WritableFrame();
    bool TakePicture(const BitmapLayout& input, const uint8_t* bits);
    int ConversionBands(const BitmapLayout& input, int height) const;
    bool ConvertInBands(const BitmapLayout& input, const uint8_t* bits, int width, int height,
                        int bands);
    LRESULT Deliver(const ICCOMPRESS& request) const;
    bool Encode(bool forceKey, int frameQuality);
    bool EncodeKeyHonestly(bool forceKey, int frameQuality);
    bool FitBudget(bool forceKey, int quality, size_t budget);
    size_t FrameBudget(DWORD frameSize) const;
    int FrameQuality(int quality) const;
    bool IsKey() const;

    const CompressorSpec& spec_;
    EncoderSettings settings_;
    CompressorState state_;
    FrameSize coded_;  // what the encoder codes: the frame cropped or padded
    bool intraOnly_ = false;
    AVCodecContext* context_ = nullptr;
    // Pictures for the encoder, which may hold on to the last ones it was given: one it holds is
    // never written, and a free one is taken instead of allocating or copying.
    std::vector<AVFrame*> frames_;
    AVFrame* frame_ = nullptr;  // the picture being encoded
    AVPacket* packet_ = nullptr;
    AVPacket* fitting_ = nullptr;
    int64_t nextPts_ = 0;
    PictureScaler scaler_;
    std::vector<std::unique_ptr<PictureScaler>> bandScalers_;  // one for each band converted
};

}  // namespace zedadu::vfw::ffmpeg
