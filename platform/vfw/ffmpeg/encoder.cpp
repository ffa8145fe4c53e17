#include "platform/vfw/ffmpeg/encoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

#include "platform/vfw/ffmpeg/slice_threads.h"

namespace zedadu::vfw::ffmpeg {
namespace {

// 10000 is the finest quantiser 1, 0 the coarsest 31.
int Quantiser(int quality) {
    return 31 - (quality * 30 + 5000) / 10000;
}

// The encoder's own weight at the default quality, doubling for every 1250 below it.
int Lambda(int quality) {
    return int(std::lround(2 * FF_LAMBDA_SCALE * std::exp2((kDefaultQuality - quality) / 1250.0)));
}

// MPEG-4 limits the time base's denominator to 16 bits, so 29.97 frames a second become
// 30000/1001.
AVRational TimeBase(AVRational frameRate) {
    AVRational base{1, 25};
    if (frameRate.num > 0 && frameRate.den > 0) {
        av_reduce(&base.num, &base.den, frameRate.den, frameRate.num, 65535);
    }
    return base;
}

// More pictures than an encoder without B-frames ever holds at once.
constexpr size_t kMostFrames = 4;

// Rows of a band thinner than this are not worth a thread of their own.
constexpr int kLeastBandRows = 16;

// Whether every row of a picture of this format comes from the same row of the bitmap alone, so
// that converting it band by band gives the very bytes of one conversion: no chroma shared between
// rows, and 8-bit samples (dithering to fewer bits follows the rows of a conversion).
bool RowsConvertAlone(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && descriptor->log2_chroma_h == 0 && descriptor->comp[0].depth == 8;
}

// One band of rows, converted on a slice thread by a scaler of its own.
struct Band {
    PictureScaler* scaler;
    BitmapLayout layout;  // the band's rows alone
    const uint8_t* bits;
    AVFrame frame;  // the picture's planes from the band's first row on
    int width;
    int height;
    bool converted;
};

int ConvertBand(AVCodecContext*, void* argument) {
    Band& band = *static_cast<Band*>(argument);
    band.converted =
        band.scaler->BitmapToFrame(band.layout, band.bits, band.width, band.height, band.frame);
    return 0;
}

// Picture rows [top, top + rows) of the bitmap and of the frame.
Band BandOf(const BitmapLayout& input, const uint8_t* bits, const AVFrame& frame, int top, int rows,
            int width, PictureScaler* scaler) {
    const int firstStored = input.bottomUp ? input.height - top - rows : top;
    Band band{scaler, input, bits + ptrdiff_t(firstStored) * input.stride, frame, width,
              rows,   false};
    band.layout.height = rows;
    band.frame.height = rows;
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && band.frame.data[plane]; ++plane) {
        band.frame.data[plane] += ptrdiff_t(top) * band.frame.linesize[plane];
    }
    return band;
}

}  // namespace

FrameEncoder::FrameEncoder(const CompressorSpec& entry, const EncoderSettings& settings,
                           const CompressorState& state)
    : spec_(entry),
      settings_(settings),
      state_(state),
      coded_(CodedSize(entry, settings.width, settings.height)) {
    frames_.reserve(kMostFrames);  // adding a picture never moves the pool
}

std::unique_ptr<FrameEncoder> FrameEncoder::Open(const CompressorSpec& entry,
                                                 const EncoderSettings& settings,
                                                 const CompressorState& state) {
    std::unique_ptr<FrameEncoder> encoder(new FrameEncoder(entry, settings, state));
    encoder->packet_ = av_packet_alloc();
    encoder->fitting_ = av_packet_alloc();
    if (!encoder->packet_ || !encoder->fitting_ || !encoder->OpenContext()) {
        return nullptr;
    }
    return encoder;
}

FrameEncoder::~FrameEncoder() {
    avcodec_free_context(&context_);
    for (AVFrame*& frame : frames_) {
        av_frame_free(&frame);
    }
    av_packet_free(&packet_);
    av_packet_free(&fitting_);
}

bool FrameEncoder::OpenContext() {
    avcodec_free_context(&context_);
    const AVCodec* codec = avcodec_find_encoder_by_name(spec_.encoderName);
    context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context_) {
        return false;
    }
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    intraOnly_ = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    context_->width = coded_.width;
    context_->height = coded_.height;
    context_->pix_fmt = settings_.pixelFormat;
    context_->codec_tag = spec_.compression;
    // Slice threads change the bitstream only where a codec writes one slice per thread: Motion
    // JPEG gains restart markers and MPEG-4 resync markers, at the same quantisers.
    context_->thread_count = SliceThreads(*codec);
    context_->thread_type = FF_THREAD_SLICE;
    context_->max_b_frames = 0;  // one frame in, one chunk out
    context_->time_base = TimeBase(settings_.frameRate);
    context_->framerate = settings_.frameRate;
    if (spec_.level > 0) {
        context_->level = spec_.level;
    }
    if (spec_.slices) {
        context_->slices = spec_.slices(coded_.width, coded_.height);
    }
    // Encoders that key on their own schedule key where the caller forces key frames.
    context_->gop_size = settings_.keyInterval;
    context_->keyint_min = std::max(0, settings_.keyInterval + spec_.keyIntMinOffset);
    SetQuality();
    state_.Apply(context_);
    nextPts_ = 0;
    return avcodec_open2(context_, codec, nullptr) >= 0;
}

void FrameEncoder::SetQuality() {
    if (spec_.quality != QualityScale::Quantiser) {
        return;
    }
    context_->qmin = 1;
    context_->qmax = 31;
    if (spec_.bitRateControl && settings_.dataRate > 0) {
        // libavcodec tolerates megabits of drift by default; a frame's worth keeps a low data
        // rate within reach over a few frames.
        const AVRational rate = context_->framerate;
        context_->bit_rate = settings_.dataRate * 8;
        context_->bit_rate_tolerance =
            int(std::clamp<int64_t>(context_->bit_rate * rate.den / rate.num, 1, INT_MAX));
    } else {
        context_->flags |= AV_CODEC_FLAG_QSCALE;
        context_->global_quality = FrameQuality(settings_.quality);
    }
}

WORD FrameEncoder::BitCount() const {
    // As libavformat's AVI writer has it: the encoder's coded depth, else 24.
    return context_->bits_per_coded_sample > 0 ? WORD(context_->bits_per_coded_sample) : 24;
}

std::span<const uint8_t> FrameEncoder::Extradata() const {
    if (!context_->extradata || context_->extradata_size <= 0) {
        return {};
    }
    return {context_->extradata, size_t(context_->extradata_size)};
}

int FrameEncoder::FrameQuality(int quality) const {
    switch (spec_.quality) {
        case QualityScale::Quantiser:
            return Quantiser(quality) * FF_QP2LAMBDA;
        case QualityScale::Lambda:
            return Lambda(quality) + 1;  // the encoder takes the weight + 1
        case QualityScale::None:
            return 0;
    }
    return 0;
}

bool FrameEncoder::IsKey() const {
    return (packet_->flags & AV_PKT_FLAG_KEY) || intraOnly_;
}

bool FrameEncoder::Encode(bool forceKey, int frameQuality) {
    frame_->pts = nextPts_++;
    frame_->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    frame_->quality = frameQuality;
    av_packet_unref(packet_);
    const SliceThreadTurn turn(context_->thread_count > 1);
    return avcodec_send_frame(context_, frame_) >= 0 &&
           avcodec_receive_packet(context_, packet_) >= 0;
}

bool FrameEncoder::EncodeKeyHonestly(bool forceKey, int frameQuality) {
    if (!Encode(forceKey, frameQuality)) {
        return false;
    }
    if (!forceKey || IsKey()) {
        return true;
    }
    // The encoder keeps its own key interval and ignores a forced key frame; a fresh encoder
    // starts with one.
    return OpenContext() && Encode(true, frameQuality) && IsKey();
}

size_t FrameEncoder::FrameBudget(DWORD frameSize) const {
    if (!(spec_.flags & VIDCF_CRUNCH)) {
        return 0;
    }
    size_t budget = frameSize;
    const AVRational rate = settings_.frameRate;
    if (settings_.dataRate > 0 && rate.num > 0 && rate.den > 0) {
        const auto share = size_t(std::max<int64_t>(1, settings_.dataRate * rate.den / rate.num));
        budget = budget ? std::min(budget, share) : share;
    }
    return budget;
}

// Intra-only encoders can encode a frame again without side effects: search the finest
// quantiser whose frame fits.
bool FrameEncoder::FitBudget(bool forceKey, int quality, size_t budget) {
    int finest = Quantiser(quality) + 1;
    int coarsest = 31;
    bool found = false;
    av_packet_unref(fitting_);
    while (finest <= coarsest) {
        const int quantiser = (finest + coarsest) / 2;
        if (!Encode(forceKey, quantiser * FF_QP2LAMBDA)) {
            return false;
        }
        if (size_t(packet_->size) <= budget) {
            av_packet_unref(fitting_);
            av_packet_move_ref(fitting_, packet_);
            found = true;
            coarsest = quantiser - 1;
        } else {
            finest = quantiser + 1;
        }
    }
    // When nothing fits, the last attempt was the coarsest quantiser and its frame stays.
    if (found) {
        av_packet_unref(packet_);
        av_packet_move_ref(packet_, fitting_);
    }
    return true;
}

AVFrame* FrameEncoder::WritableFrame() {
    for (AVFrame* frame : frames_) {
        if (av_frame_is_writable(frame)) {
            return frame;
        }
    }
    if (frames_.size() >= kMostFrames) {
        // Never reached by the encoders offered; copying the oldest keeps a runaway one bounded.
        return av_frame_make_writable(frames_.front()) >= 0 ? frames_.front() : nullptr;
    }
    AVFrame* frame = av_frame_alloc();
    if (!frame) {
        return nullptr;
    }
    frame->format = settings_.pixelFormat;
    frame->width = coded_.width;
    frame->height = coded_.height;
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return nullptr;
    }
    frames_.push_back(frame);
    return frame;
}

// The bitmap in the encoder's picture: cropped to its whole blocks, or padded to whole blocks.
bool FrameEncoder::TakePicture(const BitmapLayout& input, const uint8_t* bits) {
    frame_ = WritableFrame();
    if (!frame_) {
        return false;
    }
    const int width = std::min(input.width, coded_.width);
    const int height = std::min(input.height, coded_.height);
    const int bands = ConversionBands(input, height);
    const bool converted = bands > 1 ? ConvertInBands(input, bits, width, height, bands)
                                     : scaler_.BitmapToFrame(input, bits, width, height, *frame_);
    if (!converted) {
        return false;
    }
    if (width < coded_.width || height < coded_.height) {
        RepeatEdges(*frame_, width, height);
    }
    return true;
}

// As many bands as the encoder has slice threads, where rows convert alone.
int FrameEncoder::ConversionBands(const BitmapLayout& input, int height) const {
    if (context_->thread_count <= 1 || !RowsConvertAlone(input.pixelFormat) ||
        !RowsConvertAlone(settings_.pixelFormat)) {
        return 1;
    }
    return std::clamp(height / kLeastBandRows, 1, context_->thread_count);
}

// The conversion shares the encoder's slice threads, in the same turn as its encoding would.
bool FrameEncoder::ConvertInBands(const BitmapLayout& input, const uint8_t* bits, int width,
                                  int height, int bands) {
    while (bandScalers_.size() < size_t(bands)) {
        bandScalers_.push_back(std::make_unique<PictureScaler>());
    }
    std::vector<Band> work;
    for (int i = 0; i < bands; ++i) {
        const int top = height * i / bands;
        const int rows = height * (i + 1) / bands - top;
        work.push_back(BandOf(input, bits, *frame_, top, rows, width, bandScalers_[i].get()));
    }
    const SliceThreadTurn turn(true);
    context_->execute(context_, ConvertBand, work.data(), nullptr, bands, sizeof(Band));
    return std::all_of(work.begin(), work.end(), [](const Band& band) { return band.converted; });
}

LRESULT FrameEncoder::Compress(const ICCOMPRESS& request) {
    if (!request.lpbiInput || !request.lpInput || !request.lpbiOutput || !request.lpOutput) {
        return ICERR_BADPARAM;
    }
    const auto input = UncompressedLayout(*request.lpbiInput);
    if (!input || input->width != settings_.width || input->height != settings_.height) {
        return ICERR_BADFORMAT;
    }
    if (!TakePicture(*input, static_cast<const uint8_t*>(request.lpInput))) {
        return ICERR_INTERNAL;
    }
    const bool forceKey = request.dwFlags & ICCOMPRESS_KEYFRAME;
    const int quality = request.dwQuality <= 10000 ? int(request.dwQuality) : settings_.quality;
    if (!EncodeKeyHonestly(forceKey, FrameQuality(quality))) {
        return ICERR_INTERNAL;
    }
    const size_t budget = FrameBudget(request.dwFrameSize);
    if (budget > 0 && size_t(packet_->size) > budget && !FitBudget(forceKey, quality, budget)) {
        return ICERR_INTERNAL;
    }
    return Deliver(request);
}

LRESULT FrameEncoder::Deliver(const ICCOMPRESS& request) const {
    // The caller's buffer holds the output format's image size, or the largest frame.
    const DWORD room = request.lpbiOutput->biSizeImage;
    const size_t capacity = room ? room : spec_.maxFrameBytes(settings_.width, settings_.height);
    const auto size = size_t(packet_->size);
    if (size > capacity) {
        return ICERR_BADSIZE;
    }
    memcpy(request.lpOutput, packet_->data, size);
    request.lpbiOutput->biSizeImage = DWORD(size);
    if (request.lpckid) {
        *request.lpckid = cktypeDIBcompressed;
    }
    if (request.lpdwFlags) {
        *request.lpdwFlags = IsKey() ? AVIIF_KEYFRAME : 0;
    }
    return ICERR_OK;
}

}  // namespace zedadu::vfw::ffmpeg
