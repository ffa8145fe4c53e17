// What one ICOpen of a built-in driver holds, and the message handlers that work on it.
#pragma once

#include <memory>
#include <optional>

extern "C" {
#include <libavutil/rational.h>
}

#include "platform/vfw/ffmpeg/codecs.h"
#include "platform/vfw/ffmpeg/decoder.h"
#include "platform/vfw/ffmpeg/encoder.h"
#include "platform/vfw/ffmpeg/key_frames.h"
#include "platform/vfw/ffmpeg/state.h"

namespace zedadu::vfw::ffmpeg {

// What ICM_COMPRESS_FRAMES_INFO told the compressor; zeros where it said nothing.
struct FramesInfo {
    int keyRate = 0;
    int64_t dataRate = 0;  // bytes a second
    AVRational frameRate{0, 1};
};

struct DriverInstance {
    FOURCC handler = 0;                          // as the driver list spells it, else as opened
    const CompressorSpec* compressor = nullptr;  // null for codes that only decode
    AVCodecID handlerCodec = AV_CODEC_ID_NONE;   // the codec the handler code names
    int quality = kDefaultQuality;
    FramesInfo frames;
    std::optional<CompressorState> state;  // for compressors
    std::unique_ptr<FrameDecoder> decoder;
    std::unique_ptr<KeyFrameProbe> keyFrames;  // from the first key-frame query on
    std::unique_ptr<FrameEncoder> encoder;     // from ICM_COMPRESS_BEGIN to ICM_COMPRESS_END
    std::unique_ptr<FrameEncoder> probe;       // the last one opened to answer a format question
};

using MessageHandler = LRESULT (*)(DriverInstance& instance, LPARAM argument1, LPARAM argument2);

template <typename Record>
Record* Argument(LPARAM argument) {
    return reinterpret_cast<Record*>(argument);
}

LRESULT CompressQuery(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT CompressGetFormat(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT CompressGetSize(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT CompressBegin(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT Compress(DriverInstance& instance, LPARAM request, LPARAM size);
LRESULT CompressEnd(DriverInstance& instance, LPARAM, LPARAM);
LRESULT CompressFramesInfo(DriverInstance& instance, LPARAM frames, LPARAM size);
LRESULT CompressFrameSizes(DriverInstance& instance, LPARAM input, LPARAM sizes);

LRESULT Configure(DriverInstance& instance, LPARAM owner, LPARAM);
LRESULT About(DriverInstance& instance, LPARAM owner, LPARAM);

LRESULT DecompressQuery(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT DecompressGetFormat(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT DecompressBegin(DriverInstance& instance, LPARAM input, LPARAM output);
LRESULT Decompress(DriverInstance& instance, LPARAM request, LPARAM size);
LRESULT DecompressEnd(DriverInstance& instance, LPARAM, LPARAM);
LRESULT DecompressHeldBack(DriverInstance& instance, LPARAM, LPARAM);
LRESULT DecompressDrain(DriverInstance& instance, LPARAM request, LPARAM size);
LRESULT DecompressKeyFrameQuery(DriverInstance& instance, LPARAM input, LPARAM chunk);

}  // namespace zedadu::vfw::ffmpeg
