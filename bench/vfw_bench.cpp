// Per-frame cost of the compressor layer beside the same libavcodec and libswscale calls made
// directly, in one run: decoding to bottom-up RGB32 and compressing from bottom-up RGB24, at
// 720x480. The layer adds a copy of each chunk into its padded packet buffer and the message
// plumbing; everything else is the same work.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include "platform/vfw/ffmpeg/bitmap.h"
#include "platform/vfw/vfw.h"

namespace {

using zedadu::vfw::ffmpeg::ScaleFlags;
using zedadu::vfw::ffmpeg::SetFrameColorDetails;

constexpr int kWidth = 720;
constexpr int kHeight = 480;
constexpr int kPictures = 8;
constexpr int kKeyInterval = 15;
constexpr int kRgb24Stride = kWidth * 3;
constexpr int kRgb32Stride = kWidth * 4;

BITMAPINFOHEADER Header(WORD bitCount) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biSizeImage = DWORD(kWidth * bitCount / 8 * kHeight);
    return header;
}

// Bottom-up RGB24 pictures: gradients, a moving block and some texture.
const std::vector<std::vector<uint8_t>>& Pictures() {
    static const std::vector<std::vector<uint8_t>> pictures = [] {
        std::vector<std::vector<uint8_t>> made;
        uint32_t seed = 1;
        for (int index = 0; index < kPictures; ++index) {
            std::vector<uint8_t> picture(size_t(kRgb24Stride) * kHeight);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const bool block =
                        std::abs(x - 200 - 12 * index) < 40 && std::abs(y - 240) < 40;
                    uint8_t* pixel = picture.data() + size_t(y) * kRgb24Stride + 3 * x;
                    pixel[0] = uint8_t(block ? 220 : (x / 3 + index * 5) + (seed >> 29));
                    pixel[1] = uint8_t(block ? 40 : y / 2 + (seed >> 30));
                    pixel[2] = uint8_t((x + y) / 5 + index * 3);
                }
            }
            made.push_back(std::move(picture));
        }
        return made;
    }();
    return pictures;
}

struct CompressorClose {
    void operator()(CompressorInstance* compressor) const { ICClose(compressor); }
};
using Compressor = std::unique_ptr<CompressorInstance, CompressorClose>;

// A compressor begun on the RGB24 pictures, with a buffer and output format for its frames.
struct CompressorSession {
    Compressor compressor;
    BITMAPINFOHEADER input = Header(24);
    std::vector<uint8_t> format;
    std::vector<uint8_t> buffer;

    explicit CompressorSession(FOURCC handler)
        : compressor(ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS)), format(1064) {
        buffer.resize(
            size_t(ICSendMessage(compressor.get(), ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input), 0)));
        ICSendMessage(compressor.get(), ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input),
                      DWORD_PTR(format.data()));
        ICCOMPRESSFRAMES frames{};
        frames.lQuality = -1;
        frames.lKeyRate = kKeyInterval;
        frames.dwRate = 25;
        frames.dwScale = 1;
        ICSendMessage(compressor.get(), ICM_COMPRESS_FRAMES_INFO, DWORD_PTR(&frames),
                      sizeof frames);
        ICSendMessage(compressor.get(), ICM_COMPRESS_BEGIN, DWORD_PTR(&input),
                      DWORD_PTR(format.data()));
    }
    BITMAPINFOHEADER& Output() { return *reinterpret_cast<BITMAPINFOHEADER*>(format.data()); }

    std::vector<uint8_t> Compress(int frame) {
        DWORD chunkId = 0;
        DWORD flags = 0;
        ICCOMPRESS request{frame % kKeyInterval == 0 ? ICCOMPRESS_KEYFRAME : 0,
                           &Output(),
                           buffer.data(),
                           &input,
                           const_cast<uint8_t*>(Pictures()[frame % kPictures].data()),
                           &chunkId,
                           &flags,
                           frame,
                           0,
                           ICQUALITY_DEFAULT,
                           nullptr,
                           nullptr};
        Output().biSizeImage = DWORD(buffer.size());
        ICSendMessage(compressor.get(), ICM_COMPRESS, DWORD_PTR(&request), sizeof request);
        return {buffer.begin(), buffer.begin() + Output().biSizeImage};
    }
};

// The pictures compressed through the layer: the stream both decoders read.
struct Stream {
    std::vector<uint8_t> format;
    std::vector<std::vector<uint8_t>> chunks;
};

Stream Compressed(FOURCC handler) {
    CompressorSession session(handler);
    Stream stream;
    for (int frame = 0; frame < kPictures; ++frame) {
        stream.chunks.push_back(session.Compress(frame));
    }
    stream.format = session.format;
    return stream;
}

void LayerDecode(benchmark::State& state, FOURCC handler) {
    Stream stream = Compressed(handler);
    auto& source = *reinterpret_cast<BITMAPINFOHEADER*>(stream.format.data());
    BITMAPINFOHEADER target = Header(32);
    Compressor decompressor(ICOpen(ICTYPE_VIDEO, handler, ICMODE_DECOMPRESS));
    ICSendMessage(decompressor.get(), ICM_DECOMPRESS_BEGIN, DWORD_PTR(&source), DWORD_PTR(&target));
    std::vector<uint8_t> bitmap(target.biSizeImage);
    size_t index = 0;
    for (auto _ : state) {
        std::vector<uint8_t>& chunk = stream.chunks[index++ % stream.chunks.size()];
        source.biSizeImage = DWORD(chunk.size());
        ICDecompress(decompressor.get(), 0, &source, chunk.data(), &target, bitmap.data());
        benchmark::DoNotOptimize(bitmap.data());
    }
}

// The same decode as a plain libavcodec user writes it: packets prepared once (padded and
// reference-counted), one thread, libswscale into the bottom-up bitmap.
void DirectDecode(benchmark::State& state, FOURCC handler) {
    Stream stream = Compressed(handler);
    const auto& source = *reinterpret_cast<const BITMAPINFOHEADER*>(stream.format.data());
    const AVCodec* codec = avcodec_find_decoder_by_name(handler == FourCC("XVID")   ? "mpeg4"
                                                        : handler == FourCC("HFYU") ? "huffyuv"
                                                                                    : "mjpeg");
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    decoder->codec_tag = source.biCompression;
    decoder->width = kWidth;
    decoder->height = kHeight;
    decoder->bits_per_coded_sample = source.biBitCount;
    decoder->thread_count = 1;
    const size_t extra = source.biSize - sizeof source;
    decoder->extradata = static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    memcpy(decoder->extradata, stream.format.data() + sizeof source, extra);
    decoder->extradata_size = int(extra);
    avcodec_open2(decoder, codec, nullptr);
    std::vector<AVPacket*> packets;
    for (const auto& chunk : stream.chunks) {
        AVPacket* packet = av_packet_alloc();
        av_new_packet(packet, int(chunk.size()));
        memcpy(packet->data, chunk.data(), chunk.size());
        packets.push_back(packet);
    }
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    std::vector<uint8_t> bitmap(size_t(kRgb32Stride) * kHeight);
    uint8_t* planes[4] = {bitmap.data() + size_t(kHeight - 1) * kRgb32Stride};
    int strides[4] = {-kRgb32Stride};
    size_t index = 0;
    for (auto _ : state) {
        avcodec_send_packet(decoder, packets[index++ % packets.size()]);
        while (avcodec_receive_frame(decoder, frame) == 0) {
            const auto format = AVPixelFormat(frame->format);
            if (!scaler) {
                scaler = sws_getContext(
                    kWidth, kHeight, format, kWidth, kHeight, AV_PIX_FMT_BGRA,
                    ScaleFlags(format, kWidth, kHeight, AV_PIX_FMT_BGRA, kWidth, kHeight), nullptr,
                    nullptr, nullptr);
                SetFrameColorDetails(scaler, *frame);
            }
            sws_scale(scaler, frame->data, frame->linesize, 0, kHeight, planes, strides);
            av_frame_unref(frame);
        }
        benchmark::DoNotOptimize(bitmap.data());
    }
    sws_freeContext(scaler);
    av_frame_free(&frame);
    for (AVPacket* packet : packets) {
        av_packet_free(&packet);
    }
    avcodec_free_context(&decoder);
}

void LayerCompress(benchmark::State& state, FOURCC handler) {
    CompressorSession session(handler);
    int frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(session.Compress(frame++).data());
    }
}

struct DirectEncoder {
    const char* name;
    AVPixelFormat format;
    int quantiser;  // 0: no quality control
};

DirectEncoder DirectSettings(FOURCC handler) {
    if (handler == FourCC("HFYU")) {
        return {"huffyuv", AV_PIX_FMT_RGB24, 0};
    }
    if (handler == FourCC("XVID")) {
        return {"mpeg4", AV_PIX_FMT_YUV420P, 8};
    }
    return {"mjpeg", AV_PIX_FMT_YUVJ422P, 8};
}

// The same compression as a plain libavcodec user writes it, with the layer's settings: the
// default quality's quantiser, key frames every 15, one thread, libswscale from the bottom-up
// bitmap, the chunk copied out.
void DirectCompress(benchmark::State& state, FOURCC handler) {
    const DirectEncoder settings = DirectSettings(handler);
    const AVCodec* codec = avcodec_find_encoder_by_name(settings.name);
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = kWidth;
    encoder->height = kHeight;
    encoder->pix_fmt = settings.format;
    encoder->codec_tag = handler;
    encoder->thread_count = 1;
    encoder->max_b_frames = 0;
    encoder->time_base = {1, 25};
    encoder->framerate = {25, 1};
    encoder->gop_size = kKeyInterval;
    encoder->keyint_min = kKeyInterval;
    if (settings.quantiser) {
        encoder->qmin = 1;
        encoder->qmax = 31;
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = settings.quantiser * FF_QP2LAMBDA;
    }
    avcodec_open2(encoder, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    frame->format = settings.format;
    frame->width = kWidth;
    frame->height = kHeight;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    SwsContext* scaler = sws_getContext(
        kWidth, kHeight, AV_PIX_FMT_BGR24, kWidth, kHeight, settings.format,
        ScaleFlags(AV_PIX_FMT_BGR24, kWidth, kHeight, settings.format, kWidth, kHeight), nullptr,
        nullptr, nullptr);
    std::vector<uint8_t> output(size_t(kWidth) * kHeight * 16);
    int index = 0;
    for (auto _ : state) {
        av_frame_make_writable(frame);
        const uint8_t* planes[4] = {Pictures()[index % kPictures].data() +
                                    size_t(kHeight - 1) * kRgb24Stride};
        const int strides[4] = {-kRgb24Stride};
        sws_scale(scaler, planes, strides, 0, kHeight, frame->data, frame->linesize);
        frame->pts = index;
        frame->pict_type = index % kKeyInterval == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        frame->quality = settings.quantiser * FF_QP2LAMBDA;
        avcodec_send_frame(encoder, frame);
        if (avcodec_receive_packet(encoder, packet) == 0) {
            memcpy(output.data(), packet->data, size_t(packet->size));
            av_packet_unref(packet);
        }
        ++index;
        benchmark::DoNotOptimize(output.data());
    }
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
}

constexpr FOURCC kMjpg = FourCC("MJPG");
constexpr FOURCC kHfyu = FourCC("HFYU");
constexpr FOURCC kXvid = FourCC("XVID");

BENCHMARK_CAPTURE(DirectDecode, MJPG, kMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerDecode, MJPG, kMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectDecode, HFYU, kHfyu)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerDecode, HFYU, kHfyu)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectDecode, XVID, kXvid)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerDecode, XVID, kXvid)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectCompress, MJPG, kMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerCompress, MJPG, kMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectCompress, HFYU, kHfyu)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerCompress, HFYU, kHfyu)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DirectCompress, XVID, kXvid)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LayerCompress, XVID, kXvid)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
