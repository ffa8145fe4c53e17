// zedadu-host convert IN.avi OUT.avi: reads every frame and the audio of IN through the plug-in
// and records them into OUT through the plug-in, as a host records.
#include <cstdio>
#include <filesystem>
#include <memory>

#include <CLI/CLI.hpp>

#include "host/answers.h"
#include "host/commands.h"
#include "host/dialog_choice.h"
#include "host/errors.h"
#include "host/host_formats.h"
#include "host/reading.h"
#include "host/recorder.h"
#include "host/text.h"

namespace zedadu::host {
namespace {

struct ConvertOptions {
    std::string in;
    std::string out;
    bool savedSettings = false;
    DialogOptions dialog;
    Answers answers;
};

// Frames and samples of the input, at the output's frame size and rate: output frame j shows the
// input frame on screen at its time.
class ConvertSource : public RecordingSource {
  public:
    ConvertSource(const ReadingFile& in, const WritingSettings& settings)
        : in_(in), video_(settings.video()) {
        const auto native = NativeVideo(in.info());
        if (native && native->rate && video_.rate && video_.scale) {
            inputRate_ = double(native->rate) / native->scale;
            outputRate_ = double(video_.rate) / video_.scale;
            frames_ = uint32_t(double(in.info().frameCount) * outputRate_ / inputRate_);
        }
    }

    uint32_t frameCount() const override { return frames_; }
    uint64_t audioLength() const override {
        return NativeAudio(in_.info()) ? in_.info().audioLength : 0;
    }
    Image Frame(uint32_t index) override {
        const auto input = uint32_t(double(index) * inputRate_ / outputRate_ + 1e-9);
        return ReadPicture(in_, std::min(input, in_.info().frameCount - 1),
                           FrameSize{video_.width, video_.height});
    }
    void Samples(uint64_t first, uint32_t count, const Layout& layout,
                 std::vector<uint8_t>& samples) override {
        ReadSamples(in_, first, count, layout, samples);
    }

  private:
    const ReadingFile& in_;
    ImageFormatStruct video_;
    double inputRate_ = 1.0;
    double outputRate_ = 1.0;
    uint32_t frames_ = 0;
};

// The input's frame size, rate and audio, compressed as the host does by default or as the
// settings saved in ZEDADU.ini say.
HostFormats FormatsOf(const Plugin& plugin, const ReadingFile& in, bool savedSettings) {
    HostFormats formats = DefaultFormats();
    if (savedSettings) {
        WritingSettings saved(plugin);
        RunSettings(saved, kSettingsLoadIni | kSettingsAudio | kSettingsVideo, formats);
        formats.compression = *saved.compression();
    }
    if (const auto video = NativeVideo(in.info())) {
        formats.video = ImageFormat(*FindImageLayout("rgb24"), video->width, video->height,
                                    video->rate, video->scale);
    }
    if (const auto audio = NativeAudio(in.info())) {
        const Layout* layout = FindAudioLayout(FieldText(audio->formatId));
        formats.audio = AudioFormat(layout ? *layout : *FindAudioLayout("pcm16"), audio->channels,
                                    audio->sampleRate);
    }
    return formats;
}

// Audio goes over sample for sample, so the output must keep the input's rate and channels.
void CheckAudio(const ReadingFile& in, const WritingSettings& settings) {
    const auto audio = NativeAudio(in.info());
    if (audio && (settings.audio().sampleRate != audio->sampleRate ||
                  settings.audio().channels != audio->channels)) {
        throw HostError(Text("the output's audio must keep the input's %u Hz and %u channels",
                             audio->sampleRate, audio->channels));
    }
}

void PrintSummary(const ConvertOptions& options, const WritingSettings& settings,
                  const RecordingResult& result) {
    Section section(Text("Converted %s into %s", options.in.c_str(), result.path.c_str()));
    section.Row("frames", Text("%u (handed over as %s)", result.frames,
                               result.videoInput.empty() ? "-" : result.videoInput.c_str()));
    section.Row("sample frames", Text("%llu (handed over as %s)",
                                      static_cast<unsigned long long>(result.sampleFrames),
                                      result.audioInput.empty() ? "-" : result.audioInput.c_str()));
    DescribeSettings(section, settings);
    section.Row("file size", ByteCount(result.fileBytes));
    section.Row("time", Text("%s (%.1f frames/s)", Duration(result.seconds).c_str(),
                             result.seconds > 0 ? result.frames / result.seconds : 0.0));
    section.Print();
}

int RunConvert(const ConvertOptions& options) {
    ApplyAnswers(options.answers);
    std::error_code error;
    if (std::filesystem::equivalent(options.in, options.out, error)) {
        throw UsageError("the output must be another file than the input");
    }
    const uint32_t dialog =
        PrepareDialog(options.dialog) ? kSettingsShowDialog | kSettingsAudio | kSettingsVideo : 0;
    Plugin plugin;
    const ReadingFile in(plugin, options.in);
    WritingSettings settings(plugin);
    RunSettings(settings, dialog, FormatsOf(plugin, in, options.savedSettings));
    if (!settings.accepted()) {
        throw HostError("the settings dialog was cancelled; nothing was converted");
    }
    CheckAudio(in, settings);
    ConvertSource source(in, settings);
    const RecordingResult result =
        Record(plugin, settings, {options.out, true, "converting"}, source);
    PrintSummary(options, settings, result);
    return kExitOk;
}

}  // namespace

Command AddConvertCommand(CLI::App& application) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = application.add_subcommand(
        "convert",
        "Read every frame and the audio of an AVI file and record them into another through the "
        "plug-in.");
    command->add_option("IN", options->in, "the AVI file to read")->required();
    command->add_option("OUT", options->out, "the AVI file to write")->required();
    command->add_flag("--settings", options->savedSettings,
                      "compress as the settings saved in ZEDADU.ini say (default: MSVC, quality "
                      "7500, records padded to 512 bytes, audio leading)");
    AddDialogOptions(*command, options->dialog);
    AddAnswerOptions(*command, options->answers);
    return {command, [options] { return RunConvert(*options); }};
}

}  // namespace zedadu::host
