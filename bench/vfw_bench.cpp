// Per-frame cost of the compressor layer beside the same libavcodec and libswscale calls made
// directly, side by side in one run:
//   LayerCompress1/<case> against DirectCompress/<case>: bottom-up RGB24 compressed with the same
//     settings (quality 7500 is quantiser 8, a key frame every 15), the layer held to one core;
//     target at most 1.05x.
//   LayerCompress/<case> against DirectCompress/<case>: the layer on slice threads, one a core,
//     beside the one-thread direct encode; target at least 1.7x as fast on two cores for Motion
//     JPEG and FFV1 at 1920x1080 and DV at 720x480. Motion JPEG on slices codes with the standard
//     Huffman tables (libavcodec builds optimal ones only for a single slice); DirectCompressN is
//     the direct encode on as many slice threads, the same work as the layer's.
//   LayerDecode/<case> against DirectDecode/<case>: the chunks the layer compressed, decoded to
//     bottom-up RGB32. DV 720x480 and FFV1 1920x1080 (version 3 in 16 slices, as the layer
//     writes it) decode on slice threads in the layer and on one thread directly; target at
//     least 1.6x as fast on two cores. The other codecs decode on one thread both ways.
// Before timing, each pair must produce the same bytes within 1% (compressed output at the same
// thread count, decoded pictures exactly), or the run stops: the ratios compare the same work.
// The ratios are printed at the end (medians where there are repetitions).
//
//   vfw_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "bench/ratios.h"
#include "platform/vfw/ffmpeg/bitmap.h"
#include "platform/vfw/vfw.h"

namespace {

using zedadu::vfw::ffmpeg::ScaleFlags;
using zedadu::vfw::ffmpeg::SetFrameColorDetails;

struct Size {
    int width;
    int height;
    bool operator<(const Size& other) const {
        return width != other.width ? width < other.width : height < other.height;
    }
};
constexpr Size kSd{720, 480};
constexpr Size kHd{1920, 1080};
constexpr int kPictures = 8;
constexpr int kKeyInterval = 15;
constexpr int kCheckedFrames = 30;

int Stride(Size size, int bitCount) {
    return (size.width * bitCount / 8 + 3) / 4 * 4;
}

BITMAPINFOHEADER Header(Size size, WORD bitCount) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = size.width;
    header.biHeight = size.height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biSizeImage = DWORD(Stride(size, bitCount) * size.height);
    return header;
}

// Bottom-up RGB24 pictures: gradients, a moving block and some texture.
std::vector<std::vector<uint8_t>> MakePictures(Size size) {
    std::vector<std::vector<uint8_t>> made;
    uint32_t seed = 1;
    const int stride = Stride(size, 24);
    for (int index = 0; index < kPictures; ++index) {
        std::vector<uint8_t> picture(size_t(stride) * size.height);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const bool block = std::abs(x - 200 - 12 * index) < 40 && std::abs(y - 240) < 40;
                uint8_t* pixel = picture.data() + size_t(y) * stride + 3 * x;
                pixel[0] = uint8_t(block ? 220 : (x / 3 + index * 5) + (seed >> 29));
                pixel[1] = uint8_t(block ? 40 : y / 2 + (seed >> 30));
                pixel[2] = uint8_t((x + y) / 5 + index * 3);
            }
        }
        made.push_back(std::move(picture));
    }
    return made;
}

const std::vector<std::vector<uint8_t>>& Pictures(Size size) {
    static std::map<Size, std::vector<std::vector<uint8_t>>> made;
    auto found = made.find(size);
    if (found == made.end()) {
        found = made.emplace(size, MakePictures(size)).first;
    }
    return found->second;
}

struct CompressorClose {
    void operator()(CompressorInstance* compressor) const { ICClose(compressor); }
};
using Compressor = std::unique_ptr<CompressorInstance, CompressorClose>;

// A compressor begun on the RGB24 pictures as the writer begins it, writing into one buffer.
class LayerCompressor {
  public:
    LayerCompressor(FOURCC handler, Size size)
        : size_(size),
          compressor_(ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS)),
          input_(Header(size, 24)),
          format_(1064) {
        buffer_.resize(
            size_t(ICSendMessage(compressor_.get(), ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input_), 0)));
        ICSendMessage(compressor_.get(), ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input_),
                      DWORD_PTR(format_.data()));
        ICCOMPRESSFRAMES frames{};
        frames.lQuality = -1;
        frames.lKeyRate = kKeyInterval;
        frames.dwRate = 25;
        frames.dwScale = 1;
        ICSendMessage(compressor_.get(), ICM_COMPRESS_FRAMES_INFO, DWORD_PTR(&frames),
                      sizeof frames);
        ICSendMessage(compressor_.get(), ICM_COMPRESS_BEGIN, DWORD_PTR(&input_),
                      DWORD_PTR(format_.data()));
    }

    const std::vector<uint8_t>& Format() const { return format_; }

    std::span<const uint8_t> Compress(int frame) {
        DWORD chunkId = 0;
        DWORD flags = 0;
        ICCOMPRESS request{frame % kKeyInterval == 0 ? ICCOMPRESS_KEYFRAME : 0,
                           &Output(),
                           buffer_.data(),
                           &input_,
                           const_cast<uint8_t*>(Pictures(size_)[frame % kPictures].data()),
                           &chunkId,
                           &flags,
                           frame,
                           0,
                           ICQUALITY_DEFAULT,
                           nullptr,
                           nullptr};
        Output().biSizeImage = DWORD(buffer_.size());
        if (ICSendMessage(compressor_.get(), ICM_COMPRESS, DWORD_PTR(&request), sizeof request)) {
            return {};
        }
        return {buffer_.data(), Output().biSizeImage};
    }

  private:
    BITMAPINFOHEADER& Output() { return *reinterpret_cast<BITMAPINFOHEADER*>(format_.data()); }

    Size size_;
    Compressor compressor_;
    BITMAPINFOHEADER input_;
    std::vector<uint8_t> format_;
    std::vector<uint8_t> buffer_;
};

struct DirectSettings {
    const char* encoder;
    AVPixelFormat format;
    int quantiser;  // 0: no quality control
    int slices;     // 0: the encoder's own
};

DirectSettings DirectSettingsFor(FOURCC handler) {
    if (handler == FourCC("HFYU")) {
        return {"huffyuv", AV_PIX_FMT_RGB24, 0, 0};
    }
    if (handler == FourCC("XVID")) {
        return {"mpeg4", AV_PIX_FMT_YUV420P, 8, 0};
    }
    if (handler == FourCC("FFV1")) {
        return {"ffv1", AV_PIX_FMT_BGR0, 0, 16};
    }
    if (handler == FourCC("dvsd")) {
        return {"dvvideo", AV_PIX_FMT_YUV411P, 0, 0};
    }
    return {"mjpeg", AV_PIX_FMT_YUVJ422P, 8, 0};
}

// The layer starts as many slice threads as libavcodec says the process has cores.
int Cores() {
    return std::min(av_cpu_count(), 16);
}

// The layer held to one core: its encoders are opened while libavcodec counts one.
class LayerCompressorOnOneCore {
  public:
    LayerCompressorOnOneCore(FOURCC handler, Size size) : layer_(OnOneCore(handler, size)) {}
    std::span<const uint8_t> Compress(int frame) { return layer_->Compress(frame); }

  private:
    static std::unique_ptr<LayerCompressor> OnOneCore(FOURCC handler, Size size) {
        av_cpu_force_count(1);
        auto layer = std::make_unique<LayerCompressor>(handler, size);
        av_cpu_force_count(0);
        return layer;
    }
    std::unique_ptr<LayerCompressor> layer_;
};

// The same compression as a careful libavcodec user writes it, with the layer's settings: the
// default quality's quantiser, key frames every 15, one thread (or one slice thread a core),
// libswscale from the bottom-up bitmap into a picture the encoder no longer holds, the packet
// copied out.
class DirectCompressor {
  public:
    DirectCompressor(FOURCC handler, Size size, int threads = 1)
        : size_(size), settings_(DirectSettingsFor(handler)) {
        const AVCodec* codec = avcodec_find_encoder_by_name(settings_.encoder);
        encoder_ = avcodec_alloc_context3(codec);
        encoder_->width = size_.width;
        encoder_->height = size_.height;
        encoder_->pix_fmt = settings_.format;
        encoder_->codec_tag = handler;
        encoder_->thread_count = threads;
        encoder_->thread_type = FF_THREAD_SLICE;
        encoder_->max_b_frames = 0;
        encoder_->time_base = {1, 25};
        encoder_->framerate = {25, 1};
        encoder_->gop_size = kKeyInterval;
        encoder_->keyint_min = kKeyInterval;
        if (settings_.quantiser) {
            encoder_->qmin = 1;
            encoder_->qmax = 31;
            encoder_->flags |= AV_CODEC_FLAG_QSCALE;
            encoder_->global_quality = settings_.quantiser * FF_QP2LAMBDA;
        }
        if (settings_.slices) {
            encoder_->level = 3;
            encoder_->slices = settings_.slices;
        }
        avcodec_open2(encoder_, codec, nullptr);
        for (AVFrame*& frame : frames_) {
            frame = av_frame_alloc();
            frame->format = settings_.format;
            frame->width = size_.width;
            frame->height = size_.height;
            av_frame_get_buffer(frame, 0);
        }
        packet_ = av_packet_alloc();
        scaler_ = sws_getContext(size_.width, size_.height, AV_PIX_FMT_BGR24, size_.width,
                                 size_.height, settings_.format,
                                 ScaleFlags(AV_PIX_FMT_BGR24, size_.width, size_.height,
                                            settings_.format, size_.width, size_.height),
                                 nullptr, nullptr, nullptr);
        output_.resize(size_t(size_.width) * size_.height * 16);
    }
    ~DirectCompressor() {
        sws_freeContext(scaler_);
        av_packet_free(&packet_);
        for (AVFrame*& frame : frames_) {
            av_frame_free(&frame);
        }
        avcodec_free_context(&encoder_);
    }

    std::span<const uint8_t> Compress(int index) {
        AVFrame* frame = av_frame_is_writable(frames_[0]) ? frames_[0] : frames_[1];
        const int stride = Stride(size_, 24);
        const uint8_t* planes[4] = {Pictures(size_)[index % kPictures].data() +
                                    size_t(size_.height - 1) * stride};
        const int strides[4] = {-stride};
        sws_scale(scaler_, planes, strides, 0, size_.height, frame->data, frame->linesize);
        frame->pts = index;
        frame->pict_type = index % kKeyInterval == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        frame->quality = settings_.quantiser * FF_QP2LAMBDA;
        avcodec_send_frame(encoder_, frame);
        size_t size = 0;
        if (avcodec_receive_packet(encoder_, packet_) == 0) {
            size = size_t(packet_->size);
            memcpy(output_.data(), packet_->data, size);
            av_packet_unref(packet_);
        }
        return {output_.data(), size};
    }

  private:
    Size size_;
    DirectSettings settings_;
    AVCodecContext* encoder_ = nullptr;
    AVFrame* frames_[2] = {};
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    std::vector<uint8_t> output_;
};

// The pictures compressed through the layer: the stream both decoders read.
struct Stream {
    Size size;
    std::vector<uint8_t> format;
    std::vector<std::vector<uint8_t>> chunks;

    const BITMAPINFOHEADER& Header() const {
        return *reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    }
};

const Stream& Compressed(FOURCC handler, Size size) {
    static std::map<std::pair<FOURCC, Size>, Stream> made;
    auto found = made.find({handler, size});
    if (found == made.end()) {
        LayerCompressor compressor(handler, size);
        Stream stream{size, compressor.Format(), {}};
        for (int frame = 0; frame < kPictures; ++frame) {
            const std::span<const uint8_t> chunk = compressor.Compress(frame);
            stream.chunks.emplace_back(chunk.begin(), chunk.end());
        }
        found = made.emplace(std::make_pair(handler, size), std::move(stream)).first;
    }
    return found->second;
}

class LayerDecoder {
  public:
    explicit LayerDecoder(const Stream& stream)
        : stream_(stream),
          source_(stream.format),
          target_(Header(stream.size, 32)),
          decompressor_(ICOpen(ICTYPE_VIDEO, stream.Header().biCompression, ICMODE_DECOMPRESS)),
          bitmap_(target_.biSizeImage) {
        ICSendMessage(decompressor_.get(), ICM_DECOMPRESS_BEGIN, DWORD_PTR(source_.data()),
                      DWORD_PTR(&target_));
    }

    const std::vector<uint8_t>& Decode(size_t index) {
        const std::vector<uint8_t>& chunk = stream_.chunks[index % stream_.chunks.size()];
        auto& source = *reinterpret_cast<BITMAPINFOHEADER*>(source_.data());
        source.biSizeImage = DWORD(chunk.size());
        ICDecompress(decompressor_.get(), 0, &source, const_cast<uint8_t*>(chunk.data()), &target_,
                     bitmap_.data());
        return bitmap_;
    }

  private:
    const Stream& stream_;
    std::vector<uint8_t> source_;
    BITMAPINFOHEADER target_;
    Compressor decompressor_;
    std::vector<uint8_t> bitmap_;
};

// The same decode as a plain libavcodec user writes it: packets prepared once (padded and
// reference-counted), one thread, libswscale into the bottom-up bitmap.
class DirectDecoder {
  public:
    explicit DirectDecoder(const Stream& stream) : size_(stream.size) {
        const BITMAPINFOHEADER& source = stream.Header();
        const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
        const AVCodec* codec = avcodec_find_decoder(av_codec_get_id(tables, source.biCompression));
        decoder_ = avcodec_alloc_context3(codec);
        decoder_->codec_tag = source.biCompression;
        decoder_->width = size_.width;
        decoder_->height = size_.height;
        decoder_->bits_per_coded_sample = source.biBitCount;
        decoder_->thread_count = 1;
        const size_t extra = source.biSize - sizeof source;
        decoder_->extradata =
            static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(decoder_->extradata, stream.format.data() + sizeof source, extra);
        decoder_->extradata_size = int(extra);
        avcodec_open2(decoder_, codec, nullptr);
        for (const auto& chunk : stream.chunks) {
            AVPacket* packet = av_packet_alloc();
            av_new_packet(packet, int(chunk.size()));
            memcpy(packet->data, chunk.data(), chunk.size());
            packets_.push_back(packet);
        }
        frame_ = av_frame_alloc();
        bitmap_.resize(size_t(Stride(size_, 32)) * size_.height);
    }
    ~DirectDecoder() {
        sws_freeContext(scaler_);
        av_frame_free(&frame_);
        for (AVPacket*& packet : packets_) {
            av_packet_free(&packet);
        }
        avcodec_free_context(&decoder_);
    }

    const std::vector<uint8_t>& Decode(size_t index) {
        avcodec_send_packet(decoder_, packets_[index % packets_.size()]);
        while (avcodec_receive_frame(decoder_, frame_) == 0) {
            Convert();
            av_frame_unref(frame_);
        }
        return bitmap_;
    }

  private:
    void Convert() {
        const auto format = AVPixelFormat(frame_->format);
        const int stride = Stride(size_, 32);
        if (!scaler_) {
            scaler_ = sws_getContext(size_.width, size_.height, format, size_.width, size_.height,
                                     AV_PIX_FMT_BGRA,
                                     ScaleFlags(format, size_.width, size_.height, AV_PIX_FMT_BGRA,
                                                size_.width, size_.height),
                                     nullptr, nullptr, nullptr);
            SetFrameColorDetails(scaler_, *frame_);
        }
        uint8_t* planes[4] = {bitmap_.data() + size_t(size_.height - 1) * stride};
        int strides[4] = {-stride};
        sws_scale(scaler_, frame_->data, frame_->linesize, 0, size_.height, planes, strides);
    }

    Size size_;
    AVCodecContext* decoder_ = nullptr;
    std::vector<AVPacket*> packets_;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    std::vector<uint8_t> bitmap_;
};

template <typename Decoder>
void Decode(benchmark::State& state, FOURCC handler, Size size) {
    Decoder decoder(Compressed(handler, size));
    size_t index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.Decode(index++).data());
    }
    state.SetItemsProcessed(state.iterations());
}

template <typename Encoder, typename... Threads>
void Compress(benchmark::State& state, FOURCC handler, Size size, Threads... threads) {
    Encoder encoder(handler, size, threads...);
    int frame = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::span<const uint8_t> chunk = encoder.Compress(frame++);
        bytes += chunk.size();
        benchmark::DoNotOptimize(chunk.data());
    }
    state.counters["bytes_per_frame"] = double(bytes) / double(state.iterations());
}

// Compressed bytes of both within 1%.
template <typename Layer>
bool SameBytes(Layer& layer, DirectCompressor& direct, const char* what) {
    size_t layerBytes = 0, directBytes = 0;
    for (int frame = 0; frame < kCheckedFrames; ++frame) {
        layerBytes += layer.Compress(frame).size();
        directBytes += direct.Compress(frame).size();
    }
    const double ratio = double(layerBytes) / double(directBytes);
    if (directBytes == 0 || ratio < 0.99 || ratio > 1.01) {
        fprintf(stderr, "%s: compressed bytes differ: %zu through the layer, %zu directly\n", what,
                layerBytes, directBytes);
        return false;
    }
    return true;
}

struct Case {
    const char* name;
    FOURCC handler;
    Size size;
    bool decoded;     // decoding measured
    bool compressed;  // compression measured
};

// The same work both ways: compressed bytes within 1% on one thread and on one a core, and
// identical decoded pictures.
bool SameWork(const Case& c) {
    if (c.compressed) {
        LayerCompressorOnOneCore layerOnOne(c.handler, c.size);
        DirectCompressor directOnOne(c.handler, c.size);
        LayerCompressor layer(c.handler, c.size);
        DirectCompressor direct(c.handler, c.size, Cores());
        if (!SameBytes(layerOnOne, directOnOne, "one thread") ||
            !SameBytes(layer, direct, "slice threads")) {
            return false;
        }
    }
    if (!c.decoded) {
        return true;
    }
    LayerDecoder layer(Compressed(c.handler, c.size));
    DirectDecoder direct(Compressed(c.handler, c.size));
    for (int frame = 0; frame < kPictures; ++frame) {
        if (layer.Decode(frame) != direct.Decode(frame)) {
            fprintf(stderr, "decoded pictures differ at frame %d\n", frame);
            return false;
        }
    }
    return true;
}

constexpr Case kCases[] = {
    {"MJPG", FourCC("MJPG"), kSd, true, true},
    {"MJPG_1920x1080", FourCC("MJPG"), kHd, false, true},
    {"HFYU", FourCC("HFYU"), kSd, true, true},
    {"XVID", FourCC("XVID"), kSd, true, true},
    {"dvsd_720x480", FourCC("dvsd"), kSd, true, true},
    {"FFV1_1920x1080", FourCC("FFV1"), kHd, true, true},
};

// The ratios at the end of the run, from each benchmark's median time.
class RatioReporter : public zedadu::bench::MedianTimesReporter {
  public:
    static constexpr int kWidth = 60;

    void PrintRatios() const {
        std::printf("\nratio (time / time)                                         value\n");
        for (const Case& c : kCases) {
            const std::string name = c.name;
            PrintRatio(name + ": layer on one core / direct (<= 1.05)", "LayerCompress1/" + name,
                       "DirectCompress/" + name, kWidth);
            PrintRatio(name + ": direct one thread / layer on slices (>= 1.7)",
                       "DirectCompress/" + name, "LayerCompress/" + name, kWidth);
            PrintRatio(name + ": layer on slices / direct on slices", "LayerCompress/" + name,
                       "DirectCompressN/" + name, kWidth);
            PrintRatio(name + ": direct decode / layer decode", "DirectDecode/" + name,
                       "LayerDecode/" + name, kWidth);
        }
    }
};

void Register(const std::string& name, auto function, auto... arguments) {
    benchmark::RegisterBenchmark(name.c_str(), function, arguments...)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void RegisterCase(const Case& c) {
    const std::string name = c.name;
    if (c.decoded) {
        Register("DirectDecode/" + name, Decode<DirectDecoder>, c.handler, c.size);
        Register("LayerDecode/" + name, Decode<LayerDecoder>, c.handler, c.size);
    }
    if (c.compressed) {
        Register("DirectCompress/" + name, Compress<DirectCompressor>, c.handler, c.size);
        Register("LayerCompress1/" + name, Compress<LayerCompressorOnOneCore>, c.handler, c.size);
        Register("DirectCompressN/" + name, Compress<DirectCompressor, int>, c.handler, c.size,
                 Cores());
        Register("LayerCompress/" + name, Compress<LayerCompressor>, c.handler, c.size);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_FATAL);
    for (const Case& c : kCases) {
        if (!SameWork(c)) {
            fprintf(stderr, "%s: the layer and the direct calls do different work\n", c.name);
            return 1;
        }
        RegisterCase(c);
    }
    benchmark::AddCustomContext("cores", std::to_string(av_cpu_count()));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
