// zedadu-host audio FILE --out FILE.wav: a run of sample frames as a WAV file.
#include <algorithm>
#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>

#include "host/answers.h"
#include "host/commands.h"
#include "host/errors.h"
#include "host/reading.h"
#include "host/report.h"
#include "host/text.h"
#include "host/wav_file.h"

namespace zedadu::host {
namespace {

constexpr uint32_t kBlockFrames = 65536;

struct AudioOptions {
    std::string path;
    uint32_t from = 0;
    std::optional<uint32_t> count;
    bool pcm16 = false;
    bool pcm8 = false;
    std::string out;
    Answers answers;
};

uint32_t SampleCount(const AudioOptions& options, const ReadingFileInfo& info) {
    if (!NativeAudio(info)) {
        throw HostError(options.path + " has no audio");
    }
    if (options.from >= info.audioLength) {
        throw UsageError(Text("--from %u is past the end (%s has %u sample frames)", options.from,
                              options.path.c_str(), info.audioLength));
    }
    return std::min(options.count.value_or(info.audioLength), info.audioLength - options.from);
}

int RunAudio(const AudioOptions& options) {
    ApplyAnswers(options.answers);
    const Layout& layout = *FindAudioLayout(options.pcm8 ? "pcm8" : "pcm16");
    Plugin plugin;
    const ReadingFile file(plugin, options.path);
    const uint32_t count = SampleCount(options, file.info());
    const AudioFormatRecord native = *NativeAudio(file.info());
    WavFile wav(options.out, layout, native.channels, native.sampleRate);
    ProgressBar progress("audio", count);
    std::vector<uint8_t> samples;
    for (uint32_t done = 0; done < count;) {
        const uint32_t block = std::min(kBlockFrames, count - done);
        ReadSamples(file, uint64_t(options.from) + done, block, layout, samples);
        wav.Write(samples.data(), block);
        done += block;
        progress.Update(done);
    }
    Section(Text("Audio of %s", options.path.c_str()))
        .Row("written", options.out)
        .Row("sample frames", Text("%u to %u (%u, %s)", options.from, options.from + count - 1,
                                   count, Duration(double(count) / native.sampleRate).c_str()))
        .Row("format", Text("%u Hz, %u channel%s, %s", native.sampleRate, native.channels,
                            native.channels == 1 ? "" : "s", layout.label))
        .Print();
    return kExitOk;
}

}  // namespace

Command AddAudioCommand(CLI::App& application) {
    auto options = std::make_shared<AudioOptions>();
    CLI::App* command = application.add_subcommand(
        "audio", "Read a run of audio sample frames through the plug-in into a WAV file.");
    command->add_option("FILE", options->path, "the AVI file")->required();
    command->add_option("--from", options->from, "first sample frame, from 0")
        ->capture_default_str();
    command->add_option("--count", options->count, "number of sample frames (default: to the end)")
        ->check(CLI::PositiveNumber);
    CLI::Option* pcm16 =
        command->add_flag("--pcm16", options->pcm16, "16-bit signed samples (the default)");
    command->add_flag("--pcm8", options->pcm8, "8-bit unsigned samples")->excludes(pcm16);
    command->add_option("--out", options->out, "the WAV file to write")->required();
    AddAnswerOptions(*command, options->answers);
    return {command, [options] { return RunAudio(*options); }};
}

}  // namespace zedadu::host
