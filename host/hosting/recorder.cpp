#include "host/hosting/recorder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include "host/cli/errors.h"
#include "host/cli/report.h"
#include "host/cli/signals.h"
#include "host/cli/text.h"
#include "host/hosting/settings_file.h"

namespace zedadu::host {
namespace {

// The accepted input layout the host hands frames in: the file's own layout when the host can
// make it (no conversion in the plug-in), else the first RGB layout accepted.
const ImageFormatStruct* ChooseVideoInput(const WritingFileInfo& info,
                                          const ImageFormatStruct& output) {
    const ImageFormatStruct* chosen = nullptr;
    for (uint32_t i = 0; i < info.videoFormatCount && info.videoFormats; ++i) {
        const ImageFormatStruct& format = info.videoFormats[i];
        const Layout* layout = FindImageLayout(FieldText(format.formatId));
        if (!layout || layout->bytes < 3) {
            continue;
        }
        if (!chosen || FieldText(format.formatId) == FieldText(output.formatId)) {
            chosen = &format;
        }
    }
    return chosen;
}

// The file's own sample layout when accepted (no conversion in the plug-in), else any PCM.
const AudioFormatRecord* ChooseAudioInput(const WritingFileInfo& info,
                                          const AudioFormatRecord& output) {
    const AudioFormatRecord* chosen = nullptr;
    for (uint32_t i = 0; i < info.audioFormatCount && info.audioFormats; ++i) {
        const AudioFormatRecord& format = info.audioFormats[i];
        if (FindAudioLayout(FieldText(format.formatId)) &&
            (!chosen || FieldText(format.formatId) == FieldText(output.formatId))) {
            chosen = &format;
        }
    }
    return chosen;
}

class Session {
  public:
    Session(const WritingSettings& settings, WritingFile& file, RecordingSource& source)
        : settings_(settings), file_(file), source_(source) {}

    void Run(RecordingResult& result, const std::string& progressLabel);

  private:
    void SetUpVideo(RecordingResult& result);
    void SetUpAudio(RecordingResult& result);
    uint8_t* FrameBitmap(uint32_t index);
    void WriteFrame(uint32_t index);
    void WriteAudioUntil(uint64_t end);
    uint64_t AudioEndOfFrame(uint32_t index) const;

    const WritingSettings& settings_;
    WritingFile& file_;
    RecordingSource& source_;
    const ImageFormatStruct* videoInput_ = nullptr;
    const AudioFormatRecord* audioInput_ = nullptr;
    std::vector<uint8_t> pixels_;
    std::vector<uint8_t> samples_;
    uint64_t audioWritten_ = 0;
};

void Session::SetUpVideo(RecordingResult& result) {
    if (source_.frameCount() == 0) {
        return;
    }
    videoInput_ = ChooseVideoInput(file_.info(), settings_.video());
    if (!videoInput_) {
        throw HostError("the plug-in accepts no RGB frames for " + file_.path());
    }
    result.videoInput = LayoutLabel(videoInput_->formatId);
}

void Session::SetUpAudio(RecordingResult& result) {
    if (source_.audioLength() == 0) {
        return;
    }
    audioInput_ = ChooseAudioInput(file_.info(), settings_.audio());
    if (!audioInput_) {
        throw HostError("the plug-in accepts no PCM samples for " + file_.path());
    }
    result.audioInput = LayoutLabel(audioInput_->formatId);
}

// The frame as the source holds it when that is the bitmap to hand over, else its picture
// resized and laid out by the host.
uint8_t* Session::FrameBitmap(uint32_t index) {
    const ImageFormatStruct& format = *videoInput_;
    if (uint8_t* bitmap = source_.FrameBitmap(index, format)) {
        return bitmap;
    }
    Image image = source_.Frame(index);
    if (image.width != format.width || image.height != format.height) {
        image = Resized(image, format.width, format.height);
    }
    // Room for the widest layout: the plug-in converts frames in place.
    const size_t capacity = size_t(BitmapRowBytes(format.width, 4)) * size_t(format.height);
    ToBitmap(image, *FindImageLayout(FieldText(format.formatId)), pixels_, capacity);
    return pixels_.data();
}

void Session::WriteFrame(uint32_t index) {
    VideoWriteRecord record{};
    record.pixels = FrameBitmap(index);
    record.format = *videoInput_;
    if (!file_.Write(record)) {
        throw HostError(Text("the plug-in refused frame %u of %s", index, file_.path().c_str()));
    }
}

void Session::WriteAudioUntil(uint64_t end) {
    const Layout& layout = *FindAudioLayout(FieldText(audioInput_->formatId));
    while (audioWritten_ < end) {
        const auto count = uint32_t(std::min<uint64_t>(end - audioWritten_, 1u << 20));
        source_.Samples(audioWritten_, count, layout, samples_);
        AudioWriteRecord record{};
        record.sampleFrames = count;
        record.samples = samples_.data();
        record.format = *audioInput_;
        if (!file_.Write(record)) {
            throw HostError(Text("the plug-in refused the samples from %llu on",
                                 static_cast<unsigned long long>(audioWritten_)));
        }
        audioWritten_ += count;
    }
}

// The sample frame at which the period of frame `index` ends.
uint64_t Session::AudioEndOfFrame(uint32_t index) const {
    const ImageFormatStruct& video = settings_.video();
    const AudioFormatRecord& audio = settings_.audio();
    const uint64_t rate = std::max<uint32_t>(video.rate, 1);
    const uint64_t end = (uint64_t(index) + 1) * audio.sampleRate * video.scale / rate;
    return std::min(end, source_.audioLength());
}

void Session::Run(RecordingResult& result, const std::string& progressLabel) {
    SetUpVideo(result);
    SetUpAudio(result);
    uint32_t frames = source_.frameCount();
    ProgressBar progress(progressLabel, frames ? frames : source_.audioLength());
    for (uint32_t i = 0; i < frames; ++i) {
        if (StopRequested()) {
            frames = i;  // a stop asked for by a signal: the file ends with the frames written
            break;
        }
        WriteFrame(i);
        if (audioInput_) {
            WriteAudioUntil(AudioEndOfFrame(i));
        }
        progress.Update(i + 1);
    }
    const uint64_t block = std::max<uint64_t>(settings_.audio().sampleRate / 30, 1);
    while (audioInput_ && audioWritten_ < source_.audioLength() && !StopRequested()) {
        WriteAudioUntil(std::min(audioWritten_ + block, source_.audioLength()));
        progress.Update(frames ? frames : audioWritten_);
    }
    result.frames = frames;
    result.sampleFrames = audioWritten_;
}

// The output opened with OpenDML writing switched on in the settings file for exactly this open,
// when asked for: the plug-in reads the key when it opens a file.
std::unique_ptr<WritingFile> OpenOutput(const Plugin& plugin, const WritingSettings& settings,
                                        const RecordingRequest& request,
                                        const RecordingSource& source) {
    WritingFile::Request open;
    open.path = request.path;
    open.videoFrames = source.frameCount();
    open.audio = source.audioLength() > 0;
    open.askBeforeReplacing = request.askBeforeReplacing;
    std::optional<OpenDmlForOneFile> openDml;
    if (request.openDml) {
        openDml.emplace();
    }
    return std::make_unique<WritingFile>(plugin, settings, open);
}

}  // namespace

RecordingResult Record(const Plugin& plugin, const WritingSettings& settings,
                       const RecordingRequest& request, RecordingSource& source) {
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<WritingFile> file = OpenOutput(plugin, settings, request, source);
    RecordingResult result;
    result.path = file->path();
    try {
        Session(settings, *file, source).Run(result, request.progressLabel);
        if (!file->Close()) {
            throw HostError("the plug-in could not finish " + result.path);
        }
    } catch (const std::exception& error) {
        file->Close();
        std::error_code ignored;
        std::filesystem::remove(result.path, ignored);
        throw HostError(std::string(error.what()) + "; the unfinished " + result.path +
                        " was removed");
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code error;
    result.fileBytes = std::filesystem::file_size(result.path, error);
    return result;
}

}  // namespace zedadu::host
