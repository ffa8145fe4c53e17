// Which chunks of a stream decode without the chunks before them, found from the bitstream, for
// a reader that rebuilds the index of a file that lost its own.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/vfw/ffmpeg/decoder.h"

namespace zedadu::vfw::ffmpeg {

// Codecs whose every picture is coded alone answer for every chunk at once. Codecs whose
// libavcodec parser reads the picture type (MPEG-4, H.264, H.265, MPEG-1 and 2) are told by it.
// For every other codec the chunks are decoded in stream order, and a chunk whose picture the
// decoder does not mark as depending on others is decoded once more by a fresh decoder: it decodes
// alone when the two pictures are the same.
class KeyFrameProbe {
  public:
    static std::unique_ptr<KeyFrameProbe> Open(AVCodecID handlerCodec,
                                               const BITMAPINFOHEADER& header);
    ~KeyFrameProbe();
    KeyFrameProbe(const KeyFrameProbe&) = delete;
    KeyFrameProbe& operator=(const KeyFrameProbe&) = delete;

    // Whether a header describes the stream this probe was opened for (biSizeImage aside).
    bool Matches(const BITMAPINFOHEADER& header) const { return running_->Matches(header); }
    bool EveryChunkDecodesAlone() const { return intraOnly_; }
    // Chunks are inspected in stream order, each once.
    bool DecodesAlone(const uint8_t* data, size_t size);

  private:
    KeyFrameProbe() = default;
    bool ParsedAsKey(const uint8_t* data, size_t size);
    bool TrialDecodedAsKey(const uint8_t* data, size_t size);

    AVCodecID handlerCodec_ = AV_CODEC_ID_NONE;
    std::vector<uint8_t> header_;  // the format, for the fresh decoders of the trial
    std::unique_ptr<FrameDecoder> running_;
    bool intraOnly_ = false;
    AVCodecParserContext* parser_ = nullptr;
    AVCodecContext* parserContext_ = nullptr;
};

}  // namespace zedadu::vfw::ffmpeg
