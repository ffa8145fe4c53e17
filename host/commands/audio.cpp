// zedadu-host audio FILE --out FILE.wav: a run of sample frames as a WAV file.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/output_files.h"
#include "host/cli/report.h"
#include "host/cli/text.h"
#include "host/cli/time_range.h"
#include "host/commands/commands.h"
#include "host/commands/option_values.h"
#include "host/hosting/reading.h"
#include "host/media/wav_file.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

constexpr uint32_t kBlockFrames = 65536;
constexpr uint64_t kMostSampleFrames = 0xFFFFFFFF;

struct AudioOptions {
    std::string path;
    std::string from = "0";
    std::optional<std::string> count;
    TimeRangeTexts range;
    bool pcm16 = false;
    bool pcm8 = false;
    std::string out;
    Answers answers;
};

struct SampleRun {
    uint32_t from;
    uint32_t count;
};

SampleRun ParseRun(const AudioOptions& options, const ReadingFileInfo& info) {
    const auto native = NativeAudio(info);
    if (!native) {
        throw HostError(options.path + " has no audio");
    }
    if (const auto range = ParseTimeRange(options.range)) {
        const UnitSpan span =
            UnitsInRange(*range, native->sampleRate, 1, info.audioLength, "sample frame");
        return {uint32_t(span.first), uint32_t(span.count)};
    }
    const auto from = uint32_t(ParseWhole("--from", options.from, 0, kMostSampleFrames));
    const uint64_t count =
        ParseWhole("--count", options.count, 1, kMostSampleFrames).value_or(kMostSampleFrames);
    if (from >= info.audioLength) {
        throw UsageError(Text("--from %u is past the end (%s has %s)", from, options.path.c_str(),
                              Counted(info.audioLength, "sample frame").c_str()));
    }
    return {from, uint32_t(std::min<uint64_t>(count, info.audioLength - from))};
}

// The WAV file goes into a folder the host may write and replaces an existing file only after a
// Yes.
void PrepareOutput(const AudioOptions& options) {
    CheckWritableDirectory(std::filesystem::path(options.out).parent_path().string(), false);
    ConfirmReplacingFiles(ExistingFiles({options.out}));
}

int RunAudio(const AudioOptions& options) {
    RefuseToWriteOverInputs(options.out, {options.path});
    const Layout& layout = *FindAudioLayout(options.pcm8 ? "pcm8" : "pcm16");
    Plugin plugin;
    const ReadingFile file(plugin, options.path);
    const SampleRun run = ParseRun(options, file.info());
    PrepareOutput(options);
    const AudioFormatRecord native = *NativeAudio(file.info());
    StagedFile staged(options.out);
    {
        WavFile wav(staged.path(), layout, native.channels, native.sampleRate);
        ProgressBar progress("audio", run.count);
        std::vector<uint8_t> samples;
        for (uint32_t done = 0; done < run.count;) {
            const uint32_t block = std::min(kBlockFrames, run.count - done);
            ReadSamples(file, uint64_t(run.from) + done, block, layout, samples);
            wav.Write(samples.data(), block);
            done += block;
            progress.Update(done);
        }
    }
    staged.Commit();
    Section(Text("Audio of %s", options.path.c_str()))
        .Row("written", options.out)
        .Row("sample frames", Text("%u to %u (%s, %s)", run.from, run.from + run.count - 1,
                                   Counted(run.count, "sample frame").c_str(),
                                   Duration(double(run.count) / native.sampleRate).c_str()))
        .Row("format", AudioText(native.sampleRate, layout.bytes * 8, native.channels))
        .Print();
    return kExitOk;
}

void AddAudioOptions(CLI::App& command, AudioOptions& options) {
    command.add_option("FILE", options.path, "the AVI file")->required();
    CLI::Option* from = command.add_option("--from", options.from, "first sample frame, from 0")
                            ->type_name("N")
                            ->capture_default_str();
    CLI::Option* count =
        command
            .add_option("--count", options.count, "number of sample frames (default: to the end)")
            ->type_name("N");
    AddTimeRangeOptions(command, options.range, from, count);
    CLI::Option* pcm16 =
        command.add_flag("--pcm16", options.pcm16, "16-bit signed samples (the default)");
    command.add_flag("--pcm8", options.pcm8, "8-bit unsigned samples")->excludes(pcm16);
    command.add_option("--out", options.out, "the WAV file to write")->required();
}

}  // namespace

Command AddAudioCommand(CLI::App& command) {
    return Subcommand(command, AddAudioOptions, RunAudio);
}

}  // namespace zedadu::host
