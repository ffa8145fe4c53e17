#include "platform/vfw/ffmpeg/decoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "platform/vfw/ffmpeg/codecs.h"
#include "platform/vfw/ffmpeg/slice_threads.h"

namespace zedadu::vfw::ffmpeg {
namespace {

bool ExtradataFits(const BITMAPINFOHEADER& header) {
    return header.biSize >= sizeof(BITMAPINFOHEADER) &&
           header.biSize - sizeof(BITMAPINFOHEADER) <= kMaxInputExtradata;
}

// Colour-table entries that follow the header of a 1- to 8-bit format.
size_t PaletteEntries(const BITMAPINFOHEADER& header) {
    if (header.biBitCount < 1 || header.biBitCount > 8) {
        return 0;
    }
    const size_t full = size_t(1) << header.biBitCount;
    return header.biClrUsed ? std::min<size_t>(header.biClrUsed, 256) : full;
}

// The raw decoder turns bottom-up rows around when its extra data ends with this mark, as
// libavformat sets it for uncompressed streams.
constexpr char kBottomUpMark[] = "BottomUp";

// Chunks decoded in order before frame threads are worth their start: a host that jumps decodes
// a few chunks from a key frame on the caller's thread, a host that reads on gets the threads.
constexpr int kChunksBeforeFrameThreads = 4;
// Chunks after which a decoder handing over to frame threads is given up on: more than any group
// shows before its key frame.
constexpr int kMostHandoverChunks = 16;

bool PictureDamaged(const AVFrame& picture) {
    return picture.decode_error_flags != 0 || (picture.flags & AV_FRAME_FLAG_CORRUPT) != 0;
}

bool ReceiveFailed(int result) {
    return result < 0 && result != AVERROR(EAGAIN) && result != AVERROR_EOF;
}

// H.261 has no picture types: libavcodec takes every picture for a predicted one and logs the
// first it decodes, intra in all its blocks where the stream or a key frame starts, as "no
// keyframe" at error level. That is no damage.
bool PictureTypeNotice(const AVCodecContext& context, const char* format) {
    return context.codec_id == AV_CODEC_ID_H261 && strstr(format, "first frame is no keyframe");
}

}  // namespace

void NoteDecoderLog(void* object, int level, const char* format, va_list arguments) {
    if (level <= AV_LOG_ERROR && object &&
        *static_cast<const AVClass* const*>(object) == avcodec_get_class()) {
        const auto& context = *static_cast<const AVCodecContext*>(object);
        auto* log = static_cast<FrameDecoder::ErrorLog*>(context.opaque);
        if (log && log->tag == FrameDecoder::kErrorLogTag && !PictureTypeNotice(context, format)) {
            ++log->errors;
        }
    }
    av_log_default_callback(object, level, format, arguments);
}

std::optional<SourceFormat> InspectSource(AVCodecID handlerCodec, const BITMAPINFOHEADER& header) {
    if (!ExtradataFits(header) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == INT32_MIN) {
        return std::nullopt;
    }
    const int width = header.biWidth;
    const int height = std::abs(header.biHeight);
    if (av_image_check_size(width, height, 0, nullptr) < 0) {
        return std::nullopt;
    }
    const bool runLength = header.biCompression == BI_RGB && handlerCodec == AV_CODEC_ID_MSRLE;
    const AVCodecID codec = runLength ? AV_CODEC_ID_MSRLE : DecodingCodec(header.biCompression);
    if (codec == AV_CODEC_ID_NONE) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
    const bool bottomUpRaw =
        codec == AV_CODEC_ID_RAWVIDEO && header.biCompression == BI_RGB && header.biHeight > 0;
    return SourceFormat{codec,
                        width,
                        height,
                        bottomUpRaw,
                        bytes + sizeof(BITMAPINFOHEADER),
                        header.biSize - sizeof(BITMAPINFOHEADER),
                        reinterpret_cast<const RGBQUAD*>(bytes + header.biSize),
                        PaletteEntries(header)};
}

std::unique_ptr<FrameDecoder> FrameDecoder::Open(AVCodecID handlerCodec,
                                                 const BITMAPINFOHEADER& header) {
    const auto source = InspectSource(handlerCodec, header);
    if (!source) {
        return nullptr;
    }
    std::unique_ptr<FrameDecoder> decoder(new FrameDecoder);
    if (!decoder->Start(*source, header)) {
        return nullptr;
    }
    return decoder;
}

FrameDecoder::~FrameDecoder() {
    avcodec_free_context(&context_);
    avcodec_free_context(&threaded_);
    av_packet_free(&packet_);
    av_frame_free(&received_);
    av_frame_free(&latest_);
    av_buffer_unref(&chunk_);
    ForgetWaiting();
}

bool FrameDecoder::Start(const SourceFormat& source, const BITMAPINFOHEADER& header) {
    const AVCodec* codec = avcodec_find_decoder(source.codec);
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    received_ = av_frame_alloc();
    latest_ = av_frame_alloc();
    if (!codec || !context_ || !packet_ || !received_ || !latest_) {
        return false;
    }
    context_->opaque = &log_;
    context_->codec_tag = header.biCompression;
    context_->width = source.width;
    context_->height = source.height;
    context_->bits_per_coded_sample = header.biBitCount;
    context_->thread_count = SliceThreads(*codec);
    context_->thread_type = FF_THREAD_SLICE;
    const size_t markSize = source.bottomUpRaw ? sizeof kBottomUpMark : 0;
    const size_t extradataSize = source.extradataSize + markSize;
    if (extradataSize > 0) {
        context_->extradata =
            static_cast<uint8_t*>(av_mallocz(extradataSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context_->extradata) {
            return false;
        }
        memcpy(context_->extradata, source.extradata, source.extradataSize);
        memcpy(context_->extradata + source.extradataSize, kBottomUpMark, markSize);
        context_->extradata_size = int(extradataSize);
    }
    for (size_t i = 0; i < source.paletteSize; ++i) {
        const RGBQUAD& entry = source.palette[i];
        palette_[i] = 0xFF000000u | uint32_t(entry.rgbRed) << 16 | uint32_t(entry.rgbGreen) << 8 |
                      entry.rgbBlue;
    }
    paletteDue_ = source.paletteSize > 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
    format_.assign(bytes, bytes + header.biSize + 4 * source.paletteSize);
    memset(format_.data() + offsetof(BITMAPINFOHEADER, biSizeImage), 0, sizeof(DWORD));
    return avcodec_open2(context_, codec, nullptr) >= 0;
}

bool FrameDecoder::Matches(const BITMAPINFOHEADER& header) const {
    if (!ExtradataFits(header) || format_.size() != header.biSize + 4 * PaletteEntries(header)) {
        return false;
    }
    BITMAPINFOHEADER fixed = header;
    fixed.biSizeImage = 0;
    const auto* rest = reinterpret_cast<const uint8_t*>(&header) + sizeof fixed;
    return memcmp(format_.data(), &fixed, sizeof fixed) == 0 &&
           memcmp(format_.data() + sizeof fixed, rest, format_.size() - sizeof fixed) == 0;
}

bool FrameDecoder::PreparePacket(const uint8_t* data, size_t size, bool keyFrame) {
    if (size > size_t(INT_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
        return false;
    }
    const size_t needed = size + AV_INPUT_BUFFER_PADDING_SIZE;
    if (!chunk_ || chunk_->size < needed || !av_buffer_is_writable(chunk_)) {
        const size_t capacity = chunk_ ? std::max(needed, chunk_->size) : needed;
        av_buffer_unref(&chunk_);
        chunk_ = av_buffer_alloc(capacity);
        if (!chunk_) {
            return false;
        }
    }
    std::copy_n(data, size, chunk_->data);
    memset(chunk_->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->buf = av_buffer_ref(chunk_);
    if (!packet_->buf) {
        return false;
    }
    packet_->data = chunk_->data;
    packet_->size = int(size);
    packet_->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    packet_->pts = ++chunks_;  // which chunk a picture came from
    if (paletteDue_) {
        uint8_t* side = av_packet_new_side_data(packet_, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
        if (!side) {
            return false;
        }
        memcpy(side, palette_.data(), AVPALETTE_SIZE);
        paletteDue_ = false;
    }
    return true;
}

FrameDecoder::Fed FrameDecoder::Feed(const uint8_t* data, size_t size, bool keyFrame) {
    Fed fed;
    if (draining_) {
        Restart();
    }
    fed.packetMade = PreparePacket(data, size, keyFrame);
    if (!fed.packetMade) {
        av_packet_unref(packet_);
        return fed;
    }
    if (ShouldMoveToFrameThreads(keyFrame)) {
        MoveToFrameThreads();
    }
    const SliceThreadTurn turn(Active()->thread_count > 1);
    const uint32_t errorsBefore = log_.errors;
    if (handingOver_ && !firstDone_) {
        ++handoverChunks_;
        avcodec_send_packet(context_, packet_);
    }
    const int sent = avcodec_send_packet(Active(), packet_);
    fed.accepted = sent >= 0;
    av_packet_unref(packet_);
    ++inOrder_;
    fed.released = ReleaseOne();
    fed.damaged = ReceiveFailed(sent) || receiveFailed_ || log_.errors != errorsBefore ||
                  (fed.released && PictureDamaged(*latest_));
    return fed;
}

bool FrameDecoder::ShouldMoveToFrameThreads(bool keyFrame) const {
    return feedsAhead_ && keyFrame && !onFrameThreads_ && !frameThreadsFailed_ &&
           inOrder_ >= kChunksBeforeFrameThreads && FrameThreads(*context_->codec) > 1;
}

bool FrameDecoder::OpenFrameThreads() {
    const AVCodec* codec = context_->codec;
    threaded_ = avcodec_alloc_context3(codec);
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    const bool copied = threaded_ && parameters &&
                        avcodec_parameters_from_context(parameters, context_) >= 0 &&
                        avcodec_parameters_to_context(threaded_, parameters) >= 0;
    avcodec_parameters_free(&parameters);
    if (!copied) {
        return false;
    }
    threaded_->opaque = &log_;
    threaded_->thread_count = FrameThreads(*codec);
    threaded_->thread_type = FF_THREAD_FRAME;
    return avcodec_open2(threaded_, codec, nullptr) >= 0;
}

// The decoder on frame threads starts at this key frame. Pictures a key frame's group shows before
// it (an open group) need the group before, which only the first decoder has: it goes on with the
// next chunks until it releases the key frame's picture, and the new one's pictures count from
// that picture on.
void FrameDecoder::MoveToFrameThreads() {
    if (!threaded_ && !OpenFrameThreads()) {
        avcodec_free_context(&threaded_);
        frameThreadsFailed_ = true;
        return;
    }
    onFrameThreads_ = true;
    handingOver_ = true;
    firstDone_ = false;
    keySeen_ = false;
    keyChunk_ = packet_->pts;
    handoverChunks_ = 0;
}

void FrameDecoder::Queue(std::deque<AVFrame*>& queue) {
    AVFrame* picture = av_frame_alloc();
    if (picture) {
        av_frame_move_ref(picture, received_);
        queue.push_back(picture);
    }
    av_frame_unref(received_);
}

// What both decoders released while the first one finishes: its pictures up to the key frame's,
// then the new one's from the key frame's on. A first decoder that does not get there within a
// few chunks is given up.
void FrameDecoder::CollectHandover() {
    int result = 0;
    while (!firstDone_ && (result = avcodec_receive_frame(context_, received_)) == 0) {
        if (received_->pts == keyChunk_) {
            av_frame_unref(received_);
            firstDone_ = true;
        } else {
            Queue(waiting_);
        }
    }
    if (result == AVERROR_EOF || handoverChunks_ > kMostHandoverChunks) {
        firstDone_ = true;
    }
    while ((result = avcodec_receive_frame(threaded_, received_)) == 0) {
        keySeen_ = keySeen_ || received_->pts == keyChunk_ || handoverChunks_ > kMostHandoverChunks;
        if (keySeen_) {
            Queue(afterKey_);
        } else {
            av_frame_unref(received_);  // shown before the key frame, without its references
        }
    }
    keySeen_ = keySeen_ || result == AVERROR_EOF;
    if (firstDone_ && keySeen_) {
        avcodec_flush_buffers(context_);
        waiting_.insert(waiting_.end(), afterKey_.begin(), afterKey_.end());
        afterKey_.clear();
        handingOver_ = false;
    }
}

bool FrameDecoder::ReleaseOne() {
    if (handingOver_) {
        CollectHandover();
    }
    bool released = false;
    int result = AVERROR(EAGAIN);
    while (!handingOver_ && (result = avcodec_receive_frame(Active(), received_)) == 0) {
        if (!released && waiting_.empty()) {
            av_frame_unref(latest_);
            av_frame_move_ref(latest_, received_);
            released = true;
            continue;
        }
        Queue(waiting_);
    }
    receiveFailed_ = ReceiveFailed(result);
    if (released || waiting_.empty()) {
        return released;
    }
    AVFrame* oldest = waiting_.front();
    waiting_.pop_front();
    av_frame_unref(latest_);
    av_frame_move_ref(latest_, oldest);
    av_frame_free(&oldest);
    return true;
}

void FrameDecoder::ForgetWaiting() {
    for (std::deque<AVFrame*>* queue : {&waiting_, &afterKey_}) {
        for (AVFrame*& picture : *queue) {
            av_frame_free(&picture);
        }
        queue->clear();
    }
    handingOver_ = false;
}

LRESULT FrameDecoder::Drain(bool draw, const BitmapLayout& output, uint8_t* bits) {
    if (!draining_) {
        draining_ = true;
        if (handingOver_ && !firstDone_) {
            avcodec_send_packet(context_, nullptr);
        }
        avcodec_send_packet(Active(), nullptr);
    }
    if (!ReleaseOne()) {
        return ICERR_DONTDRAW;
    }
    return draw ? Redraw(output, bits) : ICERR_OK;
}

int FrameDecoder::HeldBack() {
    feedsAhead_ = true;
    const int reordered = std::max(0, Active()->has_b_frames);
    return onFrameThreads_ ? reordered + threaded_->thread_count - 1 : reordered;
}

void FrameDecoder::Restart() {
    inOrder_ = 0;
    if (!draining_ && waiting_.empty() && !onFrameThreads_ && context_->has_b_frames <= 0) {
        return;
    }
    avcodec_flush_buffers(context_);
    if (threaded_) {
        avcodec_flush_buffers(threaded_);
    }
    onFrameThreads_ = false;
    ForgetWaiting();
    draining_ = false;
}

const AVFrame* FrameDecoder::DecodePicture(const uint8_t* data, size_t size, bool keyFrame) {
    return size > 0 && Feed(data, size, keyFrame).released ? latest_ : nullptr;
}

LRESULT FrameDecoder::Decode(const uint8_t* data, size_t size, bool keyFrame, bool draw,
                             const BitmapLayout& output, uint8_t* bits) {
    if (size == 0) {
        return ICERR_OK;
    }
    const Fed fed = Feed(data, size, keyFrame);
    if (!fed.packetMade) {
        return ICERR_MEMORY;
    }
    if (!fed.accepted && !fed.released && HoldsPicturesBack()) {
        return ICERR_ERROR;
    }
    const LRESULT drawn = draw ? Redraw(output, bits) : ICERR_OK;
    if (drawn != ICERR_OK) {
        return drawn;
    }
    // No picture: the caller learns to feed ahead, unless the chunk was refused or damaged by a
    // decoder that holds nothing back, whose newest picture then stands for it.
    if (!fed.released && fed.accepted && (!fed.damaged || HoldsPicturesBack())) {
        return ICERR_DONTDRAW;
    }
    return fed.accepted && !fed.damaged ? ICERR_OK : ICERR_ERROR;
}

bool FrameDecoder::HoldsPicturesBack() const {
    return onFrameThreads_ || Active()->has_b_frames > 0 || !waiting_.empty();
}

LRESULT FrameDecoder::Redraw(const BitmapLayout& output, uint8_t* bits) {
    if (!latest_->data[0]) {
        return ICERR_OK;
    }
    return scaler_.FrameToBitmap(*latest_, output, bits) ? ICERR_OK : ICERR_INTERNAL;
}

}  // namespace zedadu::vfw::ffmpeg
