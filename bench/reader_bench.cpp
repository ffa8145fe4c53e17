// Reading speed against libavcodec + libswscale driven directly on the same chunks, and opening a
// file with a million-entry index against reading it once with cat.
//
//   reader_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// Clips are generated with ffmpeg into a temporary directory at start-up, every codec at 720 x 480
// and 1920 x 1080 (DV at 720 x 480 only) with a key frame every 4 frames where the codec has
// others. After the usual per-benchmark lines a table gives, per clip, the reader's time per frame
// over the baseline's (medians over the repetitions), read in order and at scattered frames: the
// targets are at most 1.05 in order and 1.15 scattered, and at most 2 for opening against cat.
// DV and FFV1 in slices decode on slice threads in the reader and on one thread in the baseline
// (target: at most 1/1.6 on two cores). MPEG-4 with 2 B-frames and H.264 with 3, a key frame every
// 12 frames, are read in display order by both, the reader and the baseline fed as far ahead as
// the codec holds pictures back. "FfmpegNull/..." is the ffmpeg command line decoding the
// same file, for context.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "bench/open_and_cat.h"
#include "platform/vfw/compressor.h"
#include "plugin/plugin.h"
#include "reader/internal.h"

namespace {

using zedadu::IndexEntry;
using zedadu::reader::ReadingFile;

constexpr uint32_t kFrames = 300;
constexpr int kKeyInterval = 4;
constexpr uint32_t kDroppedFrameBytes = 2;  // chunks this small hold no picture
constexpr char kMpeg4BFrames[] =
    "-c:v mpeg4 -vtag XVID -bf 2 -g 12 -flags +cgop -sc_threshold 1000000000 -q:v 4";
constexpr char kH264BFrames[] = "-c:v libx264 -preset veryfast -bf 3 -g 12 -keyint_min 12";

struct ClipSpec {
    std::string name;
    std::string encode;  // ffmpeg output options
    int width, height;
    FOURCC handler;
    const char* decoder;  // libavcodec's decoder for the baseline
    std::string path = {};
};

std::filesystem::path scratch;

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool Generate(ClipSpec& clip) {
    clip.path = (scratch / (clip.name + ".avi")).string();
    const std::string size = std::to_string(clip.width) + "x" + std::to_string(clip.height);
    return Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" + size +
               ":rate=25 -frames:v " + std::to_string(kFrames) + " " + clip.encode + " " +
               clip.path);
}

bool DecoderInstalled(FOURCC handler) {
    return handler == FourCC("DIB ") || bool(zedadu::vfw::Compressor(handler, ICMODE_DECOMPRESS));
}

// Frames in a fixed scattered order that visits every frame.
std::vector<uint32_t> ScatteredOrder(uint32_t count) {
    std::vector<uint32_t> order;
    for (uint32_t i = 0, frame = 0; i < count; ++i, frame = (frame + 131) % count) {
        order.push_back(frame);
    }
    return order;
}

void ReadWithReader(benchmark::State& state, const ClipSpec& clip, bool scattered) {
    if (!DecoderInstalled(clip.handler)) {
        state.SkipWithError("no decompressor installed for this handler");
        return;
    }
    void* handle = nullptr;
    if (!AVFILE_OpenFileForRead(&handle, clip.path.c_str())) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<uint8_t> buffer(size_t(clip.width) * clip.height * 4);
    const std::vector<uint32_t> order = ScatteredOrder(kFrames);
    size_t next = 0;
    for (auto _ : state) {
        ImageFrameRequest request{};
        request.frameNumber = scattered ? order[next] : uint32_t(next);
        request.buffer = buffer.data();
        request.bufferSize = uint32_t(buffer.size());
        strcpy(request.requested.formatId, zedadu::FORMAT_ID_RGB32);
        request.requested.width = clip.width;
        request.requested.height = clip.height;
        if (!AVFILE_ReadImageFrame(handle, &request)) {
            state.SkipWithError("frame read failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
        next = (next + 1) % kFrames;
    }
    state.SetItemsProcessed(state.iterations());
    AVFILE_CloseReadingFile(handle);
}

// The baseline: the same chunks (found through the reader's own index), read with pread and
// decoded by libavcodec, converted to bottom-up 32-bit BGRA by libswscale.
class LibavDecoder {
  public:
    LibavDecoder(const ClipSpec& clip, const ReadingFile& reading) : index_(reading.index.video) {
        const BITMAPINFOHEADER& format = reading.streamFormat.header;
        context_ = avcodec_alloc_context3(avcodec_find_decoder_by_name(clip.decoder));
        context_->width = format.biWidth;
        context_->height = std::abs(format.biHeight);  // raw frames may be stored top row first
        context_->bits_per_coded_sample = format.biBitCount;
        context_->codec_tag = format.biCompression;
        context_->thread_count = 1;
        const size_t extra =
            std::min<size_t>(format.biSize - sizeof format, sizeof reading.streamFormat.extra);
        context_->extradata =
            static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(context_->extradata, reading.streamFormat.extra, extra);
        context_->extradata_size = int(extra);
        avcodec_open2(context_, context_->codec, nullptr);
        descriptor_ = open(clip.path.c_str(), O_RDONLY);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        out_.resize(size_t(clip.width) * clip.height * 4);
    }
    ~LibavDecoder() {
        sws_freeContext(scaler_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&context_);
        close(descriptor_);
    }

    bool Decode(uint32_t frame) {
        const IndexEntry& entry = index_[frame];
        if (entry.size <= kDroppedFrameBytes) {
            return true;  // the previous picture stands (ffmpeg writes such chunks for DV at 29.97)
        }
        chunk_.resize(entry.size + AV_INPUT_BUFFER_PADDING_SIZE);
        if (pread(descriptor_, chunk_.data(), entry.size, entry.offset) != ssize_t(entry.size)) {
            return false;
        }
        av_packet_unref(packet_);
        packet_->data = chunk_.data();
        packet_->size = int(entry.size);
        if (entry.flags & zedadu::kIndexKeyFrame) {
            packet_->flags |= AV_PKT_FLAG_KEY;
        }
        if (avcodec_send_packet(context_, packet_) != 0) {
            return false;
        }
        const int received = avcodec_receive_frame(context_, frame_);
        return received == 0 || received == AVERROR(EAGAIN);  // B-frames come out late
    }

    // Pictures held back by the codec: frame n comes out of chunk n plus these.
    uint32_t HeldBack() const { return uint32_t(std::max(0, context_->has_b_frames)); }
    // A jump: what the decoder holds back belongs to other frames.
    void Restart() { avcodec_flush_buffers(context_); }

    void Convert() {
        if (!frame_->data[0]) {
            return;  // before the codec says how far it holds pictures back
        }
        const int width = frame_->width, height = frame_->height;
        scaler_ =
            sws_getCachedContext(scaler_, width, height, AVPixelFormat(frame_->format), width,
                                 height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        uint8_t* bottomRow = out_.data() + size_t(width) * 4 * (height - 1);
        const int stride = -width * 4;
        sws_scale(scaler_, frame_->data, frame_->linesize, 0, height, &bottomRow, &stride);
        benchmark::DoNotOptimize(out_.data());
    }

    uint32_t KeyFrameBefore(uint32_t frame) const {
        while (frame > 0 && !(index_[frame].flags & zedadu::kIndexKeyFrame)) {
            --frame;
        }
        return frame;
    }

  private:
    const std::vector<IndexEntry>& index_;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int descriptor_ = -1;
    std::vector<uint8_t> chunk_, out_;
};

void ReadWithLibav(benchmark::State& state, const ClipSpec& clip, bool scattered) {
    // The reader's own parse finds the chunks; no decompressor is needed for that.
    auto reading = std::make_unique<ReadingFile>();
    strcpy(reading->path, clip.path.c_str());
    if (!zedadu::reader::ParseAviFile(*reading)) {
        state.SkipWithError("parse failed");
        return;
    }
    LibavDecoder decoder(clip, *reading);
    const std::vector<uint32_t> order = ScatteredOrder(kFrames);
    size_t next = 0;
    // For codecs that hold pictures back, frame n is the picture that chunk n + held back releases;
    // the picture of the last few frames, which a drain would release, is taken from the last
    // chunk.
    uint32_t fed = 0;
    for (auto _ : state) {
        const uint32_t frame = scattered ? order[next] : uint32_t(next);
        const uint32_t last = std::min(kFrames - 1, frame + decoder.HeldBack());
        uint32_t first = frame == 0 ? 0 : fed + 1;
        if (scattered || frame == 0) {
            first = decoder.KeyFrameBefore(frame);
            decoder.Restart();
        }
        fed = last;
        for (uint32_t i = first; i <= last; ++i) {
            if (!decoder.Decode(i)) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        decoder.Convert();
        next = (next + 1) % kFrames;
    }
    state.SetItemsProcessed(state.iterations());
}

void FfmpegNull(benchmark::State& state, const ClipSpec& clip) {
    const std::string command =
        "ffmpeg -nostdin -loglevel error -threads 1 -i " + clip.path + " -f null -";
    for (auto _ : state) {
        Run(command);
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void AppendLe32(std::string& out, uint32_t v) {
    out.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
}

// RIFF 'AVI ' (format 1.0, a single RIFF chunk up to 4 GiB) with one uncompressed video stream of
// the given frames, in order, and an idx1 entry for each, offsets from the movie list's type.
void WriteUncompressedAvi(const std::string& path, int32_t width, int32_t height, uint16_t bits,
                          const std::vector<std::string>& frames) {
    const uint32_t count = uint32_t(frames.size());
    uint64_t movieBytes = 4;
    for (const std::string& frame : frames) {
        movieBytes += 8 + frame.size() + frame.size() % 2;
    }
    const uint32_t hdrlSize = 4 + (8 + 56) + 8 + 4 + (8 + 56) + (8 + 40);
    std::string header = "RIFF";
    AppendLe32(header, uint32_t(4 + 8 + hdrlSize + 8 + movieBytes + 8 + 16 * count));
    header += "AVI LIST";
    AppendLe32(header, hdrlSize);
    header += "hdrlavih";
    AppendLe32(header, 56);
    std::string avih(16, '\0');
    AppendLe32(avih, count);
    header += avih + std::string(36, '\0') + "LIST";
    AppendLe32(header, 4 + (8 + 56) + (8 + 40));
    header += "strlstrh";
    AppendLe32(header, 56);
    std::string strh = "vidsDIB " + std::string(12, '\0');
    AppendLe32(strh, 1);   // scale
    AppendLe32(strh, 25);  // rate
    AppendLe32(strh, 0);
    AppendLe32(strh, count);
    header += strh + std::string(20, '\0') + "strf";
    AppendLe32(header, 40);
    std::string strf;
    for (uint32_t field : {40u, uint32_t(width), uint32_t(height), 1u | uint32_t(bits) << 16}) {
        AppendLe32(strf, field);
    }
    header += strf + std::string(24, '\0') + "LIST";
    AppendLe32(header, uint32_t(movieBytes));
    header += "movi";
    std::ofstream out(path, std::ios::binary);
    out << header;
    std::string index = "idx1";
    AppendLe32(index, 16 * count);
    uint32_t offset = 4;
    for (const std::string& frame : frames) {
        std::string chunk = "00db";
        AppendLe32(chunk, uint32_t(frame.size()));
        out << chunk << frame << (frame.size() % 2 ? std::string(1, '\0') : "");
        index += "00db";
        AppendLe32(index, 0x10);
        AppendLe32(index, offset);
        AppendLe32(index, uint32_t(frame.size()));
        offset += uint32_t(8 + frame.size() + frame.size() % 2);
    }
    out << index;
}

std::string WriteMillionEntryFile() {
    const std::string path = (scratch / "million.avi").string();
    std::vector<std::string> frames(1000000);
    for (uint32_t i = 0; i < frames.size(); ++i) {
        AppendLe32(frames[i], i);  // one 32-bit pixel
    }
    WriteUncompressedAvi(path, 1, 1, 32, frames);
    return path;
}

// ffmpeg stores more than 1 GiB of frames as OpenDML, whose later parts the legacy index does not
// cover; this clip is written as one RIFF chunk instead, from 30 distinct frames repeated.
bool GenerateLargeUncompressed(ClipSpec& clip) {
    clip.path = (scratch / (clip.name + ".avi")).string();
    const std::string raw = (scratch / "frames.bgr").string();
    const std::string size = std::to_string(clip.width) + "x" + std::to_string(clip.height);
    if (!Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" + size +
             ":rate=25 -frames:v 30 -f rawvideo -pix_fmt bgr24 " + raw)) {
        return false;
    }
    std::ifstream in(raw, std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), {}};
    const size_t frameBytes = size_t(clip.width) * clip.height * 3;
    std::vector<std::string> frames;
    for (uint32_t i = 0; i < kFrames; ++i) {
        frames.push_back(all.substr(frameBytes * (i % 30), frameBytes));
    }
    WriteUncompressedAvi(clip.path, clip.width, -clip.height, 24, frames);
    std::filesystem::remove(raw);
    return true;
}

// Clips that no benchmark of the filter reads are not generated (the large uncompressed one takes
// gigabytes).
bool Wanted(const ClipSpec& clip) {
    const std::string filter = benchmark::GetBenchmarkFilter();
    if (filter.empty() || filter == "all" || filter.front() == '-') {
        return true;
    }
    const std::regex pattern(filter);
    for (const char* prefix : {"Reader/sequential/", "Reader/random/", "Libav/sequential/",
                               "Libav/random/", "FfmpegNull/"}) {
        if (std::regex_search(prefix + clip.name, pattern)) {
            return true;
        }
    }
    return false;
}

// Keeps every run's time per iteration, so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                seconds_[run.benchmark_name()].push_back(run.real_accumulated_time /
                                                         double(run.iterations));
                cpuSeconds_[run.benchmark_name()].push_back(run.cpu_accumulated_time /
                                                            double(run.iterations));
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios(const std::vector<ClipSpec>& clips) const {
        // On a loaded machine the time on the calling thread is the steadier figure where both
        // sides decode on it alone (everything but sequential reading on frame or slice threads).
        std::printf("\n%-24s %-10s %10s %10s %8s %10s\n", "clip", "access", "reader ms", "libav ms",
                    "ratio", "cpu ratio");
        for (const ClipSpec& clip : clips) {
            for (const char* access : {"sequential", "random"}) {
                const std::string name = std::string(access) + "/" + clip.name;
                const double ours = Median(seconds_, "Reader/" + name);
                const double theirs = Median(seconds_, "Libav/" + name);
                const double cpu = Median(cpuSeconds_, "Reader/" + name) /
                                   std::max(1e-12, Median(cpuSeconds_, "Libav/" + name));
                if (ours > 0 && theirs > 0) {
                    std::printf("%-24s %-10s %10.3f %10.3f %8.3f %10.3f\n", clip.name.c_str(),
                                access, ours * 1e3, theirs * 1e3, ours / theirs, cpu);
                }
            }
        }
    }

  private:
    using Times = std::map<std::string, std::vector<double>>;

    static double Median(const Times& all, const std::string& name) {
        const auto found = all.find(name);
        if (found == all.end()) {
            return 0;
        }
        std::vector<double> times = found->second;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    Times seconds_;
    Times cpuSeconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_FATAL);
    scratch = std::filesystem::temp_directory_path() /
              ("zedadu-reader-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    const std::string keys =
        " -g " + std::to_string(kKeyInterval) + " -keyint_min " + std::to_string(kKeyInterval - 1);
    std::vector<ClipSpec> clips = {
        {"uncompressed-720x480", "-c:v rawvideo -pix_fmt bgr24", 720, 480, FourCC("DIB "),
         "rawvideo"},
        {"uncompressed-1920x1080", "-c:v rawvideo -pix_fmt bgr24", 1920, 1080, FourCC("DIB "),
         "rawvideo"},
        {"mjpeg-720x480", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", 720, 480, FourCC("MJPG"), "mjpeg"},
        {"mjpeg-1920x1080", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", 1920, 1080, FourCC("MJPG"),
         "mjpeg"},
        {"msvideo1-720x480", "-c:v msvideo1" + keys, 720, 480, FourCC("MSVC"), "msvideo1"},
        {"msvideo1-1920x1080", "-c:v msvideo1" + keys, 1920, 1080, FourCC("MSVC"), "msvideo1"},
        // Decoded on slice threads by the reader, on one thread by the baseline.
        {"dv-720x480", "-c:v dvvideo -pix_fmt yuv411p -r 30000/1001", 720, 480, FourCC("dvsd"),
         "dvvideo"},
        {"ffv1-720x480", "-c:v ffv1 -level 3 -slices 16 -pix_fmt bgr0" + keys, 720, 480,
         FourCC("FFV1"), "ffv1"},
        {"ffv1-1920x1080", "-c:v ffv1 -level 3 -slices 16 -pix_fmt bgr0" + keys, 1920, 1080,
         FourCC("FFV1"), "ffv1"},
        // Every frame a key frame, decoded on frame threads by the reader while it reads in order.
        {"huffyuv-720x480", "-c:v huffyuv -pix_fmt yuv422p", 720, 480, FourCC("HFYU"), "huffyuv"},
        {"huffyuv-1920x1080", "-c:v huffyuv -pix_fmt yuv422p", 1920, 1080, FourCC("HFYU"),
         "huffyuv"},
        // Pictures held back: B-frames in closed groups of 12, read in display order.
        {"mpeg4-bf2-720x480", kMpeg4BFrames, 720, 480, FourCC("XVID"), "mpeg4"},
        {"mpeg4-bf2-1920x1080", kMpeg4BFrames, 1920, 1080, FourCC("XVID"), "mpeg4"},
        {"h264-bf3-720x480", kH264BFrames, 720, 480, FourCC("H264"), "h264"},
        {"h264-bf3-1920x1080", kH264BFrames, 1920, 1080, FourCC("H264"), "h264"},
    };
    std::erase_if(clips, [](const ClipSpec& clip) { return !Wanted(clip); });
    for (ClipSpec& clip : clips) {
        const bool large = clip.name == "uncompressed-1920x1080";
        if (!(large ? GenerateLargeUncompressed(clip) : Generate(clip))) {
            fprintf(stderr, "could not generate %s\n", clip.name.c_str());
            return 1;
        }
        for (const bool scattered : {false, true}) {
            const std::string access = scattered ? "random/" : "sequential/";
            benchmark::RegisterBenchmark(("Reader/" + access + clip.name).c_str(), ReadWithReader,
                                         clip, scattered);
            benchmark::RegisterBenchmark(("Libav/" + access + clip.name).c_str(), ReadWithLibav,
                                         clip, scattered);
        }
        benchmark::RegisterBenchmark(("FfmpegNull/" + clip.name).c_str(), FfmpegNull, clip)
            ->Iterations(3)
            ->UseRealTime();
    }
    const std::string million = WriteMillionEntryFile();
    benchmark::RegisterBenchmark("Reader/open-1000000-entries", zedadu::bench::OpenAndClose,
                                 million)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Cat/1000000-entries", zedadu::bench::CatOnce, million)
        ->UseRealTime();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(clips);
    benchmark::Shutdown();
    std::filesystem::remove_all(scratch);
    return 0;
}
