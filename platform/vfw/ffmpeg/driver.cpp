#include "platform/vfw/ffmpeg/driver.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/vfw/ffmpeg/instance.h"

namespace zedadu::vfw::ffmpeg {
namespace {

constexpr UINT ICMODE_FASTDECOMPRESS = 3;
constexpr UINT ICMODE_FASTCOMPRESS = 5;
constexpr DWORD kQualityDefault = 0xFFFFFFFF;  // ICQUALITY_DEFAULT
constexpr DWORD kInterfaceVersion = 0x0104;

// The platform shows no library diagnostics; a refused trial open is an answer, not an error.
// The decoders' errors are still counted, as damage in the chunks they decode.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_log_set_callback(NoteDecoderLog);
    });
}

bool OpensIn(UINT mode, const CompressorSpec* compressor, AVCodecID codec) {
    switch (mode) {
        case ICMODE_COMPRESS:
        case ICMODE_FASTCOMPRESS:
            return compressor != nullptr;
        case ICMODE_DECOMPRESS:
        case ICMODE_FASTDECOMPRESS:
            return codec != AV_CODEC_ID_NONE;
        case ICMODE_QUERY:
            return compressor || codec != AV_CODEC_ID_NONE;
        default:
            return false;
    }
}

// The spelling of the driver list for listed codes; other codes as the caller gave them.
FOURCC ListedSpelling(FOURCC handler) {
    if (const CompressorSpec* entry = FindCompressor(handler)) {
        return entry->handler;
    }
    for (const DecoderCode& code : DecoderCodes()) {
        if (SameFourCCIgnoringCase(code.handler, handler)) {
            return code.handler;
        }
    }
    return handler;
}

LRESULT OpenInstance(ICOPEN* open) {
    if (!open || !SameFourCCIgnoringCase(open->fccType, ICTYPE_VIDEO)) {
        return 0;
    }
    const CompressorSpec* compressor = FindCompressor(open->fccHandler);
    const AVCodecID codec = DecodingCodec(open->fccHandler);
    if (!OpensIn(open->dwFlags, compressor, codec)) {
        open->dwError = ICERR_UNSUPPORTED;
        return 0;
    }
    auto* instance = new DriverInstance;
    instance->handler = ListedSpelling(open->fccHandler);
    instance->compressor = compressor;
    instance->handlerCodec = codec;
    if (compressor) {
        instance->state.emplace(*compressor);
    }
    open->dwError = ICERR_OK;
    return reinterpret_cast<LRESULT>(instance);
}

template <size_t N>
void CopyText(char16_t (&target)[N], const std::u16string& text) {
    const size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), length, target);
    target[length] = u'\0';
}

LRESULT GetInfo(DriverInstance& instance, LPARAM argument, LPARAM size) {
    ICINFO info{};
    info.dwSize = sizeof info;
    info.fccType = ICTYPE_VIDEO;
    info.fccHandler = instance.handler;
    info.dwFlags = instance.compressor ? instance.compressor->flags : 0;
    info.dwVersion = 1;
    info.dwVersionICM = kInterfaceVersion;
    CopyText(info.szName, ShortName(instance.handler));
    CopyText(info.szDescription, Description(instance.handler));
    const std::string driver = DriverName(instance.handler);
    CopyText(info.szDriver, std::u16string(driver.begin(), driver.end()));
    auto* target = Argument<ICINFO>(argument);
    if (!target) {
        return sizeof info;
    }
    const size_t copied = std::min<size_t>(size_t(DWORD(size)), sizeof info);
    memcpy(target, &info, copied);
    return LRESULT(copied);
}

LRESULT GetState(DriverInstance& instance, LPARAM block, LPARAM size) {
    if (!instance.state) {
        return 0;
    }
    const size_t needed = instance.state->Size();
    if (!block) {
        return LRESULT(needed);
    }
    if (size < 0 || size_t(size) < needed) {
        return ICERR_BADSIZE;
    }
    instance.state->Write(Argument<uint8_t>(block));
    return LRESULT(needed);
}

// No block resets the defaults; a block for another handler or version changes nothing.
LRESULT SetState(DriverInstance& instance, LPARAM block, LPARAM size) {
    if (!instance.state) {
        return 0;
    }
    if (!block) {
        instance.state->Reset();
        return 0;
    }
    return size > 0 ? LRESULT(instance.state->Read(Argument<const uint8_t>(block), size_t(size)))
                    : 0;
}

LRESULT GetDefaultQuality(DriverInstance& instance, LPARAM target, LPARAM) {
    if (!instance.compressor || !target) {
        return ICERR_UNSUPPORTED;
    }
    *Argument<DWORD>(target) = kDefaultQuality;
    return ICERR_OK;
}

LRESULT GetQuality(DriverInstance& instance, LPARAM target, LPARAM) {
    if (!instance.compressor || !target) {
        return ICERR_UNSUPPORTED;
    }
    *Argument<DWORD>(target) = DWORD(instance.quality);
    return ICERR_OK;
}

LRESULT SetQuality(DriverInstance& instance, LPARAM quality, LPARAM) {
    if (!instance.compressor) {
        return ICERR_UNSUPPORTED;
    }
    if (DWORD(quality) == kQualityDefault) {
        instance.quality = kDefaultQuality;
    } else if (quality >= 0 && quality <= 10000) {
        instance.quality = int(quality);
    } else {
        return ICERR_BADPARAM;
    }
    return ICERR_OK;
}

struct MessageEntry {
    UINT message;
    MessageHandler handler;
};

constexpr MessageEntry kMessages[] = {
    {ICM_GETINFO, GetInfo},
    {ICM_GETSTATE, GetState},
    {ICM_SETSTATE, SetState},
    {ICM_CONFIGURE, Configure},
    {ICM_ABOUT, About},
    {ICM_GETDEFAULTQUALITY, GetDefaultQuality},
    {ICM_GETQUALITY, GetQuality},
    {ICM_SETQUALITY, SetQuality},
    {ICM_COMPRESS_QUERY, CompressQuery},
    {ICM_COMPRESS_GET_FORMAT, CompressGetFormat},
    {ICM_COMPRESS_GET_SIZE, CompressGetSize},
    {ICM_COMPRESS_FRAMES_INFO, CompressFramesInfo},
    {ICM_COMPRESS_FRAME_SIZES, CompressFrameSizes},
    {ICM_COMPRESS_BEGIN, CompressBegin},
    {ICM_COMPRESS, Compress},
    {ICM_COMPRESS_END, CompressEnd},
    {ICM_DECOMPRESS_QUERY, DecompressQuery},
    {ICM_DECOMPRESS_GET_FORMAT, DecompressGetFormat},
    {ICM_DECOMPRESS_BEGIN, DecompressBegin},
    {ICM_DECOMPRESS, Decompress},
    {ICM_DECOMPRESS_END, DecompressEnd},
    {ICM_DECOMPRESS_KEYFRAME_QUERY, DecompressKeyFrameQuery},
    {ICM_DECOMPRESS_HELD_BACK, DecompressHeldBack},
    {ICM_DECOMPRESS_DRAIN, DecompressDrain},
};

LRESULT DriverMessage(DWORD_PTR driverId, UINT message, LPARAM argument1, LPARAM argument2) {
    switch (message) {
        case DRV_LOAD:
            QuietLibraries();
            return 1;
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_FREE:
            return 1;
        case DRV_OPEN:
            return OpenInstance(Argument<ICOPEN>(argument2));
        case DRV_CLOSE:
            delete reinterpret_cast<DriverInstance*>(driverId);
            return 1;
        default:
            break;
    }
    const auto entry = std::find_if(std::begin(kMessages), std::end(kMessages),
                                    [&](const MessageEntry& e) { return e.message == message; });
    if (!driverId || entry == std::end(kMessages)) {
        return ICERR_UNSUPPORTED;
    }
    return entry->handler(*reinterpret_cast<DriverInstance*>(driverId), argument1, argument2);
}

}  // namespace

LRESULT DriverProc(DWORD_PTR driverId, HDRVR, UINT message, LPARAM argument1, LPARAM argument2) {
    try {
        return DriverMessage(driverId, message, argument1, argument2);
    } catch (const std::bad_alloc&) {
        return message == DRV_OPEN ? 0 : ICERR_MEMORY;
    } catch (...) {
        return message == DRV_OPEN ? 0 : ICERR_INTERNAL;
    }
}

}  // namespace zedadu::vfw::ffmpeg
