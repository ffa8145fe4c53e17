// The built-in drivers run on FFmpeg's libraries: the compressors first, then one code for each
// further codec that libavcodec decodes.
#include "platform/vfw/builtin.h"

#include <vector>

#include "platform/vfw/ffmpeg/codecs.h"
#include "platform/vfw/ffmpeg/driver.h"

namespace zedadu::vfw {
namespace {

std::vector<BuiltInCompressor> CollectBuiltIns() {
    std::vector<BuiltInCompressor> builtIns;
    for (const ffmpeg::CompressorSpec& entry : ffmpeg::Compressors()) {
        builtIns.push_back({entry.handler, ffmpeg::DriverProc, ffmpeg::DriverName(entry.handler)});
    }
    for (const ffmpeg::DecoderCode& code : ffmpeg::DecoderCodes()) {
        builtIns.push_back({code.handler, ffmpeg::DriverProc, ffmpeg::DriverName(code.handler)});
    }
    return builtIns;
}

}  // namespace

std::span<const BuiltInCompressor> BuiltInCompressors() {
    static const std::vector<BuiltInCompressor> builtIns = CollectBuiltIns();
    return builtIns;
}

DRIVERPROC FindBuiltInAlias(FOURCC handler) {
    return ffmpeg::DecodingCodec(handler) != AV_CODEC_ID_NONE ? ffmpeg::DriverProc : nullptr;
}

}  // namespace zedadu::vfw
