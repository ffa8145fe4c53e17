#include "platform/vfw/ffmpeg/key_frames.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace zedadu::vfw::ffmpeg {
namespace {

// Parsers that read the picture type; the others call every picture a key frame.
constexpr AVCodecID kTypeReadingParsers[] = {AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264, AV_CODEC_ID_HEVC,
                                             AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO};

bool ReadsPictureTypes(AVCodecID codec) {
    return std::find(std::begin(kTypeReadingParsers), std::end(kTypeReadingParsers), codec) !=
           std::end(kTypeReadingParsers);
}

bool IntraOnly(AVCodecID codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
}

// The visible bytes of every plane, and the palette of palette pictures.
bool SamePicture(const AVFrame& a, const AVFrame& b) {
    if (a.format != b.format || a.width != b.width || a.height != b.height) {
        return false;
    }
    const auto format = AVPixelFormat(a.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor) {
        return false;
    }
    for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
        const int rowBytes = av_image_get_linesize(format, a.width, plane);
        const bool chroma = plane == 1 || plane == 2;
        const int rows = chroma ? AV_CEIL_RSHIFT(a.height, descriptor->log2_chroma_h) : a.height;
        for (int row = 0; row < rows; ++row) {
            if (memcmp(a.data[plane] + ptrdiff_t(row) * a.linesize[plane],
                       b.data[plane] + ptrdiff_t(row) * b.linesize[plane], size_t(rowBytes)) != 0) {
                return false;
            }
        }
    }
    return !(descriptor->flags & AV_PIX_FMT_FLAG_PAL) ||
           memcmp(a.data[1], b.data[1], AVPALETTE_SIZE) == 0;
}

}  // namespace

std::unique_ptr<KeyFrameProbe> KeyFrameProbe::Open(AVCodecID handlerCodec,
                                                   const BITMAPINFOHEADER& header) {
    const auto source = InspectSource(handlerCodec, header);
    if (!source) {
        return nullptr;
    }
    std::unique_ptr<KeyFrameProbe> probe(new KeyFrameProbe);
    probe->handlerCodec_ = handlerCodec;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
    probe->header_.assign(bytes, bytes + header.biSize + 4 * source->paletteSize);
    probe->running_ = FrameDecoder::Open(handlerCodec, header);
    probe->intraOnly_ = IntraOnly(source->codec);
    if (!probe->running_) {
        return nullptr;
    }
    if (ReadsPictureTypes(source->codec)) {
        probe->parser_ = av_parser_init(source->codec);
        probe->parserContext_ = avcodec_alloc_context3(nullptr);
        if (!probe->parser_ || !probe->parserContext_) {
            return nullptr;
        }
        probe->parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        probe->parserContext_->codec_id = source->codec;
        probe->parserContext_->codec_type = AVMEDIA_TYPE_VIDEO;
        if (source->extradataSize > 0) {
            probe->parserContext_->extradata = static_cast<uint8_t*>(
                av_mallocz(source->extradataSize + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!probe->parserContext_->extradata) {
                return nullptr;
            }
            memcpy(probe->parserContext_->extradata, source->extradata, source->extradataSize);
            probe->parserContext_->extradata_size = int(source->extradataSize);
        }
    }
    return probe;
}

KeyFrameProbe::~KeyFrameProbe() {
    av_parser_close(parser_);
    avcodec_free_context(&parserContext_);
}

bool KeyFrameProbe::DecodesAlone(const uint8_t* data, size_t size) {
    if (size == 0) {
        return false;
    }
    if (intraOnly_) {
        return true;
    }
    return parser_ ? ParsedAsKey(data, size) : TrialDecodedAsKey(data, size);
}

bool KeyFrameProbe::ParsedAsKey(const uint8_t* data, size_t size) {
    if (size > size_t(INT_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
        return false;
    }
    std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::copy_n(data, size, padded.data());
    uint8_t* out = nullptr;
    int outSize = 0;
    parser_->key_frame = -1;
    av_parser_parse2(parser_, parserContext_, &out, &outSize, padded.data(), int(size),
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    return parser_->key_frame == 1 ||
           (parser_->key_frame == -1 && parser_->pict_type == AV_PICTURE_TYPE_I);
}

// A decoder that marks a picture as depending on others is believed; one that does not may be
// one that marks none, so the picture is checked against a fresh decode.
bool KeyFrameProbe::TrialDecodedAsKey(const uint8_t* data, size_t size) {
    const AVFrame* inOrder = running_->DecodePicture(data, size, false);
    if (!inOrder || !inOrder->key_frame) {
        return false;
    }
    const auto& header = *reinterpret_cast<const BITMAPINFOHEADER*>(header_.data());
    const auto fresh = FrameDecoder::Open(handlerCodec_, header);
    const AVFrame* alone = fresh ? fresh->DecodePicture(data, size, true) : nullptr;
    return alone && SamePicture(*alone, *inOrder);
}

}  // namespace zedadu::vfw::ffmpeg
