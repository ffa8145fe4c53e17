// Writing speed, side by side in one run:
//   WriterDib / DdSameBytes: 300 frames of 720x486 "DIB " through the entry points against dd
//     writing the same number of bytes into the same directory (target: at least 0.8x dd).
//   WriterOpenDml/1 / DdOpenDmlBytes: 1100 frames of 720x486 "DIB " with 48 kHz stereo audio in
//     the OpenDML form, past its first RIFF part into an AVIX part, against dd writing as many
//     bytes (target: at least 0.8x dd). WriterOpenDml/0 is the same recording with crash safety
//     (the header list at stream start and once a second, audio chunk headers last) switched off
//     (target: crash safety at most 2% slower).
//   WriterCompressed/<codec> / LibavcodecBaseline/<codec>/<threads>: frames compressed and written
//     through the entry points against libavcodec encoding the same frames with plain buffered
//     writes of the packets, on as many slice threads as the compressor layer starts (target: at
//     most 1.10x its time) and on one thread (target: at least 1.7x as fast on two cores for
//     Motion JPEG and FFV1 at 1920x1080 and DV at 720x480). FfmpegCli/<codec> is the ffmpeg
//     program doing the same into an AVI file, for context.
// After the usual lines it prints these ratios, over every repetition of the run (of the medians
// with --benchmark_report_aggregates_only).
// The directory is ZEDADU_BENCH_DIR, else the current directory. The page cache is flushed
// before every timed iteration so that every run starts from the same state.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/ratios.h"
#include "platform/system/system.h"
#include "platform/vfw/compressor.h"
#include "platform/vfw/ffmpeg/bitmap.h"
#include "plugin/plugin.h"
#include "writer/writer_internal.h"

namespace {

using namespace zedadu;
using Clock = std::chrono::steady_clock;

const std::string& BenchDirectory() {
    static const std::string directory = [] {
        const char* chosen = getenv("ZEDADU_BENCH_DIR");
        std::string pattern = std::string(chosen ? chosen : ".") + "/zedadu-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            abort();
        }
        return pattern;
    }();
    return directory;
}

struct Clip {
    int32_t width;
    int32_t height;
    uint32_t frames;
    uint32_t sampleRate;  // 16-bit stereo audio written after every frame; 0: none
};
constexpr Clip kDibClip{720, 486, 300, 0};
constexpr Clip kCompressedClip{720, 480, 100, 0};
constexpr Clip kCompressedHdClip{1920, 1080, 30, 0};
constexpr Clip kOpenDmlClip{720, 486, 1100, 48000};  // 1.16 GB: a 1 GiB part, then an AVIX part
constexpr uint32_t kChannels = 2;

// The settings file beside the pretend host executable, with OpenDML writing on or off.
void UseOpenDml(bool on) {
    FILE* ini = fopen((BenchDirectory() + "/ZEDADU.ini").c_str(), "w");
    if (!ini) {
        abort();
    }
    fprintf(ini, "[VideoWritingSettings]\nOpenDML=%d\n", on ? 1 : 0);
    fclose(ini);
}
constexpr int kDistinctFrames = 8;
constexpr uint32_t kKeyInterval = 15;

// A few moving gradients, bottom-up 24-bit rows as the host hands them over.
std::vector<std::vector<uint8_t>> MakeFrames(const Clip& clip) {
    std::vector<std::vector<uint8_t>> frames(kDistinctFrames);
    for (int t = 0; t < kDistinctFrames; ++t) {
        frames[t].resize(size_t(clip.width) * clip.height * 3);
        for (int32_t y = 0; y < clip.height; ++y) {
            for (int32_t x = 0; x < clip.width; ++x) {
                uint8_t* pixel = &frames[t][(size_t(y) * clip.width + x) * 3];
                pixel[0] = uint8_t(x + t * 5);
                pixel[1] = uint8_t(y * 2 + t * 3);
                pixel[2] = uint8_t((x + y) / 2 + t);
            }
        }
    }
    return frames;
}

// The sample frames that last as long as video frame `frame` at 30000/1001 frames a second,
// written after it.
bool WriteFrameOfAudio(void* handle, const AudioFormatRecord& format, uint32_t frame) {
    static std::vector<int16_t> silence;
    const auto before = uint64_t(frame) * format.sampleRate * 1001 / 30000;
    const auto after = uint64_t(frame + 1) * format.sampleRate * 1001 / 30000;
    silence.resize(size_t(after - before) * kChannels);
    AudioWriteRecord record{};
    record.size = sizeof record;
    record.sampleFrames = uint32_t(after - before);
    record.samples = silence.data();
    record.format = format;
    return AVFILE_WriteNextAudioSamples(handle, &record) == 1;
}

// Writes a clip through the entry points; false when the handler cannot be opened.
bool WriteThroughPlugin(const std::string& path, const Clip& clip, FOURCC handler,
                        std::vector<std::vector<uint8_t>>& frames) {
    CompressionSettings block{};
    block.headerSize = kCompressionSettingsHeaderSize;
    block.fccHandler = handler;
    block.quality = 7500;
    block.keyFrameRate = kKeyInterval;
    char name[1024];
    snprintf(name, sizeof name, "%s", path.c_str());
    OpenWriteRequest request{};
    request.fileName = name;
    request.videoFrameCount = clip.frames;
    ImageFormatStruct& video = request.video;
    video.size = sizeof video;
    video.width = clip.width;
    video.height = clip.height;
    snprintf(video.formatId, sizeof video.formatId, "%s", FORMAT_ID_RGB24);
    video.rate = 30000;
    video.scale = 1001;
    video.settingsBlock = &block;
    video.settingsBlockSize = sizeof block;
    request.hasAudio = clip.sampleRate > 0;
    AudioFormatRecord& audio = request.audio;
    audio.size = sizeof audio;
    audio.channels = kChannels;
    snprintf(audio.formatId, sizeof audio.formatId, "%s", FORMAT_ID_PCM16);
    audio.sampleRate = clip.sampleRate;
    audio.frameBytes = kChannels * 2;
    void* handle = nullptr;
    if (!AVFILE_OpenFileForWrite(&handle, &request)) {
        return false;
    }
    bool written = true;
    for (uint32_t i = 0; i < clip.frames && written; ++i) {
        VideoWriteRecord record{};
        record.pixels = frames[i % kDistinctFrames].data();
        record.format = video;
        written = AVFILE_WriteNextVideoFrame(handle, &record) == 1 &&
                  (!clip.sampleRate || WriteFrameOfAudio(handle, audio, i));
    }
    return AVFILE_CloseFileForWrite(handle) == 1 && written;
}

template <typename Work>
void TimeIterations(benchmark::State& state, const std::string& path, Work work) {
    uint64_t bytes = 0;
    for (auto _ : state) {
        std::filesystem::remove(path);
        sync();
        const auto start = Clock::now();
        if (!work()) {
            state.SkipWithError("could not write");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        bytes += std::filesystem::file_size(path);
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["file_bytes"] = double(bytes) / double(state.iterations());
}

void WriterDib(benchmark::State& state) {
    auto frames = MakeFrames(kDibClip);
    const std::string path = BenchDirectory() + "/dib.avi";
    TimeIterations(state, path,
                   [&] { return WriteThroughPlugin(path, kDibClip, FourCC("DIB "), frames); });
}

// dd writing `bytes` in blocks of a video chunk's size, then the rest.
void DdBytes(benchmark::State& state, uint64_t bytes) {
    constexpr uint64_t kChunkBytes = 1049768;  // a 720x486 frame with its chunk header
    const std::string path = BenchDirectory() + "/dd.bin";
    const std::string command =
        "dd if=/dev/zero of='" + path + "' bs=" + std::to_string(kChunkBytes) +
        " count=" + std::to_string(bytes / kChunkBytes) + " status=none && dd if=/dev/zero of='" +
        path + "' bs=" + std::to_string(bytes % kChunkBytes) +
        " count=1 oflag=append conv=notrunc status=none";
    TimeIterations(state, path, [&] { return system(command.c_str()) == 0; });
}

void DdSameBytes(benchmark::State& state) {
    // The same bytes as the DIB file: 300 chunks of 1049768, plus headers and index.
    DdBytes(state, 300 * 1049768 + 5320);
}

// The size of the OpenDML recording, measured once by writing it.
uint64_t OpenDmlFileBytes(std::vector<std::vector<uint8_t>>& frames) {
    static uint64_t bytes = 0;
    const std::string path = BenchDirectory() + "/opendml-size.avi";
    UseOpenDml(true);
    if (bytes == 0 && WriteThroughPlugin(path, kOpenDmlClip, FourCC("DIB "), frames)) {
        bytes = std::filesystem::file_size(path);
    }
    UseOpenDml(false);
    std::filesystem::remove(path);
    return bytes;
}

void WriterOpenDml(benchmark::State& state) {
    const bool crashSafe = state.range(0) != 0;
    state.SetLabel(crashSafe ? "crash safety on" : "crash safety off");
    auto frames = MakeFrames(kOpenDmlClip);
    const std::string path = BenchDirectory() + "/opendml.avi";
    UseOpenDml(true);
    writer::SetCrashSafeRecordingForTesting(crashSafe);
    TimeIterations(state, path,
                   [&] { return WriteThroughPlugin(path, kOpenDmlClip, FourCC("DIB "), frames); });
    writer::SetCrashSafeRecordingForTesting(true);
    UseOpenDml(false);
}

void DdOpenDmlBytes(benchmark::State& state) {
    auto frames = MakeFrames(kOpenDmlClip);
    const uint64_t bytes = OpenDmlFileBytes(frames);
    if (bytes == 0) {
        state.SkipWithError("could not write the recording whose size dd writes");
        return;
    }
    DdBytes(state, bytes);
}

// The compressor layer's settings at quality 7500: quantiser 8 (where the codec has one), and
// Video 1's own key interval one above its keyint_min.
constexpr int kQuantiser = 8;
struct Codec {
    const char* handler;
    const char* encoder;
    AVPixelFormat format;
    int keyIntMin;
    const Clip& clip;
    bool quantised;
    int slices;  // 0: the encoder's own
};
constexpr Codec kCodecs[] = {
    {"MSVC", "msvideo1", AV_PIX_FMT_RGB555LE, 14, kCompressedClip, true, 0},
    {"MJPG", "mjpeg", AV_PIX_FMT_YUVJ422P, 15, kCompressedClip, true, 0},
    {"MJPG", "mjpeg", AV_PIX_FMT_YUVJ422P, 15, kCompressedHdClip, true, 0},
    {"FFV1", "ffv1", AV_PIX_FMT_BGR0, 15, kCompressedHdClip, false, 16},
    {"dvsd", "dvvideo", AV_PIX_FMT_YUV411P, 15, kCompressedClip, false, 0},
};
constexpr int kCodecCount = int(std::size(kCodecs));

std::string CodecLabel(const Codec& codec) {
    return std::string(codec.handler) + " " + std::to_string(codec.clip.width) + "x" +
           std::to_string(codec.clip.height);
}

// The compressor layer starts one slice thread a core, as libavcodec counts them.
int Cores() {
    return std::min(av_cpu_count(), 16);
}

void WriterCompressed(benchmark::State& state) {
    const Codec& codec = kCodecs[state.range(0)];
    state.SetLabel(CodecLabel(codec));
    const FOURCC handler =
        mmioFOURCC(codec.handler[0], codec.handler[1], codec.handler[2], codec.handler[3]);
    if (!zedadu::vfw::Compressor(handler, ICMODE_COMPRESS)) {
        state.SkipWithError("no such compressor installed");
        return;
    }
    auto frames = MakeFrames(codec.clip);
    const std::string path = BenchDirectory() + "/compressed.avi";
    TimeIterations(state, path,
                   [&] { return WriteThroughPlugin(path, codec.clip, handler, frames); });
}

AVCodecContext* OpenEncoder(const Codec& codec, int threads) {
    const Clip& clip = codec.clip;
    const AVCodec* encoder = avcodec_find_encoder_by_name(codec.encoder);
    AVCodecContext* context = encoder ? avcodec_alloc_context3(encoder) : nullptr;
    if (!context) {
        return nullptr;
    }
    context->width = clip.width;
    context->height = clip.height;
    context->pix_fmt = codec.format;
    context->time_base = {1001, 30000};
    context->framerate = {30000, 1001};
    context->gop_size = kKeyInterval;
    context->keyint_min = codec.keyIntMin;
    context->max_b_frames = 0;
    context->thread_count = threads;
    context->thread_type = FF_THREAD_SLICE;
    if (codec.quantised) {
        context->qmin = 1;
        context->qmax = 31;
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * kQuantiser;
    }
    if (codec.slices) {
        context->level = 3;
        context->slices = codec.slices;
    }
    if (avcodec_open2(context, encoder, nullptr) != 0) {
        avcodec_free_context(&context);
    }
    return context;
}

// One frame in, one packet out. Video 1 keeps its own key schedule and ignores a forced key frame:
// as the compressor layer does, a fresh encoder gives one.
bool EncodeFrame(AVCodecContext*& context, const Codec& codec, int threads, AVFrame* frame,
                 bool key, AVPacket* packet) {
    frame->quality = FF_QP2LAMBDA * kQuantiser;
    frame->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(context, frame) != 0 || avcodec_receive_packet(context, packet) != 0) {
        return false;
    }
    if (!key || (packet->flags & AV_PKT_FLAG_KEY)) {
        return true;
    }
    av_packet_unref(packet);
    avcodec_free_context(&context);
    context = OpenEncoder(codec, threads);
    return context && avcodec_send_frame(context, frame) == 0 &&
           avcodec_receive_packet(context, packet) == 0;
}

// Encodes with libavcodec directly, with the compressor layer's settings, and writes the packets
// with buffered file writes.
bool EncodeDirectly(const Codec& codec, int threads, const std::string& path,
                    const std::vector<std::vector<uint8_t>>& frames) {
    const Clip& clip = codec.clip;
    const int flags = zedadu::vfw::ffmpeg::ScaleFlags(AV_PIX_FMT_BGR24, clip.width, clip.height,
                                                      codec.format, clip.width, clip.height);
    SwsContext* scaler =
        sws_getContext(clip.width, clip.height, AV_PIX_FMT_BGR24, clip.width, clip.height,
                       codec.format, flags, nullptr, nullptr, nullptr);
    AVCodecContext* context = OpenEncoder(codec, threads);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    FILE* out = fopen(path.c_str(), "wb");
    bool ok = scaler && context && frame && packet && out;
    frame->format = codec.format;
    frame->width = clip.width;
    frame->height = clip.height;
    ok = ok && av_frame_get_buffer(frame, 0) == 0;
    const int stride = clip.width * 3;
    for (uint32_t i = 0; ok && i < clip.frames; ++i) {
        // Bottom-up rows: start at the last row and step backwards.
        const uint8_t* last = frames[i % kDistinctFrames].data() + size_t(clip.height - 1) * stride;
        const int strides[] = {-stride};
        ok = av_frame_make_writable(frame) == 0 &&
             sws_scale(scaler, &last, strides, 0, clip.height, frame->data, frame->linesize) > 0;
        frame->pts = i;
        ok = ok && EncodeFrame(context, codec, threads, frame, i % kKeyInterval == 0, packet) &&
             fwrite(packet->data, 1, size_t(packet->size), out) == size_t(packet->size);
        av_packet_unref(packet);
    }
    ok = out && fclose(out) == 0 && ok;
    av_packet_free(&packet);
    av_frame_free(&frame);
    sws_freeContext(scaler);
    avcodec_free_context(&context);
    return ok;
}

// The second argument is the thread count: 0 for as many as the compressor layer starts.
void LibavcodecBaseline(benchmark::State& state) {
    const Codec& codec = kCodecs[state.range(0)];
    const int threads = state.range(1) > 0 ? int(state.range(1)) : Cores();
    state.SetLabel(CodecLabel(codec) + ", " + std::to_string(threads) + " thread(s)");
    const auto frames = MakeFrames(codec.clip);
    const std::string path = BenchDirectory() + "/baseline.bin";
    TimeIterations(state, path, [&] { return EncodeDirectly(codec, threads, path, frames); });
}

void FfmpegCli(benchmark::State& state) {
    const Codec& codec = kCodecs[state.range(0)];
    state.SetLabel(CodecLabel(codec));
    const Clip& clip = codec.clip;
    const std::string raw = BenchDirectory() + "/frames.bgr";
    {
        const auto frames = MakeFrames(clip);
        FILE* out = fopen(raw.c_str(), "wb");
        for (uint32_t i = 0; out && i < clip.frames; ++i) {
            fwrite(frames[i % kDistinctFrames].data(), 1, frames[0].size(), out);
        }
        if (out) {
            fclose(out);
        }
    }
    const std::string path = BenchDirectory() + "/ffmpeg.avi";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s " + std::to_string(clip.width) +
        "x" + std::to_string(clip.height) + " -r 30000/1001 -i '" + raw + "' -vf vflip -c:v " +
        codec.encoder + " -pix_fmt " + av_get_pix_fmt_name(codec.format) + " '" + path + "'";
    TimeIterations(state, path, [&] { return system(command.c_str()) == 0; });
    std::filesystem::remove(raw);
}

// The ratios at the end of the run, from each benchmark's median time.
class RatioReporter : public zedadu::bench::MedianTimesReporter {
  public:
    static constexpr int kWidth = 68;

    void PrintRatios() const {
        std::printf("\n");
        PrintRatio("WriterDib: throughput / dd's (target >= 0.80)", "DdSameBytes", "WriterDib",
                   kWidth);
        PrintRatio("WriterOpenDml: throughput / dd's (target >= 0.80)", "DdOpenDmlBytes",
                   "WriterOpenDml/1", kWidth);
        PrintRatio("WriterOpenDml: time with crash safety / without (target <= 1.02)",
                   "WriterOpenDml/1", "WriterOpenDml/0", kWidth);
        for (int i = 0; i < kCodecCount; ++i) {
            const std::string label = CodecLabel(kCodecs[i]);
            const std::string index = std::to_string(i);
            PrintRatio(label + ": time / direct on as many threads (target <= 1.10)",
                       "WriterCompressed/" + index, "LibavcodecBaseline/" + index + "/0", kWidth);
            PrintRatio(label + ": direct on one thread / time (>= 1.7 on slices)",
                       "LibavcodecBaseline/" + index + "/1", "WriterCompressed/" + index, kWidth);
        }
    }
};

}  // namespace

BENCHMARK(WriterDib)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(DdSameBytes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(WriterOpenDml)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(DdOpenDmlBytes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WriterCompressed)
    ->DenseRange(0, kCodecCount - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(LibavcodecBaseline)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kCodecCount - 1, 1), {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(FfmpegCli)
    ->DenseRange(0, kCodecCount - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
// The plug-in's file and the baseline's packets on as many threads hold the same compressed bytes
// within 1% (the file adds its headers and index): both sides do the same work.
bool SameWork() {
    const std::string written = BenchDirectory() + "/check.avi";
    const std::string direct = BenchDirectory() + "/check.bin";
    for (const Codec& codec : kCodecs) {
        auto frames = MakeFrames(codec.clip);
        const FOURCC handler =
            mmioFOURCC(codec.handler[0], codec.handler[1], codec.handler[2], codec.handler[3]);
        if (!WriteThroughPlugin(written, codec.clip, handler, frames) ||
            !EncodeDirectly(codec, Cores(), direct, frames)) {
            continue;  // reported by the benchmark itself
        }
        const double ratio = double(std::filesystem::file_size(written)) /
                             double(std::filesystem::file_size(direct));
        if (ratio < 0.99 || ratio > 1.01) {
            fprintf(stderr, "%s: the plug-in's file is %.3f times the baseline's bytes\n",
                    CodecLabel(codec).c_str(), ratio);
            return false;
        }
    }
    std::filesystem::remove(written);
    std::filesystem::remove(direct);
    return true;
}

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);  // the scaler's notes about its own choices are not results
    benchmark::Initialize(&argc, argv);
    SetHostExecutablePathForTesting((BenchDirectory() + "/bench").c_str());
    UseOpenDml(false);
    if (!SameWork()) {
        std::filesystem::remove_all(BenchDirectory());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    std::filesystem::remove_all(BenchDirectory());
    return 0;
}
