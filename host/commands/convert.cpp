// zedadu-host convert IN.avi OUT.avi: reads every frame and the audio of IN through the plug-in
// and records them into OUT through the plug-in, as a host records, with the settings of the
// command line, of ZEDADU.ini or of the settings dialog.
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/output_files.h"
#include "host/cli/signals.h"
#include "host/cli/text.h"
#include "host/cli/time_range.h"
#include "host/commands/commands.h"
#include "host/commands/conversion_choices.h"
#include "host/hosting/convert_source.h"
#include "host/hosting/dialog_choice.h"
#include "host/hosting/reading.h"
#include "host/hosting/recorder.h"
#include "host/hosting/request_formats.h"
#include "host/hosting/settings_file.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

struct ConvertOptions {
    std::string in;
    std::string out;
    bool savedSettings = false;
    bool save = false;
    bool openDml = false;
    bool noAudio = false;
    TimeRangeTexts range;
    ConversionOptionTexts choices;
    DialogOptions dialog;
    Answers answers;
};

// The input's frame size, rate and audio, compressed as the host does by default; or everything
// as the settings saved in ZEDADU.ini say.
HostFormats StartingFormats(const Plugin& plugin, const ReadingFile& in, bool savedSettings) {
    HostFormats formats = DefaultFormats();
    if (savedSettings) {
        WritingSettings saved(plugin);
        RunSettings(saved, kSettingsLoadIni | kSettingsAudio | kSettingsVideo, formats);
        formats.video = saved.video();
        formats.audio = saved.audio();
        if (const CompressionSettings* compression = saved.compression()) {
            formats.compression = *compression;
        }
        return formats;
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

// The name the plug-in writes: ".avi" is added to a name without any dot.
std::string WrittenName(const std::string& out) {
    return out.find('.') == std::string::npos ? out + ".avi" : out;
}

// Where the settings went: the dialog saves what it accepts, --save saves the options.
std::string SaveSettingsAsAsked(const ConvertOptions& options, bool dialog,
                                const WritingSettings& settings) {
    if (dialog) {
        return "in ZEDADU.ini (the settings dialog saves what it accepts)";
    }
    if (!options.save) {
        return "no (these settings served this conversion only)";
    }
    SaveSettings(settings.video(), *settings.compression(), settings.audio());
    if (options.openDml) {
        SetOpenDmlSetting(true);
    }
    return "in ZEDADU.ini (--save)";
}

// The file's bytes a second of its video beside the data rate asked for: a compressor that
// cannot code the pictures as small as asked (its coarsest quality is still too large) writes
// more, and the summary says so rather than repeat the promise.
std::string WrittenDataRate(const RecordingResult& result, const ImageFormatStruct& video,
                            const CompressionSettings& compression) {
    if (result.frames == 0 || video.rate == 0 || video.scale == 0) {
        return "none (no frames)";
    }
    const double seconds = double(result.frames) * video.scale / video.rate;
    const double written = double(result.fileBytes) / 1024 / seconds;
    return Text("%.0f KB/s over the whole file%s", written,
                written > compression.dataRate ? ", more than asked: the compressor codes these "
                                                 "pictures no smaller"
                                               : "");
}

std::string FramesText(const ReadingFile& in, const RecordingResult& result) {
    const auto native = NativeVideo(in.info());
    if (!native) {
        return "none";
    }
    return Text("%u from %u at %s (handed over as %s)", result.frames, in.info().frameCount,
                FrameRate(native->rate, native->scale).c_str(),
                result.videoInput.empty() ? "-" : result.videoInput.c_str());
}

// "0.5 s to 1.5 s of the input: its frames 15 to 44"
std::string RangeText(const TimeRange& range, const ConvertSource& source) {
    const UnitSpan frames = source.inputFrames();
    return Text("%s to %s of the input: its frames %llu to %llu", TimeText(range.start).c_str(),
                range.end ? TimeText(*range.end).c_str() : "the end",
                static_cast<unsigned long long>(frames.first),
                static_cast<unsigned long long>(frames.first + frames.count - 1));
}

std::string FramesReadText(const ConvertSource& source, const WritingSettings& settings) {
    const ImageFormatStruct& video = settings.video();
    const auto delivered = source.delivered();
    if (!delivered || (delivered->width == video.width && delivered->height == video.height)) {
        return Text("%i x %i, as asked", video.width, video.height);
    }
    return Text("%i x %i as the plug-in delivered them, resized to %i x %i by the host",
                delivered->width, delivered->height, video.width, video.height);
}

std::string SamplesText(const ReadingFile& in, const ConvertSource& source,
                        const RecordingResult& result) {
    const auto audio = NativeAudio(in.info());
    if (!audio) {
        return "none";
    }
    return Text("%llu from %llu at %s%s (handed over as %s)",
                static_cast<unsigned long long>(result.sampleFrames),
                static_cast<unsigned long long>(in.info().audioLength),
                SampleRateText(audio->sampleRate).c_str(),
                source.audioConverted() ? ", converted with libswresample" : "",
                result.audioInput.empty() ? "-" : result.audioInput.c_str());
}

// The recorder's sentence about the temporary file, told of the output the user named: its cause
// when the disk filled, and what became of an existing file.
std::string RecordingFailure(std::string message, const std::string& staged,
                             const std::string& out) {
    const size_t unfinished = message.find("; the unfinished ");
    if (unfinished != std::string::npos) {
        message.erase(unfinished);
    }
    for (size_t at; (at = message.find(staged)) != std::string::npos;) {
        message.replace(at, staged.size(), out);
    }
    const std::string reason = WriteStopReason(std::filesystem::path(out).parent_path().string());
    if (!reason.empty()) {
        message = "cannot write " + out + ": " + reason + " (" + message + ")";
    }
    return message +
           (std::filesystem::exists(out) ? "; the existing file was kept" : "; nothing was left");
}

// The input's frames without its audio (--no-audio).
class WithoutAudio : public RecordingSource {
  public:
    explicit WithoutAudio(RecordingSource& source) : source_(source) {}
    uint32_t frameCount() const override { return source_.frameCount(); }
    uint64_t audioLength() const override { return 0; }
    Image Frame(uint32_t index) override { return source_.Frame(index); }
    void Samples(uint64_t, uint32_t, const Layout&, std::vector<uint8_t>&) override {}

  private:
    RecordingSource& source_;
};

// The output is recorded under a temporary name in its folder and renamed when the plug-in has
// closed it, so an existing file is replaced only by a complete one. The first Ctrl-C or SIGTERM
// ends the recording at that frame and closes the file properly; a second removes it.
RecordingResult RecordStaged(const Plugin& plugin, const WritingSettings& settings,
                             const ConvertOptions& options, RecordingSource& source) {
    const std::string out = WrittenName(options.out);
    if (!ExistingFiles({out}).empty() && !ConfirmReplacing(out + " already exists; replace it?")) {
        throw HostError(out +
                        " already exists and the existing file was kept; nothing was written "
                        "(--yes replaces it)");
    }
    StagedFile staged(out);
    FinishOnFirstSignal();
    RecordingResult result;
    try {
        result =
            Record(plugin, settings, {staged.path(), false, "converting", options.openDml}, source);
    } catch (const HostError& error) {
        throw HostError(RecordingFailure(error.what(), staged.path(), out));
    }
    staged.Commit();
    result.path = out;
    if (StopRequested()) {
        fprintf(stderr, "zedadu-host: stopped by a signal; %s holds the first %u frames\n",
                out.c_str(), result.frames);
    }
    return result;
}

int RunConvert(const ConvertOptions& options) {
    const ConversionChoices choices = ParseChoices(options.choices);
    const std::optional<TimeRange> range = ParseTimeRange(options.range);
    RefuseFolderAsOutput(options.out);
    RefuseFolderAsOutput(WrittenName(options.out));
    RefuseToWriteOverInputs(WrittenName(options.out), {options.in});
    const bool dialog = PrepareDialog(options.dialog);
    Plugin plugin;
    const ReadingFile in(plugin, options.in);
    if (!NativeVideo(in.info())) {
        throw HostError(options.in +
                        " has no video; convert records frames with their audio (zedadu-host "
                        "audio writes the audio alone)");
    }
    CheckWritableDirectory(std::filesystem::path(options.out).parent_path().string(), false);
    HostFormats formats = StartingFormats(plugin, in, options.savedSettings);
    ApplyChoices(choices, formats);
    WritingSettings settings(plugin);
    RunSettings(settings, dialog ? kSettingsShowDialog | kSettingsAudio | kSettingsVideo : 0,
                formats);
    if (!settings.accepted()) {
        DialogEndedWithoutOk("nothing was converted");
    }
    CheckCompressorTakes(settings.video(), *settings.compression());
    const bool withAudio = !options.noAudio && NativeAudio(in.info()).has_value();
    CheckDataRateCarriesTheRecords(settings.video(), withAudio ? &settings.audio() : nullptr,
                                   *settings.compression());
    ConvertSource source(in, settings, range);
    const std::string saved = SaveSettingsAsAsked(options, dialog, settings);
    WithoutAudio videoOnly(source);
    const RecordingResult result =
        RecordStaged(plugin, settings, options,
                     options.noAudio ? static_cast<RecordingSource&>(videoOnly) : source);
    Section section(Text("Converted %s into %s", options.in.c_str(), result.path.c_str()));
    section.Row("frames", FramesText(in, result));
    if (range) {
        section.Row("time range", RangeText(*range, source));
    }
    section.Row("frames read at", FramesReadText(source, settings));
    section.Row("sample frames",
                options.noAudio ? "none (--no-audio)" : SamplesText(in, source, result));
    DescribeSettings(section, settings, withAudio);
    section.Row("OpenDML", options.openDml ? "on for this file" : "as ZEDADU.ini says");
    section.Row("settings saved", saved);
    section.Row("file size", ByteCount(result.fileBytes));
    if (const CompressionSettings* compression = settings.compression();
        compression && compression->dataRate > 0) {
        section.Row("data rate written", WrittenDataRate(result, settings.video(), *compression));
    }
    section.Row("time", Text("%s (%.1f frames/s)", Duration(result.seconds).c_str(),
                             result.seconds > 0 ? result.frames / result.seconds : 0.0));
    section.Print();
    return StopRequested() ? kExitFailed : kExitOk;
}

void AddConvertOptions(CLI::App& command, ConvertOptions& options) {
    command.add_option("IN", options.in, "the AVI file to read")->required();
    command.add_option("OUT", options.out, "the AVI file to write")->required();
    command.add_flag("--settings", options.savedSettings,
                     "start from the settings saved in ZEDADU.ini (size, rate, compression, "
                     "audio) instead of the input's size, rate and audio with MSVC");
    AddTimeRangeOptions(command, options.range);
    AddConversionOptions(command, options.choices);
    command.add_flag("--no-audio", options.noAudio,
                     "leave the audio out: the output has video only (ffmpeg's -an is taken too)");
    command.add_flag("--opendml", options.openDml,
                     "switch the plug-in's OpenDML writing on for this file");
    command.add_flag("--save", options.save, "save the settings of this conversion in ZEDADU.ini");
    AddDialogOptions(command, options.dialog);
}

}  // namespace

Command AddConvertCommand(CLI::App& command) {
    return Subcommand(command, AddConvertOptions, RunConvert);
}

}  // namespace zedadu::host
