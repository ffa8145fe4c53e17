#include "platform/vfw/ffmpeg/codecs.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zedadu::vfw::ffmpeg {
namespace {

// Input formats of the encoders, chosen for each input layout.
AVPixelFormat Rgb555Input(const BitmapLayout&) {
    return AV_PIX_FMT_RGB555LE;
}
AVPixelFormat Rgb24Input(const BitmapLayout&) {
    return AV_PIX_FMT_RGB24;
}
// 4:2:2 rather than libavcodec's 4:4:4 default: what other Motion JPEG decoders expect.
AVPixelFormat JpegInput(const BitmapLayout&) {
    return AV_PIX_FMT_YUVJ422P;
}
// NTSC DV samples chroma 4:1:1, PAL DV 4:2:0.
AVPixelFormat DvInput(const BitmapLayout& input) {
    return input.height == 480 ? AV_PIX_FMT_YUV411P : AV_PIX_FMT_YUV420P;
}
// Lossless where the input allows: 5-5-5 widens exactly to 24 bits, YUY2 is 4:2:2 already.
AVPixelFormat HuffyuvInput(const BitmapLayout& input) {
    if (input.pixelFormat == AV_PIX_FMT_BGRA) {
        return AV_PIX_FMT_BGRA;
    }
    return input.pixelFormat == AV_PIX_FMT_YUYV422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_RGB24;
}
AVPixelFormat Ffv1Input(const BitmapLayout& input) {
    return input.pixelFormat == AV_PIX_FMT_YUYV422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_BGR0;
}
AVPixelFormat Yuv420Input(const BitmapLayout&) {
    return AV_PIX_FMT_YUV420P;
}
AVPixelFormat ZmbvInput(const BitmapLayout& input) {
    return input.pixelFormat == AV_PIX_FMT_RGB555LE ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_BGR0;
}
AVPixelFormat GbrpInput(const BitmapLayout&) {
    return AV_PIX_FMT_GBRP;
}
AVPixelFormat Yuv422Input(const BitmapLayout&) {
    return AV_PIX_FMT_YUV422P;
}

// Largest frames. Where the format's worst case is easy to count it is counted; otherwise it is
// the packet size the encoder itself allocates before encoding, which it never exceeds.
size_t AreaOf(int width, int height) {
    return size_t(width) * size_t(height);
}

// Per 4x4 block at most 18 bytes of colours and flags plus a 2-byte skip code before it; then a
// final skip code and the 2-byte end mark.
size_t VideoOneBound(int width, int height) {
    return AreaOf(width / kBlockSide, height / kBlockSide) * 20 + 4;
}

// The encoder's frame buffer with its default of at most three strips, for the padded frame.
size_t CinepakBound(int width, int height) {
    const size_t blocks =
        AreaOf((width + kBlockSide - 1) / kBlockSide, (height + kBlockSide - 1) / kBlockSide);
    const size_t strip = 12 + 3 * 4 + 2 * 6 * 256 + 4 * (blocks + (blocks + 15) / 16) + 2 * 256 / 8;
    return 10 + 3 * strip;
}

// MPEG-style encoders: at most 3000 bytes per 16x16 macroblock plus headers.
size_t MacroblockBound(int width, int height) {
    return AreaOf((width + 15) / 16, (height + 15) / 16) * 3100 + 10000;
}

size_t DvBound(int, int height) {
    return height == 480 ? 120000 : 144000;
}
size_t HuffyuvBound(int width, int height) {
    return AreaOf(width, height) * 12 + 16384;
}
size_t Ffv1Bound(int width, int height) {
    return AreaOf(width, height) * 148 + 16384;
}

// Deflate of the palette, the block vectors and at most 4 bytes a pixel, with zlib's stored-block
// overhead well covered.
size_t ZmbvBound(int width, int height) {
    const size_t raw =
        768 + AreaOf(width, height) * 4 + AreaOf((width + 15) / 16, (height + 15) / 16) * 2 + 4;
    return raw + raw / 64 + 1024;
}

// Up to 256 slices, three planes of at most a byte a sample each.
size_t UtVideoBound(int width, int height) {
    return (1280 + AreaOf(width, height)) * 3 + 4;
}

// Deflate stays below twice its input, plus chunk headers for each row.
size_t PngBound(int width, int height) {
    return 16384 + size_t(height) * (size_t(width) * 8 + 64);
}

constexpr EncoderOption kJpegOptions[] = {{1, "huffman", 0, 1}};
constexpr EncoderOption kMpeg4Options[] = {{1, "mpeg_quant", 0, 1}};
constexpr EncoderOption kHuffyuvOptions[] = {{1, "pred", 0, 2}};
constexpr EncoderOption kFfv1Options[] = {{1, "coder", 0, 2}, {2, "context", 0, 1}};
// Without a level ZMBV deflates at 9, PNG at zlib's default 6.
constexpr EncoderOption kZmbvOptions[] = {{1, "compression_level", 0, 9, 9}};
constexpr EncoderOption kUtVideoOptions[] = {{1, "pred", 0, 3}};
constexpr EncoderOption kPngOptions[] = {{1, "pred", 0, 5}, {2, "compression_level", 0, 9, 6}};

// NTSC and PAL frames; DV's high-definition sizes need other sampling than the layer offers.
constexpr FrameSize kDvSizes[] = {{720, 480}, {720, 576}};

// ffmpeg's Video 1 decoder refuses frames smaller than one block.
constexpr SizeRule kWholeBlocks{SizeFit::WholeBlocks, {kBlockSide, kBlockSide}};
constexpr SizeRule kPaddedBlocks{SizeFit::PaddedBlocks};
constexpr SizeRule kAnySize{};
constexpr SizeRule kDvOnly{SizeFit::Exact, {1, 1}, {1, 1}, kDvSizes};
// libavcodec's Ut Video encoder codes 4:2:2 at even widths only, and decoders take the width from
// the stream's format, so neither padding nor cropping would keep the user's size.
constexpr SizeRule kEvenWidths{SizeFit::Exact, {2, 1}, {2, 1}};

// Version 3 cuts a frame into a grid of slices that decoders share among their threads: 4 x 4
// keeps 16 cores busy. Slices a pixel thin do not come back losslessly from libavcodec, so
// smaller frames get a coarser grid, down to a single slice.
int Ffv1Slices(int width, int height) {
    constexpr int kSmallestSide = 16;
    for (const int grid : {4, 2}) {
        if (width >= grid * kSmallestSide && height >= grid * kSmallestSide) {
            return grid * grid;
        }
    }
    return 1;
}

constexpr DWORD kTemporal = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;

// clang-format off
constexpr CompressorSpec kCompressors[] = {
    // handler, compression code, encoder, description, capability flags,
    //   quality scale, bit-rate control, keyint_min offset, encoder input, largest frame, options,
    //   sizes, level, slices
    {FourCC("MSVC"), FourCC("MSVC"), "msvideo1", u"Video 1 (MSVC)", kTemporal,
     QualityScale::None, false, -1, Rgb555Input, VideoOneBound, {},
     kWholeBlocks, 0, nullptr},
    {FourCC("CVID"), FourCC("cvid"), "cinepak", u"Cinepak", VIDCF_QUALITY | kTemporal,
     QualityScale::Lambda, false, 0, Rgb24Input, CinepakBound, {},
     kPaddedBlocks, 0, nullptr},
    {FourCC("MJPG"), FourCC("MJPG"), "mjpeg", u"Motion JPEG", VIDCF_QUALITY | VIDCF_CRUNCH,
     QualityScale::Quantiser, false, 0, JpegInput, MacroblockBound, kJpegOptions,
     kAnySize, 0, nullptr},
    {FourCC("dvsd"), FourCC("dvsd"), "dvvideo", u"DV (dvsd)", 0,
     QualityScale::None, false, 0, DvInput, DvBound, {},
     kDvOnly, 0, nullptr},
    {FourCC("HFYU"), FourCC("HFYU"), "huffyuv", u"HuffYUV", 0,
     QualityScale::None, false, 0, HuffyuvInput, HuffyuvBound, kHuffyuvOptions,
     kAnySize, 0, nullptr},
    {FourCC("FFV1"), FourCC("FFV1"), "ffv1", u"FFV1", kTemporal,
     QualityScale::None, false, 0, Ffv1Input, Ffv1Bound, kFfv1Options,
     kAnySize, 3, Ffv1Slices},
    {FourCC("XVID"), FourCC("XVID"), "mpeg4", u"MPEG-4 Part 2 (XVID)", VIDCF_QUALITY | kTemporal,
     QualityScale::Quantiser, true, 0, Yuv420Input, MacroblockBound, kMpeg4Options,
     kAnySize, 0, nullptr},
    {FourCC("ZMBV"), FourCC("ZMBV"), "zmbv", u"ZMBV", kTemporal,
     QualityScale::None, false, 0, ZmbvInput, ZmbvBound, kZmbvOptions,
     kAnySize, 0, nullptr},
    {FourCC("ULRG"), FourCC("ULRG"), "utvideo", u"Ut Video (ULRG)", 0,
     QualityScale::None, false, 0, GbrpInput, UtVideoBound, kUtVideoOptions,
     kAnySize, 0, nullptr},
    {FourCC("ULY2"), FourCC("ULY2"), "utvideo", u"Ut Video (ULY2)", 0,
     QualityScale::None, false, 0, Yuv422Input, UtVideoBound, kUtVideoOptions,
     kEvenWidths, 0, nullptr},
    {FourCC("MPNG"), FourCC("MPNG"), "png", u"PNG (MPNG)", 0,
     QualityScale::None, false, 0, Rgb24Input, PngBound, kPngOptions,
     kAnySize, 0, nullptr},
};
// clang-format on

struct NeutralName {
    AVCodecID codec;
    const char16_t* name;
};

// Names of formats for the decoders; codecs not named here show libavcodec's short name.
// clang-format off
constexpr NeutralName kNeutralNames[] = {
    {AV_CODEC_ID_MSVIDEO1, u"Video 1"},          {AV_CODEC_ID_CINEPAK, u"Cinepak"},
    {AV_CODEC_ID_MSRLE, u"RLE"},                 {AV_CODEC_ID_MJPEG, u"Motion JPEG"},
    {AV_CODEC_ID_DVVIDEO, u"DV"},                {AV_CODEC_ID_HUFFYUV, u"HuffYUV"},
    {AV_CODEC_ID_FFVHUFF, u"HuffYUV (extended)"}, {AV_CODEC_ID_FFV1, u"FFV1"},
    {AV_CODEC_ID_MPEG4, u"MPEG-4 Part 2"},       {AV_CODEC_ID_ZMBV, u"ZMBV"},
    {AV_CODEC_ID_UTVIDEO, u"Ut Video"},          {AV_CODEC_ID_MAGICYUV, u"MagicYUV"},
    {AV_CODEC_ID_PNG, u"PNG"},                   {AV_CODEC_ID_H261, u"H.261"},
    {AV_CODEC_ID_H263, u"H.263"},                {AV_CODEC_ID_H264, u"H.264"},
    {AV_CODEC_ID_HEVC, u"H.265"},                {AV_CODEC_ID_MPEG1VIDEO, u"MPEG-1"},
    {AV_CODEC_ID_MPEG2VIDEO, u"MPEG-2"},         {AV_CODEC_ID_VP8, u"VP8"},
    {AV_CODEC_ID_VP9, u"VP9"},                   {AV_CODEC_ID_AV1, u"AV1"},
    {AV_CODEC_ID_THEORA, u"Theora"},             {AV_CODEC_ID_JPEG2000, u"JPEG 2000"},
    {AV_CODEC_ID_JPEGLS, u"JPEG-LS"},            {AV_CODEC_ID_RAWVIDEO, u"Uncompressed"},
};
// clang-format on

const AVCodecTag* const kRiffTables[] = {avformat_get_riff_video_tags(), nullptr};
// libavformat's AVI reader falls back on the QuickTime codes (ProRes, Hap and others in AVI).
const AVCodecTag* const kAviTables[] = {avformat_get_riff_video_tags(),
                                        avformat_get_mov_video_tags(), nullptr};

struct ProbedCode {
    FOURCC code;
    AVCodecID codec;
};

// Codes of AVI files that libavformat's tables leave out and its AVI reader recognises by probing
// the stream's data instead: H.265 as its encoders label it.
constexpr ProbedCode kProbedCodes[] = {
    {FourCC("HEVC"), AV_CODEC_ID_HEVC},
    {FourCC("H265"), AV_CODEC_ID_HEVC},
    {FourCC("X265"), AV_CODEC_ID_HEVC},
};

AVCodecID ProbedCodec(FOURCC compression) {
    for (const ProbedCode& probed : kProbedCodes) {
        if (SameFourCCIgnoringCase(probed.code, compression)) {
            return probed.codec;
        }
    }
    return AV_CODEC_ID_NONE;
}

// The code the driver list names a codec by: its first in the RIFF table, else the first of ours.
bool CodeOfCodec(AVCodecID codec, unsigned int* tag) {
    if (av_codec_get_tag2(kRiffTables, codec, tag)) {
        return true;
    }
    for (const ProbedCode& probed : kProbedCodes) {
        if (probed.codec == codec) {
            *tag = probed.code;
            return true;
        }
    }
    return false;
}

bool IsAlphanumeric(FOURCC code) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (!std::isalnum(static_cast<unsigned char>(code >> shift))) {
            return false;
        }
    }
    return true;
}

std::u16string CodeText(FOURCC code) {
    std::u16string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = static_cast<unsigned char>(code >> shift);
        text += std::isprint(c) ? char16_t(c) : u'?';
    }
    return text;
}

std::u16string Widen(const char* text) {
    return std::u16string(text, text + strlen(text));
}

std::vector<AVCodecID> CompressorCodecs() {
    std::vector<AVCodecID> codecs;
    for (const CompressorSpec& entry : kCompressors) {
        if (const AVCodec* encoder = avcodec_find_encoder_by_name(entry.encoderName)) {
            codecs.push_back(encoder->id);
        }
    }
    return codecs;
}

bool Listed(const std::vector<DecoderCode>& codes, FOURCC handler) {
    return std::any_of(codes.begin(), codes.end(), [&](const DecoderCode& code) {
        return SameFourCCIgnoringCase(code.handler, handler);
    });
}

std::vector<DecoderCode> CollectDecoderCodes() {
    std::vector<AVCodecID> seen = CompressorCodecs();
    std::vector<DecoderCode> codes;
    void* iteration = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iteration)) {
        if (!av_codec_is_decoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO ||
            std::find(seen.begin(), seen.end(), codec->id) != seen.end()) {
            continue;
        }
        seen.push_back(codec->id);
        unsigned int tag = 0;
        if (!CodeOfCodec(codec->id, &tag) || !IsAlphanumeric(tag) ||
            DecodingCodec(tag) != codec->id || Listed(codes, tag) || FindCompressor(tag)) {
            continue;
        }
        codes.push_back({tag, avcodec_find_decoder(codec->id)->name});
    }
    return codes;
}

// libavcodec's short name of the codec behind a handler code.
const char* CodecName(FOURCC handler) {
    if (const CompressorSpec* entry = FindCompressor(handler)) {
        return entry->encoderName;
    }
    const AVCodec* decoder = avcodec_find_decoder(DecodingCodec(handler));
    return decoder ? decoder->name : "none";
}

}  // namespace

std::span<const CompressorSpec> Compressors() {
    return kCompressors;
}

bool TakesSize(const CompressorSpec& entry, int width, int height) {
    const SizeRule& rule = entry.sizes;
    const FrameSize size{width, height};
    return width >= rule.minimum.width && height >= rule.minimum.height &&
           width % rule.step.width == 0 && height % rule.step.height == 0 &&
           (rule.only.empty() ||
            std::find(rule.only.begin(), rule.only.end(), size) != rule.only.end());
}

FrameSize CodedSize(const CompressorSpec& entry, int width, int height) {
    switch (entry.sizes.fit) {
        case SizeFit::WholeBlocks:
            return {width / kBlockSide * kBlockSide, height / kBlockSide * kBlockSide};
        case SizeFit::PaddedBlocks:
            return {(width + kBlockSide - 1) / kBlockSide * kBlockSide,
                    (height + kBlockSide - 1) / kBlockSide * kBlockSide};
        case SizeFit::Exact:
            break;
    }
    return {width, height};
}

const CompressorSpec* FindCompressor(FOURCC handler) {
    for (const CompressorSpec& entry : kCompressors) {
        if (SameFourCCIgnoringCase(entry.handler, handler)) {
            return &entry;
        }
    }
    return nullptr;
}

AVCodecID DecodingCodec(FOURCC compression) {
    if (SameFourCCIgnoringCase(compression, FourCC("DIB "))) {
        return AV_CODEC_ID_NONE;
    }
    AVCodecID codec = av_codec_get_id(kAviTables, compression);
    if (codec == AV_CODEC_ID_NONE) {
        codec = ProbedCodec(compression);
    }
    if (codec == AV_CODEC_ID_NONE || !avcodec_find_decoder(codec)) {
        return AV_CODEC_ID_NONE;
    }
    return codec;
}

std::span<const DecoderCode> DecoderCodes() {
    static const std::vector<DecoderCode> codes = CollectDecoderCodes();
    return codes;
}

std::u16string Description(FOURCC handler) {
    if (const CompressorSpec* entry = FindCompressor(handler)) {
        return entry->description;
    }
    const AVCodecID codec = DecodingCodec(handler);
    const auto named = std::find_if(std::begin(kNeutralNames), std::end(kNeutralNames),
                                    [&](const NeutralName& name) { return name.codec == codec; });
    const std::u16string name =
        named != std::end(kNeutralNames) ? named->name : Widen(CodecName(handler));
    return name + u" (" + CodeText(handler) + u")";
}

std::u16string ShortName(FOURCC handler) {
    return Widen(CodecName(handler)).substr(0, 15);
}

std::string DriverName(FOURCC handler) {
    return std::string("libavcodec:") + CodecName(handler);
}

}  // namespace zedadu::vfw::ffmpeg
