// zedadu-host demo: records a short clip through the plug-in, reads it back through the plug-in,
// compares, and leaves demo.avi and a contact sheet demo.png.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/output_files.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/file_description.h"
#include "host/hosting/reading.h"
#include "host/hosting/recorder.h"
#include "host/hosting/request_formats.h"
#include "host/media/clip.h"
#include "host/media/png_file.h"

namespace zedadu::host {
namespace {

constexpr uint32_t kSheetFrames = 6;
constexpr int32_t kSheetColumns = 3;

struct DemoOptions {
    bool ini = false;
    std::string out = ".";
    uint32_t frames = 60;
    Answers answers;
};

// The test pattern and the tone at the formats the plug-in settled on.
class ClipSource : public RecordingSource {
  public:
    ClipSource(const WritingSettings& settings, uint32_t frames)
        : video_(settings.video()), audio_(settings.audio()), frames_(frames) {}

    uint32_t frameCount() const override { return frames_; }
    uint64_t audioLength() const override {
        return video_.rate ? uint64_t(frames_) * audio_.sampleRate * video_.scale / video_.rate : 0;
    }
    Image Frame(uint32_t index) override { return TestPattern(video_.width, video_.height, index); }
    void Samples(uint64_t first, uint32_t count, const Layout& layout,
                 std::vector<uint8_t>& samples) override {
        Tone(first, count, audio_.channels, audio_.sampleRate, layout, samples);
    }

  private:
    ImageFormatStruct video_;
    AudioFormatRecord audio_;
    uint32_t frames_;
};

struct Comparison {
    uint32_t framesRead = 0;
    uint32_t framesIdentical = 0;
    double minPsnr = INFINITY, maxPsnr = 0.0, psnrSum = 0.0;
    uint64_t samplesCompared = 0;
    uint64_t samplesEqual = 0;
    std::vector<Image> sheetFrames;
};

void CompareFrames(const ReadingFile& file, ClipSource& clip, Comparison& comparison) {
    const uint32_t frames = std::min(file.info().frameCount, clip.frameCount());
    for (uint32_t i = 0; i < frames; ++i) {
        Image read = ReadPicture(file, i);
        const double psnr = Psnr(clip.Frame(i), read);
        ++comparison.framesRead;
        comparison.framesIdentical += std::isinf(psnr) ? 1 : 0;
        // Identical frames count as 99 dB in the mean, so that one lossless frame cannot make it
        // infinite.
        comparison.psnrSum += std::min(psnr, 99.0);
        comparison.minPsnr = std::min(comparison.minPsnr, psnr);
        comparison.maxPsnr = std::max(comparison.maxPsnr, psnr);
        if (i % std::max(1u, frames / kSheetFrames) == 0 &&
            comparison.sheetFrames.size() < kSheetFrames) {
            comparison.sheetFrames.push_back(std::move(read));
        }
    }
}

// Sample for sample in the file's own layout, which the clip's tone was recorded in.
void CompareAudio(const ReadingFile& file, ClipSource& clip, Comparison& comparison) {
    const auto audio = NativeAudio(file.info());
    if (!audio) {
        return;
    }
    const Layout& layout = *FindAudioLayout(FieldText(audio->formatId));
    const size_t frameBytes = size_t(audio->channels) * layout.bytes;
    std::vector<uint8_t> read, expected;
    const uint64_t total = std::min<uint64_t>(file.info().audioLength, clip.audioLength());
    for (uint64_t first = 0; first < total; first += 65536) {
        const auto count = uint32_t(std::min<uint64_t>(65536, total - first));
        ReadSamples(file, first, count, layout, read);
        clip.Samples(first, count, layout, expected);
        for (size_t at = 0; at < size_t(count) * frameBytes; at += frameBytes) {
            comparison.samplesEqual +=
                std::equal(&read[at], &read[at] + frameBytes, &expected[at]) ? 1 : 0;
        }
        comparison.samplesCompared += count;
    }
}

std::string PsnrText(const Comparison& comparison) {
    if (comparison.framesRead == 0) {
        return "no frames";
    }
    if (comparison.framesIdentical == comparison.framesRead) {
        return "every frame identical to its source (lossless)";
    }
    return Text(
        "min %.1f dB, mean %.1f dB, max %s (RGB, against the source)", comparison.minPsnr,
        comparison.psnrSum / comparison.framesRead,
        std::isinf(comparison.maxPsnr) ? "identical" : Text("%.1f dB", comparison.maxPsnr).c_str());
}

void PrintComparison(const Comparison& comparison, uint32_t frames, uint64_t samples) {
    Section section("Compared with the source");
    section.Row("frames", Text("%u of %u read back, %u identical", comparison.framesRead, frames,
                               comparison.framesIdentical));
    section.Row("PSNR", PsnrText(comparison));
    section.Row("audio", comparison.samplesEqual == samples && comparison.samplesCompared == samples
                             ? Text("all %llu sample frames identical",
                                    static_cast<unsigned long long>(samples))
                             : Text("%llu of %llu sample frames identical",
                                    static_cast<unsigned long long>(comparison.samplesEqual),
                                    static_cast<unsigned long long>(samples)));
    section.Print();
}

std::string WriteContactSheet(const std::vector<Image>& frames, const std::string& path) {
    if (frames.empty()) {
        return "none (no frames)";
    }
    const int32_t width = std::max(1, frames[0].width / 2);
    const int32_t height = std::max(1, frames[0].height / 2);
    const int32_t columns = std::min<int32_t>(kSheetColumns, int32_t(frames.size()));
    const int32_t rows = (int32_t(frames.size()) + columns - 1) / columns;
    const int32_t gap = 4;
    Image sheet(columns * width + (columns + 1) * gap, rows * height + (rows + 1) * gap);
    for (size_t i = 0; i < frames.size(); ++i) {
        const int32_t column = int32_t(i) % columns, row = int32_t(i) / columns;
        Paste(sheet, Resized(frames[i], width, height), gap + column * (width + gap),
              gap + row * (height + gap));
    }
    WritePng(path, sheet);
    return Text("%s (%zu frames, %i x %i)", path.c_str(), frames.size(), sheet.width, sheet.height);
}

void PrintPlugin(const Plugin& plugin) {
    const PluginQueryRecord& query = plugin.reading();
    Section(Text("zedadu-host demo - %s", FieldText(query.name).c_str()))
        .Row("file type", Text(".%s (%s)", query.extensions[0], query.descriptions[0]))
        .Row("capabilities", Text("reading 0x%02X, writing 0x%02X", query.capabilities,
                                  plugin.writing().capabilities))
        .Print();
}

void PrintSettings(const WritingSettings& settings, bool ini) {
    Section section(ini ? "Writing settings (saved in ZEDADU.ini, request 0x2)"
                        : "Writing settings (the host's own, handed over with request 0)");
    DescribeSettings(section, settings);
    section.Print();
}

void PrintRecording(const RecordingResult& result) {
    Section(Text("Recorded %s through the plug-in", result.path.c_str()))
        .Row("frames", Text("%u, handed over as %s", result.frames, result.videoInput.c_str()))
        .Row("sample frames",
             Text("%llu, handed over as %s in blocks of one frame period",
                  static_cast<unsigned long long>(result.sampleFrames), result.audioInput.c_str()))
        .Row("file size", ByteCount(result.fileBytes))
        .Row("time", Text("%s (%.1f frames/s)", Duration(result.seconds).c_str(),
                          result.seconds > 0 ? result.frames / result.seconds : 0.0))
        .Print();
}

// Recorded under a temporary name and renamed once the plug-in has closed it.
RecordingResult RecordDemo(const Plugin& plugin, const WritingSettings& settings,
                           const std::string& path, ClipSource& clip) {
    StagedFile staged(path);
    RecordingResult recorded = Record(plugin, settings, {staged.path(), false, "recording"}, clip);
    staged.Commit();
    recorded.path = path;
    return recorded;
}

int RunDemo(const DemoOptions& options) {
    std::filesystem::create_directories(options.out);
    const std::filesystem::path out(options.out);
    ConfirmReplacingFiles(
        ExistingFiles({(out / "demo.avi").string(), (out / "demo.png").string()}));
    Plugin plugin;
    PrintPlugin(plugin);
    WritingSettings settings(plugin);
    RunSettings(settings, options.ini ? kSettingsLoadIni | kSettingsAudio | kSettingsVideo : 0,
                DefaultFormats());
    PrintSettings(settings, options.ini);
    ClipSource clip(settings, options.frames);
    const RecordingResult recorded =
        RecordDemo(plugin, settings, (out / "demo.avi").string(), clip);
    PrintRecording(recorded);
    const ReadingFile file(plugin, recorded.path);
    Section contents(Text("Read back through the plug-in: %s", recorded.path.c_str()));
    DescribeFile(contents, file.info());
    contents.Print();
    Comparison comparison;
    CompareFrames(file, clip, comparison);
    CompareAudio(file, clip, comparison);
    PrintComparison(comparison, clip.frameCount(), clip.audioLength());
    Section("Contact sheet")
        .Row("picture", WriteContactSheet(comparison.sheetFrames, (out / "demo.png").string()))
        .Row("play it", "ffplay " + recorded.path)
        .Print();
    return kExitOk;
}

void AddDemoOptions(CLI::App& command, DemoOptions& options) {
    command.add_flag("--ini", options.ini,
                     "write with the settings saved in ZEDADU.ini instead of the host's own");
    command.add_option("--out", options.out, "directory for demo.avi and demo.png (created)")
        ->capture_default_str();
    command.add_option("--frames", options.frames, "length of the clip in frames")
        ->check(CLI::Range(1u, 100000u))
        ->capture_default_str();
}

}  // namespace

Command AddDemoCommand(CLI::App& command) {
    return Subcommand(command, AddDemoOptions, RunDemo);
}

}  // namespace zedadu::host
