// Converter speed beside two baselines measured in the same run: memcpy of the output bytes and
// libswscale's nearest conversion. After the usual per-benchmark lines a table of ratios is
// printed: memcpy/ours is the share of copy bandwidth reached (1 = as fast as copying the output),
// swscale/ours how many times faster than libswscale the converter is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "convert/convert.h"

namespace {

struct Conversion {
    const char* name;
    int32_t source;
    int32_t target;
    AVPixelFormat swsSource;
    AVPixelFormat swsTarget;
};

constexpr Conversion kConversions[] = {
    {"24->32", 24, 32, AV_PIX_FMT_BGR24, AV_PIX_FMT_BGRA},
    {"32->24", 32, 24, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGR24},
    {"8->32", 8, 32, AV_PIX_FMT_GRAY8, AV_PIX_FMT_BGRA},
    {"24->8", 24, 8, AV_PIX_FMT_BGR24, AV_PIX_FMT_GRAY8},
    {"24->422", 24, zedadu::kLayout422, AV_PIX_FMT_BGR24, AV_PIX_FMT_YUYV422},
    {"32->422", 32, zedadu::kLayout422, AV_PIX_FMT_BGRA, AV_PIX_FMT_YUYV422},
    {"64->24", 64, 24, AV_PIX_FMT_BGRA64LE, AV_PIX_FMT_BGR24},
    {"24->16", 24, 16, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB555LE},
    {"32->64", 32, 64, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGRA64LE},
    {"64->32", 64, 32, AV_PIX_FMT_BGRA64LE, AV_PIX_FMT_BGRA},
};

struct Size {
    int32_t width;
    int32_t height;
};

constexpr Size kSizes[] = {{1920, 1080}, {720, 486}};

size_t BytesPerPixel(int32_t code) {
    switch (code) {
        case 8:
            return 1;
        case 24:
            return 3;
        case 32:
            return 4;
        case 64:
            return 8;
        default:
            return 2;
    }
}

// An av_malloc'ed block of random bytes, aligned the way libswscale likes its buffers.
class Block {
  public:
    explicit Block(size_t size) : bytes_(static_cast<uint8_t*>(av_malloc(size))) {
        std::mt19937 random(7);
        for (size_t i = 0; i < size; ++i) {
            bytes_[i] = uint8_t(random());
        }
    }
    ~Block() { av_free(bytes_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    uint8_t* data() const { return bytes_; }

  private:
    uint8_t* bytes_;
};

// The buffer must hold every layout the route passes through: 64-bit sources go through 32 and
// 4:2:2 targets through 24.
size_t BufferBytes(const Conversion& c, size_t pixels) {
    size_t widest = std::max(BytesPerPixel(c.source), BytesPerPixel(c.target));
    if (c.target == zedadu::kLayout422) {
        widest = std::max<size_t>(widest, 3);
    }
    return widest * pixels;
}

void Ours(benchmark::State& state, Conversion c, Size size) {
    const size_t pixels = size_t(size.width) * size_t(size.height);
    Block buffer(BufferBytes(c, pixels));
    for (auto _ : state) {
        zedadu::ConvertColorSpace(buffer.data(), size.width, size.height, c.source, c.target);
        benchmark::ClobberMemory();
    }
}

void Memcpy(benchmark::State& state, Conversion c, Size size) {
    const size_t bytes = BytesPerPixel(c.target) * size_t(size.width) * size_t(size.height);
    Block from(bytes), to(bytes);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

void Swscale(benchmark::State& state, Conversion c, Size size) {
    SwsContext* context =
        sws_getContext(size.width, size.height, c.swsSource, size.width, size.height, c.swsTarget,
                       SWS_POINT, nullptr, nullptr, nullptr);
    if (!context) {
        state.SkipWithError("libswscale has no such conversion");
        return;
    }
    const size_t pixels = size_t(size.width) * size_t(size.height);
    Block from(BytesPerPixel(c.source) * pixels), to(BytesPerPixel(c.target) * pixels);
    const uint8_t* const sourcePlanes[] = {from.data()};
    uint8_t* const targetPlanes[] = {to.data()};
    const int sourceStride[] = {int(BytesPerPixel(c.source)) * size.width};
    const int targetStride[] = {int(BytesPerPixel(c.target)) * size.width};
    for (auto _ : state) {
        sws_scale(context, sourcePlanes, sourceStride, 0, size.height, targetPlanes, targetStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
}

std::string Name(const char* kind, const Conversion& c, Size size) {
    return std::string(kind) + "/" + c.name + "/" + std::to_string(size.width) + "x" +
           std::to_string(size.height);
}

// Keeps each run's time per iteration, so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (!run.error_occurred) {
                seconds_[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\n%-8s %-10s %10s %10s %10s %12s %12s\n", "convert", "size", "ours us",
                    "memcpy us", "swscale us", "memcpy/ours", "swscale/ours");
        for (const Size size : kSizes) {
            for (const Conversion& c : kConversions) {
                const double ours = Seconds(Name("convert", c, size));
                const double copy = Seconds(Name("memcpy", c, size));
                const double sws = Seconds(Name("swscale", c, size));
                const std::string dims =
                    std::to_string(size.width) + "x" + std::to_string(size.height);
                std::printf("%-8s %-10s %10.1f %10.1f %10.1f %12.2f %12.2f\n", c.name, dims.c_str(),
                            ours * 1e6, copy * 1e6, sws * 1e6, copy / ours, sws / ours);
            }
        }
    }

  private:
    double Seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0 : found->second;
    }

    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    for (const Size size : kSizes) {
        for (const Conversion& c : kConversions) {
            benchmark::RegisterBenchmark(Name("convert", c, size).c_str(), Ours, c, size)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(Name("memcpy", c, size).c_str(), Memcpy, c, size)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(Name("swscale", c, size).c_str(), Swscale, c, size)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
