// The decompression messages of the built-in drivers.
#include "platform/vfw/ffmpeg/instance.h"

namespace zedadu::vfw::ffmpeg {
namespace {

std::optional<SourceFormat> Source(const DriverInstance& instance, LPARAM argument) {
    const auto* header = Argument<const BITMAPINFOHEADER>(argument);
    if (!header || instance.handlerCodec == AV_CODEC_ID_NONE) {
        return std::nullopt;
    }
    return InspectSource(instance.handlerCodec, *header);
}

bool Delivers(const BITMAPINFOHEADER& output) {
    if (output.biCompression == kYuy2) {
        return output.biBitCount == 16;
    }
    return output.biCompression == BI_RGB &&
           (output.biBitCount == 16 || output.biBitCount == 24 || output.biBitCount == 32);
}

}  // namespace

// Every decodable input is delivered in every layout at any size: libswscale scales.
LRESULT DecompressQuery(DriverInstance& instance, LPARAM input, LPARAM output) {
    if (!Source(instance, input)) {
        return ICERR_BADFORMAT;
    }
    const auto* proposed = Argument<const BITMAPINFOHEADER>(output);
    return !proposed || UncompressedLayout(*proposed) ? ICERR_OK : ICERR_BADFORMAT;
}

// The source size, in the layout the output format already names when it is one of ours,
// otherwise 24-bit RGB. Without an output format: the size of the output format.
LRESULT DecompressGetFormat(DriverInstance& instance, LPARAM input, LPARAM output) {
    const auto source = Source(instance, input);
    if (!source) {
        return ICERR_BADFORMAT;
    }
    auto* format = Argument<BITMAPINFOHEADER>(output);
    if (!format) {
        return sizeof(BITMAPINFOHEADER);
    }
    const bool keep = Delivers(*format);
    BITMAPINFOHEADER chosen{};
    chosen.biSize = sizeof chosen;
    chosen.biWidth = source->width;
    chosen.biHeight = source->height;
    chosen.biPlanes = 1;
    chosen.biBitCount = keep ? format->biBitCount : 24;
    chosen.biCompression = keep ? format->biCompression : BI_RGB;
    chosen.biSizeImage = DWORD(UncompressedLayout(chosen)->ImageSize());
    *format = chosen;
    return ICERR_OK;
}

LRESULT DecompressBegin(DriverInstance& instance, LPARAM input, LPARAM output) {
    if (DecompressQuery(instance, input, output) != ICERR_OK) {
        return ICERR_BADFORMAT;
    }
    const auto& header = *Argument<const BITMAPINFOHEADER>(input);
    if (instance.decoder && instance.decoder->Matches(header)) {
        instance.decoder->Restart();
    } else {
        instance.decoder = FrameDecoder::Open(instance.handlerCodec, header);
    }
    return instance.decoder ? ICERR_OK : ICERR_BADFORMAT;
}

// The chunk's size is the input format's biSizeImage. A decompression without
// ICM_DECOMPRESS_BEGIN, or for another input format, begins first. Hurried and prerolled chunks
// are decoded without drawing; an update with no chunk draws the newest picture again.
LRESULT Decompress(DriverInstance& instance, LPARAM request, LPARAM size) {
    const auto* decompress = Argument<const ICDECOMPRESS>(request);
    if (!decompress || size != sizeof(ICDECOMPRESS) || !decompress->lpbiInput ||
        !decompress->lpbiOutput || !decompress->lpOutput) {
        return ICERR_BADPARAM;
    }
    const BITMAPINFOHEADER& input = *decompress->lpbiInput;
    if (input.biSizeImage > 0 && !decompress->lpInput) {
        return ICERR_BADPARAM;
    }
    const auto layout = UncompressedLayout(*decompress->lpbiOutput);
    if (!layout) {
        return ICERR_BADFORMAT;
    }
    if (!instance.decoder || !instance.decoder->Matches(input)) {
        const LRESULT begun = DecompressBegin(instance, reinterpret_cast<LPARAM>(&input),
                                              reinterpret_cast<LPARAM>(decompress->lpbiOutput));
        if (begun != ICERR_OK) {
            return begun;
        }
    }
    const DWORD flags = decompress->dwFlags;
    auto* bits = static_cast<uint8_t*>(decompress->lpOutput);
    if (flags & ICDECOMPRESS_UPDATE && input.biSizeImage == 0) {
        return instance.decoder->Redraw(*layout, bits);
    }
    const bool keyFrame = !(flags & ICDECOMPRESS_NOTKEYFRAME);
    const bool draw = !(flags & (ICDECOMPRESS_HURRYUP | ICDECOMPRESS_PREROLL));
    return instance.decoder->Decode(static_cast<const uint8_t*>(decompress->lpInput),
                                    input.biSizeImage, keyFrame, draw, *layout, bits);
}

LRESULT DecompressHeldBack(DriverInstance& instance, LPARAM, LPARAM) {
    return instance.decoder ? instance.decoder->HeldBack() : 0;
}

// Only a begun decompression has pictures to drain.
LRESULT DecompressDrain(DriverInstance& instance, LPARAM request, LPARAM size) {
    const auto* decompress = Argument<const ICDECOMPRESS>(request);
    if (!decompress || size != sizeof(ICDECOMPRESS) || !decompress->lpbiOutput ||
        !decompress->lpOutput) {
        return ICERR_BADPARAM;
    }
    const auto layout = UncompressedLayout(*decompress->lpbiOutput);
    if (!layout) {
        return ICERR_BADFORMAT;
    }
    if (!instance.decoder) {
        return ICERR_DONTDRAW;
    }
    const bool draw = !(decompress->dwFlags & (ICDECOMPRESS_HURRYUP | ICDECOMPRESS_PREROLL));
    return instance.decoder->Drain(draw, *layout, static_cast<uint8_t*>(decompress->lpOutput));
}

LRESULT DecompressEnd(DriverInstance& instance, LPARAM, LPARAM) {
    instance.decoder.reset();
    return ICERR_OK;
}

LRESULT DecompressKeyFrameQuery(DriverInstance& instance, LPARAM input, LPARAM chunk) {
    if (!Source(instance, input)) {
        return ICERR_BADFORMAT;
    }
    const auto& header = *Argument<const BITMAPINFOHEADER>(input);
    if (!instance.keyFrames || !instance.keyFrames->Matches(header)) {
        instance.keyFrames = KeyFrameProbe::Open(instance.handlerCodec, header);
    }
    if (!instance.keyFrames) {
        return ICERR_BADFORMAT;
    }
    if (!chunk) {
        return instance.keyFrames->EveryChunkDecodesAlone() ? 1 : 0;
    }
    return instance.keyFrames->DecodesAlone(Argument<const uint8_t>(chunk), header.biSizeImage);
}

}  // namespace zedadu::vfw::ffmpeg
