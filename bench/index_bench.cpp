// Opening and reading files by their OpenDML index, and opening a file that has no index at all,
// each beside its baseline in the same run.
//
//   index_bench [--benchmark_filter=...]
//
// Files are generated with ffmpeg into a temporary directory at start-up (about 4.5 GB, deleted at
// the end): an OpenDML file (640 x 480 bgr24, 1400 frames and 48 kHz stereo audio, 2800 index
// entries), a legacy file with the same number of entries (320 x 240), a legacy file of the
// OpenDML file's first 1000 frames, and a 2 GB OpenDML file whose indexes are all turned into JUNK.
// Targets: "Open/opendml" at most 1.5 times "Open/legacy-same-entries"; "Open/no-index-2GB" (the
// index rebuilt by walking the movie lists) at most 0.25 times "Cat/no-index-2GB", the file in
// the page cache; reading the first 1000 frames in order through the OpenDML index at most 1.02
// times through the legacy index ("Read/side-by-side" reads a frame of each file in turn; its
// counters are the time per frame of each). The three ratios are printed after the usual lines,
// the median over the repetitions (--benchmark_repetitions=N).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/open_and_cat.h"
#include "bench/ratios.h"
#include "core/records.h"
#include "plugin/plugin.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr uint32_t kReadFrames = 1000;

std::filesystem::path scratch;

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string Path(const std::string& name) {
    return (scratch / name).string();
}

bool Generate(const std::string& name, const std::string& size, uint32_t frames) {
    const double seconds = frames / 25.0;
    return Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" + size +
               ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -frames:v " +
               std::to_string(frames) + " -t " + std::to_string(seconds) +
               " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 2 " + Path(name));
}

uint32_t Le32At(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    memcpy(&value, bytes.data() + at, 4);
    return value;
}

// Turns the super indexes of the header list and the legacy index behind the first movie list
// into JUNK: the file keeps its layout and loses its indexes.
bool HideIndexes(const std::string& path) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string head(1 << 16, '\0');
    file.read(head.data(), std::streamsize(head.size()));
    file.clear();
    for (size_t at = head.find("indx"); at != std::string::npos; at = head.find("indx", at + 4)) {
        file.seekp(std::streamoff(at));
        file.write("JUNK", 4);
    }
    const size_t movie = head.find("movi");
    if (movie == std::string::npos || movie < 8) {
        return false;
    }
    const uint64_t index = movie + uint64_t(Le32At(head, movie - 4));
    char id[4] = {};
    file.seekg(std::streamoff(index));
    file.read(id, 4);
    file.clear();
    if (memcmp(id, "idx1", 4) != 0) {
        return false;
    }
    file.seekp(std::streamoff(index));
    file.write("JUNK", 4);
    return bool(file);
}

// Reads frame `frame` of an open file as 24-bit RGB into `buffer`, and says how long that took.
double SecondsToRead(void* handle, uint32_t frame, std::vector<uint8_t>& buffer) {
    ImageFrameRequest request{};
    request.frameNumber = frame;
    request.buffer = buffer.data();
    request.bufferSize = uint32_t(buffer.size());
    strcpy(request.requested.formatId, zedadu::FORMAT_ID_RGB24);
    request.requested.width = kWidth;
    request.requested.height = kHeight;
    const auto start = std::chrono::steady_clock::now();
    const bool read = AVFILE_ReadImageFrame(handle, &request);
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(buffer.data());
    return read ? taken.count() : -1;
}

// Reads the same frames in order from both files, one frame from each in turn (which file goes
// first alternates), so that both see the same load of a busy machine. Each file's time per frame
// is a counter, in microseconds.
void ReadSideBySide(benchmark::State& state, const std::string& opendml,
                    const std::string& legacy) {
    void* handles[2] = {};
    if (!AVFILE_OpenFileForRead(&handles[0], opendml.c_str()) ||
        !AVFILE_OpenFileForRead(&handles[1], legacy.c_str())) {
        state.SkipWithError("open failed");
    }
    std::vector<uint8_t> buffer(size_t(kWidth) * kHeight * 3);
    double seconds[2] = {};
    uint32_t next = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const int file = (turn + int(next)) % 2;
            const double taken = SecondsToRead(handles[file], next, buffer);
            if (taken < 0) {
                state.SkipWithError("frame read failed");
                break;
            }
            seconds[file] += taken;
        }
        next = (next + 1) % kReadFrames;
    }
    state.counters["opendml_us"] =
        seconds[0] * 1e6 / double(std::max<int64_t>(1, state.iterations()));
    state.counters["legacy_us"] =
        seconds[1] * 1e6 / double(std::max<int64_t>(1, state.iterations()));
    for (void* handle : handles) {
        if (handle) {
            AVFILE_CloseReadingFile(handle);
        }
    }
}

// Keeps every repetition's time per iteration (and counters) of each benchmark, so that the ratios
// can be printed at the end: the median of the ratios of the repetitions taken in the same turn,
// which a busy machine disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations <= 0) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            times_[name].push_back(run.real_accumulated_time / double(run.iterations));
            for (const auto& [counter, value] : run.counters) {
                times_[name + "/" + counter].push_back(value.value);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        PrintRatio("Open/opendml", "Open/legacy-same-entries", 1.5);
        PrintRatio("Open/no-index-2GB", "Cat/no-index-2GB", 0.25);
        PrintRatio("Read/side-by-side/opendml_us", "Read/side-by-side/legacy_us", 1.02);
    }

  private:
    void PrintRatio(const std::string& ours, const std::string& baseline, double target) const {
        const auto found = times_.find(ours);
        const auto base = times_.find(baseline);
        if (found == times_.end() || base == times_.end()) {
            return;
        }
        std::printf("%-28s / %-28s %6.3f (target at most %.2f)\n", ours.c_str(), baseline.c_str(),
                    zedadu::bench::MedianOfPairedRatios(found->second, base->second), target);
    }

    std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    scratch =
        std::filesystem::temp_directory_path() / ("zedadu-index-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    if (!Generate("opendml.avi", size, 1400) ||
        !Generate("legacy-same-entries.avi", "320x240", 1400) ||
        !Generate("legacy-1000.avi", size, kReadFrames) || !Generate("no-index.avi", size, 2150) ||
        !HideIndexes(Path("no-index.avi"))) {
        fprintf(stderr, "could not generate the files\n");
        std::filesystem::remove_all(scratch);
        return 1;
    }
    benchmark::RegisterBenchmark("Open/opendml", zedadu::bench::OpenAndClose, Path("opendml.avi"));
    benchmark::RegisterBenchmark("Open/legacy-same-entries", zedadu::bench::OpenAndClose,
                                 Path("legacy-same-entries.avi"));
    benchmark::RegisterBenchmark("Open/no-index-2GB", zedadu::bench::OpenAndClose,
                                 Path("no-index.avi"))
        ->UseRealTime();
    benchmark::RegisterBenchmark("Cat/no-index-2GB", zedadu::bench::CatOnce, Path("no-index.avi"))
        ->UseRealTime();
    benchmark::RegisterBenchmark("Read/side-by-side", ReadSideBySide, Path("opendml.avi"),
                                 Path("legacy-1000.avi"));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    std::filesystem::remove_all(scratch);
    return 0;
}
