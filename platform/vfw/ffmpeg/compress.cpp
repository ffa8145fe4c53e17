// The compression messages of the built-in drivers.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numeric>

#include "platform/vfw/ffmpeg/instance.h"

namespace zedadu::vfw::ffmpeg {
namespace {

// An input the compressor takes: one of the uncompressed layouts (YUY2 only with an even
// width) at a size the format allows, small enough that its largest frame fits the signed 32-bit
// sizes of the callers.
std::optional<BitmapLayout> AcceptedInput(const DriverInstance& instance, LPARAM argument) {
    const auto* header = Argument<const BITMAPINFOHEADER>(argument);
    if (!instance.compressor || !header) {
        return std::nullopt;
    }
    const CompressorSpec& entry = *instance.compressor;
    const auto layout = UncompressedLayout(*header);
    if (!layout || (layout->pixelFormat == AV_PIX_FMT_YUYV422 && layout->width % 2 != 0) ||
        !TakesSize(entry, layout->width, layout->height) ||
        entry.maxFrameBytes(layout->width, layout->height) > INT32_MAX) {
        return std::nullopt;
    }
    return layout;
}

EncoderSettings SettingsFor(const DriverInstance& instance, const BitmapLayout& input) {
    const FramesInfo& frames = instance.frames;
    return EncoderSettings{
        input.width,
        input.height,
        instance.compressor->encoderFormat(input),
        instance.state->Changed(),
        instance.quality,
        frames.keyRate > 0 ? frames.keyRate : kDefaultKeyInterval,
        frames.dataRate,
        frames.frameRate.num > 0 ? frames.frameRate : AVRational{25, 1},
    };
}

// An encoder that answers what the output of this input looks like: the running one, the last
// one opened for a question, or a new one. Opening it also tells whether the encoder takes the
// input at all.
const FrameEncoder* FormatEncoder(DriverInstance& instance, const BitmapLayout& input) {
    const EncoderSettings wanted = SettingsFor(instance, input);
    for (const FrameEncoder* encoder : {instance.encoder.get(), instance.probe.get()}) {
        if (encoder && encoder->Settings().SameFormat(wanted)) {
            return encoder;
        }
    }
    instance.probe = FrameEncoder::Open(*instance.compressor, wanted, *instance.state);
    return instance.probe.get();
}

bool IsOwnOutput(const BITMAPINFOHEADER& output, const BitmapLayout& input,
                 const FrameEncoder& encoder, const CompressorSpec& entry) {
    return SameFourCCIgnoringCase(output.biCompression, entry.compression) &&
           output.biWidth == input.width && output.biHeight != INT32_MIN &&
           std::abs(output.biHeight) == input.height && output.biBitCount == encoder.BitCount();
}

}  // namespace

LRESULT CompressQuery(DriverInstance& instance, LPARAM input, LPARAM output) {
    const auto layout = AcceptedInput(instance, input);
    const FrameEncoder* encoder = layout ? FormatEncoder(instance, *layout) : nullptr;
    if (!encoder) {
        return ICERR_BADFORMAT;
    }
    const auto* proposed = Argument<const BITMAPINFOHEADER>(output);
    if (proposed && !IsOwnOutput(*proposed, *layout, *encoder, *instance.compressor)) {
        return ICERR_BADFORMAT;
    }
    return ICERR_OK;
}

// Without an output format: the size the output format needs.
LRESULT CompressGetFormat(DriverInstance& instance, LPARAM input, LPARAM output) {
    const auto layout = AcceptedInput(instance, input);
    const FrameEncoder* encoder = layout ? FormatEncoder(instance, *layout) : nullptr;
    if (!encoder || encoder->Extradata().size() > kMaxOutputExtradata) {
        return ICERR_BADFORMAT;
    }
    const std::span<const uint8_t> extradata = encoder->Extradata();
    const auto size = DWORD(sizeof(BITMAPINFOHEADER) + extradata.size());
    auto* format = Argument<BITMAPINFOHEADER>(output);
    if (!format) {
        return size;
    }
    BITMAPINFOHEADER header{};
    header.biSize = size;
    header.biWidth = layout->width;
    header.biHeight = layout->height;
    header.biPlanes = 1;
    header.biBitCount = encoder->BitCount();
    header.biCompression = instance.compressor->compression;
    header.biSizeImage = DWORD(instance.compressor->maxFrameBytes(layout->width, layout->height));
    memcpy(format, &header, sizeof header);
    if (!extradata.empty()) {
        memcpy(reinterpret_cast<uint8_t*>(format) + sizeof header, extradata.data(),
               extradata.size());
    }
    return ICERR_OK;
}

LRESULT CompressGetSize(DriverInstance& instance, LPARAM input, LPARAM) {
    if (CompressQuery(instance, input, 0) != ICERR_OK) {
        return ICERR_BADFORMAT;
    }
    const auto layout = AcceptedInput(instance, input);
    return LRESULT(instance.compressor->maxFrameBytes(layout->width, layout->height));
}

LRESULT CompressBegin(DriverInstance& instance, LPARAM input, LPARAM output) {
    if (CompressQuery(instance, input, output) != ICERR_OK) {
        return ICERR_BADFORMAT;
    }
    const EncoderSettings wanted = SettingsFor(instance, *AcceptedInput(instance, input));
    if (instance.probe && instance.probe->Settings() == wanted) {
        instance.encoder = std::move(instance.probe);
    } else {
        instance.encoder = FrameEncoder::Open(*instance.compressor, wanted, *instance.state);
    }
    // The running encoder answers the format questions from here on; the probe's buffers go.
    instance.probe.reset();
    return instance.encoder ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT Compress(DriverInstance& instance, LPARAM request, LPARAM size) {
    const auto* compress = Argument<const ICCOMPRESS>(request);
    if (!compress || size != sizeof(ICCOMPRESS)) {
        return ICERR_BADPARAM;
    }
    if (!instance.encoder) {
        const LRESULT begun = CompressBegin(instance, reinterpret_cast<LPARAM>(compress->lpbiInput),
                                            reinterpret_cast<LPARAM>(compress->lpbiOutput));
        if (begun != ICERR_OK) {
            return begun;
        }
    }
    return instance.encoder->Compress(*compress);
}

LRESULT CompressEnd(DriverInstance& instance, LPARAM, LPARAM) {
    instance.encoder.reset();
    return ICERR_OK;
}

LRESULT CompressFramesInfo(DriverInstance& instance, LPARAM frames, LPARAM size) {
    const auto* info = Argument<const ICCOMPRESSFRAMES>(frames);
    if (!instance.compressor) {
        return ICERR_UNSUPPORTED;
    }
    if (!info || size != sizeof(ICCOMPRESSFRAMES)) {
        return ICERR_BADPARAM;
    }
    FramesInfo& stored = instance.frames;
    stored.keyRate = info->lKeyRate;
    stored.dataRate = info->lDataRate > 0 ? info->lDataRate : 0;
    stored.frameRate = AVRational{0, 1};
    if (info->dwRate > 0 && info->dwScale > 0) {
        av_reduce(&stored.frameRate.num, &stored.frameRate.den, info->dwRate, info->dwScale,
                  INT_MAX);
    }
    if (info->lQuality >= 0 && info->lQuality <= 10000) {
        instance.quality = info->lQuality;
    }
    return ICERR_OK;
}

// The rule of the format, with an even width for YUY2 input.
LRESULT CompressFrameSizes(DriverInstance& instance, LPARAM input, LPARAM sizes) {
    auto* answer = Argument<ICFRAMESIZES>(sizes);
    if (!instance.compressor) {
        return ICERR_UNSUPPORTED;
    }
    if (!answer || answer->dwSize < sizeof(ICFRAMESIZES)) {
        return ICERR_BADPARAM;
    }
    const auto* header = Argument<const BITMAPINFOHEADER>(input);
    const bool yuy2 = header && header->biCompression == kYuy2;
    const SizeRule& rule = instance.compressor->sizes;
    ICFRAMESIZES filled{};
    filled.dwSize = sizeof filled;
    for (const FrameSize& size : rule.only) {
        if (filled.cListed < std::size(filled.listed) && !(yuy2 && size.width % 2 != 0)) {
            filled.listed[filled.cListed++] = {size.width, size.height};
        }
    }
    filled.cxMin = rule.minimum.width;
    filled.cyMin = rule.minimum.height;
    filled.cxStep = yuy2 ? std::lcm(rule.step.width, 2) : rule.step.width;
    filled.cyStep = rule.step.height;
    *answer = filled;
    return ICERR_OK;
}

}  // namespace zedadu::vfw::ffmpeg
