// Decoded audio against ffmpeg: opening files that hold two hours of VBR MP3 and of AC-3 beside
// opening a PCM file of as many chunks; a one-second run at 100 random places beside libavcodec
// driven directly over the same chunks from the same starting chunk; the whole track read in order
// beside the ffmpeg command line's CPU time for the same decode.
//
//   audio_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// Ten seconds of each coding are made with ffmpeg at start-up; the two-hour files repeat their
// chunks, so only their index and chunks are written, never encoded. The table at the end gives the
// ratios (medians over the repetitions) with their targets: opening at most 2, runs at most 1.2,
// the whole track at most 1.1.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/open_and_cat.h"
#include "bench/ratios.h"
#include "plugin/plugin.h"
#include "reader/internal.h"
#include "tests/support/requests.h"

namespace {

using zedadu::reader::ReadingFile;

constexpr uint32_t kRate = 48000;
constexpr uint32_t kTwoHours = 2 * 3600;
constexpr uint32_t kWholeTrackSeconds = 600;
constexpr int kRuns = 100;

std::filesystem::path scratch;

std::string Path(const std::string& name) {
    return (scratch / name).string();
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string Le16(uint16_t v) {
    return {char(v & 0xFF), char(v >> 8)};
}

std::string Le32(uint32_t v) {
    return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16));
}

std::string Chunk(const char* id, const std::string& data) {
    return id + Le32(uint32_t(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}

std::string List(const char* type, const std::string& contents) {
    return "LIST" + Le32(uint32_t(contents.size() + 4)) + type + contents;
}

// What a ten-second source holds: its format and its chunks.
struct Source {
    std::string format;
    std::vector<std::string> chunks;
};

bool LoadSource(const std::string& path, Source& source) {
    auto reading = std::make_unique<ReadingFile>();
    strcpy(reading->path, path.c_str());
    if (!zedadu::reader::ParseAviFile(*reading)) {
        return false;
    }
    source.format.assign(reading->audioFormatBytes.begin(), reading->audioFormatBytes.end());
    std::ifstream file(path, std::ios::binary);
    for (size_t i = 0; i < reading->index.audio.size(); ++i) {
        const auto place =
            zedadu::reader::ChunkAt(reading->index, zedadu::reader::Stream::Audio, i);
        std::string bytes(place.size, '\0');
        file.seekg(place.position);
        file.read(bytes.data(), place.size);
        source.chunks.push_back(bytes);
    }
    return !source.chunks.empty() && bool(file);
}

// An audio-only AVI of so many chunks, the source's chunks over and over.
bool WriteRepeated(const Source& source, size_t chunks, uint32_t length, const std::string& path) {
    const std::string strh = "auds" + Le32(0) + Le32(0) + Le32(0) + Le32(0) + Le32(1) +
                             Le32(kRate) + Le32(0) + Le32(length) + Le32(0) + Le32(0xFFFFFFFF) +
                             Le32(0) + std::string(8, '\0');
    const std::string avih = Le32(0) + Le32(0) + Le32(0) + Le32(0x10) + Le32(0) + Le32(0) +
                             Le32(1) + std::string(36, '\0');
    const std::string header =
        List("hdrl", Chunk("avih", avih) +
                         List("strl", Chunk("strh", strh) + Chunk("strf", source.format)));
    std::string movi, index;
    for (size_t i = 0; i < chunks; ++i) {
        const std::string& data = source.chunks[i % source.chunks.size()];
        index +=
            "00wb" + Le32(0x10) + Le32(uint32_t(movi.size() + 4)) + Le32(uint32_t(data.size()));
        movi += Chunk("00wb", data);
    }
    const std::string body = header + List("movi", movi) + Chunk("idx1", index);
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << Le32(uint32_t(body.size() + 4)) << "AVI " << body;
    return bool(out);
}

// MP3 and AC-3 keep ffmpeg's chunks of one frame; the PCM file (8-bit mono at 8 kHz, to stay
// small) is cut into chunks of 192 sample frames, so that it has as many chunks as the MP3 file.
struct Coding {
    std::string name;
    std::string encode;
    uint32_t frameSamples;  // sample frames of one chunk
    uint32_t rate = kRate;
    uint32_t pcmChunk = 0;  // the chunk size PCM is cut into
};

void CutPcm(Source& source, uint32_t chunkBytes) {
    std::string all;
    for (const std::string& chunk : source.chunks) {
        all += chunk;
    }
    source.chunks.clear();
    for (size_t at = 0; at + chunkBytes <= all.size(); at += chunkBytes) {
        source.chunks.push_back(all.substr(at, chunkBytes));
    }
}

bool MakeFiles(const Coding& coding) {
    const std::string source = Path(coding.name + "-source.avi");
    Source chunks;
    if (!Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=" +
             std::to_string(coding.rate) + " -t 10 " + coding.encode + " " + source) ||
        !LoadSource(source, chunks)) {
        return false;
    }
    if (coding.pcmChunk) {
        CutPcm(chunks, coding.pcmChunk);
    }
    const size_t longChunks = size_t(kTwoHours) * coding.rate / coding.frameSamples;
    const size_t wholeChunks = size_t(kWholeTrackSeconds) * coding.rate / coding.frameSamples;
    return WriteRepeated(chunks, longChunks, uint32_t(longChunks * coding.frameSamples),
                         Path(coding.name + "-2h.avi")) &&
           WriteRepeated(chunks, wholeChunks, uint32_t(wholeChunks * coding.frameSamples),
                         Path(coding.name + "-whole.avi"));
}

// libavcodec alone over the same chunks: a fresh decoder some chunks before the run, its output
// converted to 16-bit interleaved samples, read from the file chunk by chunk as the reader reads.
class DirectDecoder {
  public:
    explicit DirectDecoder(const std::string& path) : file_(path, std::ios::binary) {
        reading_ = std::make_unique<ReadingFile>();
        strcpy(reading_->path, path.c_str());
        zedadu::reader::ParseAviFile(*reading_);
        codec_ = avcodec_find_decoder(CodecId());
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
    }
    ~DirectDecoder() {
        avcodec_free_context(&context_);
        swr_free(&resampler_);
        av_packet_free(&packet_);
        av_frame_free(&frame_);
    }

    size_t chunks() const { return reading_->index.audio.size(); }

    // Decodes chunks [first, last] into out.
    void Decode(size_t first, size_t last, std::vector<int16_t>& out) {
        avcodec_free_context(&context_);
        context_ = avcodec_alloc_context3(codec_);
        context_->sample_rate = int(kRate);
        av_channel_layout_default(&context_->ch_layout, 1);
        avcodec_open2(context_, codec_, nullptr);
        for (size_t i = first; i <= last; ++i) {
            const auto place =
                zedadu::reader::ChunkAt(reading_->index, zedadu::reader::Stream::Audio, i);
            av_new_packet(packet_, int(place.size));
            file_.seekg(place.position);
            file_.read(reinterpret_cast<char*>(packet_->data), place.size);
            avcodec_send_packet(context_, packet_);
            av_packet_unref(packet_);
            while (avcodec_receive_frame(context_, frame_) >= 0) {
                Convert(out);
            }
        }
    }

  private:
    AVCodecID CodecId() const {
        const uint16_t tag = uint16_t(reading_->waveFormat.wFormatTag);
        return tag == 0x55 ? AV_CODEC_ID_MP3 : AV_CODEC_ID_AC3;
    }

    void Convert(std::vector<int16_t>& out) {
        if (resampler_ == nullptr) {
            swr_alloc_set_opts2(&resampler_, &frame_->ch_layout, AV_SAMPLE_FMT_S16, kRate,
                                &frame_->ch_layout, AVSampleFormat(frame_->format), kRate, 0,
                                nullptr);
            swr_init(resampler_);
        }
        const size_t at = out.size();
        out.resize(at + size_t(frame_->nb_samples) * size_t(frame_->ch_layout.nb_channels));
        uint8_t* target = reinterpret_cast<uint8_t*>(out.data() + at);
        swr_convert(resampler_, &target, frame_->nb_samples,
                    const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
        av_frame_unref(frame_);
    }

    std::ifstream file_;
    std::unique_ptr<ReadingFile> reading_;
    const AVCodec* codec_ = nullptr;
    AVCodecContext* context_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

// The same 100 places in every benchmark: sample frames of a two-hour track.
std::vector<uint32_t> Places(uint32_t frames) {
    std::mt19937 random(24);
    std::vector<uint32_t> places(kRuns);
    for (uint32_t& place : places) {
        place = random() % (frames - kRate);
    }
    return places;
}

void ReadRuns(benchmark::State& state, const std::string& path) {
    void* handle = nullptr;
    if (!AVFILE_OpenFileForRead(&handle, path.c_str())) {
        state.SkipWithError("open failed");
        return;
    }
    ReadingFileInfo info{};
    info.size = sizeof info;
    AVFILE_GetReadingFileInfo(handle, &info);
    std::vector<uint8_t> buffer(kRate * 2 * size_t(info.audioFormats[0].channels));
    for (auto _ : state) {
        for (const uint32_t first : Places(info.audioLength)) {
            AudioSamplesRequest request =
                zedadu::test::SamplesRequest(first, kRate, zedadu::FORMAT_ID_PCM16, buffer);
            if (!AVFILE_ReadAudioSamples(handle, &request)) {
                state.SkipWithError("read failed");
                break;
            }
        }
    }
    AVFILE_CloseReadingFile(handle);
}

// Chunk of a frame and the warm-up before it, as the reader chooses them.
void DecodeRunsDirectly(benchmark::State& state, const std::string& path, uint32_t frameSamples,
                        size_t warmUp) {
    DirectDecoder decoder(path);
    std::vector<int16_t> out;
    const uint32_t frames = uint32_t(decoder.chunks() * frameSamples);
    for (auto _ : state) {
        for (const uint32_t first : Places(frames)) {
            const size_t chunk = first / frameSamples;
            const size_t last =
                std::min(size_t((first + kRate) / frameSamples), decoder.chunks() - 1);
            out.clear();
            decoder.Decode(chunk > warmUp ? chunk - warmUp : 0, last, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
}

void ReadWholeTrack(benchmark::State& state, const std::string& path) {
    void* handle = nullptr;
    AVFILE_OpenFileForRead(&handle, path.c_str());
    ReadingFileInfo info{};
    info.size = sizeof info;
    AVFILE_GetReadingFileInfo(handle, &info);
    const uint32_t channels = info.audioFormats[0].channels;
    std::vector<uint8_t> buffer(kRate * 2 * size_t(channels));
    for (auto _ : state) {
        for (uint32_t first = 0; first < info.audioLength; first += kRate) {
            AudioSamplesRequest request = zedadu::test::SamplesRequest(
                first, std::min(kRate, info.audioLength - first), zedadu::FORMAT_ID_PCM16, buffer);
            AVFILE_ReadAudioSamples(handle, &request);
        }
    }
    AVFILE_CloseReadingFile(handle);
}

// The CPU time (user and system) of the ffmpeg command line decoding the track, as the iteration's
// time.
void FfmpegCpuTime(benchmark::State& state, const std::string& path) {
    const std::string command =
        "ffmpeg -nostdin -loglevel error -threads 1 -i " + path + " -vn -f s16le -y /dev/null";
    for (auto _ : state) {
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        Run(command);
        getrusage(RUSAGE_CHILDREN, &after);
        const auto seconds = [](const rusage& usage) {
            return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        };
        state.SetIterationTime(seconds(after) - seconds(before));
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration && run.iterations > 0) {
                // Processor time: the machine is shared, and ffmpeg's is measured as such.
                const double time = run.run_name.time_type == "manual_time"
                                        ? run.real_accumulated_time
                                        : run.cpu_accumulated_time;
                times_[run.run_name.function_name].push_back(time / double(run.iterations));
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const std::string& ours, const std::string& baseline, double target) const {
        const auto found = times_.find(ours);
        const auto base = times_.find(baseline);
        if (found == times_.end() || base == times_.end()) {
            return;
        }
        std::printf("%-22s / %-22s %6.3f (target at most %.2f)\n", ours.c_str(), baseline.c_str(),
                    zedadu::bench::MedianOfPairedRatios(found->second, base->second), target);
    }

  private:
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    scratch =
        std::filesystem::temp_directory_path() / ("zedadu-audio-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    const Coding codings[] = {{"mp3", "-c:a libmp3lame -q:a 9", 1152},
                              {"ac3", "-c:a ac3 -b:a 64k", 1536},
                              {"pcm", "-c:a pcm_u8", 192, 8000, 192}};
    for (const Coding& coding : codings) {
        if (!MakeFiles(coding)) {
            fprintf(stderr, "could not make the %s files\n", coding.name.c_str());
            std::filesystem::remove_all(scratch);
            return 1;
        }
    }
    for (const char* name : {"mp3", "ac3", "pcm"}) {
        benchmark::RegisterBenchmark((std::string("Open/") + name).c_str(),
                                     zedadu::bench::OpenAndClose,
                                     Path(name + std::string("-2h.avi")));
    }
    const std::pair<const char*, uint32_t> decoded[] = {{"mp3", 1152}, {"ac3", 1536}};
    for (const auto& [name, frameSamples] : decoded) {
        const std::string longFile = Path(name + std::string("-2h.avi"));
        const std::string whole = Path(name + std::string("-whole.avi"));
        const size_t warmUp = frameSamples == 1152 ? 8 : 2;
        benchmark::RegisterBenchmark((std::string("Runs/") + name).c_str(), ReadRuns, longFile);
        benchmark::RegisterBenchmark((std::string("RunsDirect/") + name).c_str(),
                                     DecodeRunsDirectly, longFile, frameSamples, warmUp);
        benchmark::RegisterBenchmark((std::string("Whole/") + name).c_str(), ReadWholeTrack, whole)
            ->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark((std::string("FfmpegCpu/") + name).c_str(), FfmpegCpuTime,
                                     whole)
            ->UseManualTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("Open/mp3", "Open/pcm", 2);
    reporter.PrintRatio("Open/ac3", "Open/pcm", 2);
    for (const char* name : {"mp3", "ac3"}) {
        reporter.PrintRatio(std::string("Runs/") + name, std::string("RunsDirect/") + name, 1.2);
        reporter.PrintRatio(std::string("Whole/") + name, std::string("FfmpegCpu/") + name, 1.1);
    }
    benchmark::Shutdown();
    std::filesystem::remove_all(scratch);
    return 0;
}
