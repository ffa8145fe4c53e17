#include "host/hosting/plugin.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

template <typename Function>
void Resolve(void* library, const char* symbol, Function& slot) {
    void* address = dlsym(library, symbol);
    if (!address) {
        throw HostError(std::string("the plug-in does not export ") + symbol);
    }
    slot = reinterpret_cast<Function>(address);
}

// Why an output file was not opened, as far as the host can tell: the plug-in keeps an existing
// file when the user declines to replace it; the host has checked the folder and the compressor
// before, so another refusal is the plug-in's own.
std::string OpenRefusal(const WritingFile::Request& request, const WritingSettings& settings,
                        bool existed) {
    if (existed && std::filesystem::exists(request.path)) {
        return request.path +
               " already exists and the existing file was kept; nothing was written (--yes "
               "replaces it)";
    }
    const CompressionSettings* compression = settings.compression();
    return Text("the plug-in did not open %s for writing (compressor %s, %i x %i frames)",
                request.path.c_str(),
                compression ? FourCCText(compression->fccHandler).c_str() : "none",
                settings.video().width, settings.video().height);
}

}  // namespace

std::string Plugin::DefaultPath() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (executable.parent_path() / "zedadu.mvx").string();
}

Plugin::Plugin(const std::string& path) {
    // The library stays mapped until the process ends (its unload then runs at exit): the codec
    // libraries it brings in keep allocations that only the end of the process reclaims, and
    // unmapping them earlier would strand those.
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library_) {
        throw HostError("cannot load the plug-in " + path + ": " + dlerror());
    }
    try {
#define ZEDADU_HOST_RESOLVE(name) Resolve(library_, "AVFILE_" #name, entry_.name);
        ZEDADU_HOST_ENTRY_POINTS(ZEDADU_HOST_RESOLVE)
#undef ZEDADU_HOST_RESOLVE
        Handshake(entry_.QueryInterfaceReading, reading_, "reading");
        Handshake(entry_.QueryInterfaceWriting, writing_, "writing");
    } catch (...) {
        dlclose(library_);
        throw;
    }
}

Plugin::~Plugin() {
    entry_.CloseInterfaceReading(nullptr);
    entry_.CloseInterfaceWriting(nullptr);
    dlclose(library_);
}

void Plugin::Handshake(decltype(&AVFILE_QueryInterfaceReading) query, PluginQueryRecord& record,
                       const char* side) {
    record = {};
    record.size = sizeof record;
    if (query(&record) != 1 || record.fileTypeCount < 1) {
        throw HostError(std::string("the plug-in refused the ") + side + " handshake");
    }
}

ReadingFile::ReadingFile(const Plugin& plugin, const std::string& path)
    : plugin_(plugin), path_(path) {
    CheckReadable(path);
    if (plugin_.call().OpenFileForRead(&handle_, path.c_str()) != 1 || !handle_) {
        throw HostError("cannot read " + path + ": " + RefusalReason(path));
    }
    info_.size = sizeof info_;
    if (plugin_.call().GetReadingFileInfo(handle_, &info_) != 1) {
        plugin_.call().CloseReadingFile(handle_);
        throw HostError("the plug-in gave no information about " + path);
    }
}

ReadingFile::~ReadingFile() {
    plugin_.call().ReleaseFormatsFromGetReadingFileInfo(&info_);
    plugin_.call().CloseReadingFile(handle_);
}

bool ReadingFile::Read(ImageFrameRequest& request) const {
    const bool read = plugin_.call().ReadImageFrame(handle_, &request) == 1;
    plugin_.call().ReleaseFormatFromReadImageFrame(&request);
    return read;
}

bool ReadingFile::Read(AudioSamplesRequest& request) const {
    request.size = sizeof request;
    const bool read = plugin_.call().ReadAudioSamples(handle_, &request) == 1;
    plugin_.call().ReleaseFormatFromReadAudioSamples(&request);
    return read;
}

WritingSettings::WritingSettings(const Plugin& plugin)
    : plugin_(plugin), record_(std::make_unique<WritingSettingsRecord>()) {}

WritingSettings::~WritingSettings() {
    Release();
}

void WritingSettings::Release() {
    if (record_->resultVideo.settingsBlock) {
        plugin_.call().ReleaseFormatFromSetWritingSettings(record_.get());
    }
}

bool WritingSettings::Run(uint32_t request, const ImageFormatStruct& video,
                          const AudioFormatRecord& audio) {
    Release();
    *record_ = {};
    record_->request = request;
    record_->accepted = 1;  // a request without the dialog keeps what the host set
    record_->currentVideo = video;
    record_->currentAudio = audio;
    record_->resultVideo.size = sizeof(ImageFormatStruct);
    record_->resultAudio.size = sizeof(AudioFormatRecord);
    return plugin_.call().SetWritingSettings(record_.get()) == 1;
}

const CompressionSettings* WritingSettings::compression() const {
    const ImageFormatStruct& video = record_->resultVideo;
    if (!video.settingsBlock || video.settingsBlockSize < kCompressionSettingsHeaderSize) {
        return nullptr;
    }
    return static_cast<const CompressionSettings*>(video.settingsBlock);
}

WritingFile::WritingFile(const Plugin& plugin, const WritingSettings& settings,
                         const Request& request)
    : plugin_(plugin) {
    // The plug-in copies the final name back, with up to four characters added.
    std::vector<char> name(request.path.size() + 5, '\0');
    memcpy(name.data(), request.path.data(), request.path.size());
    OpenWriteRequest open{};
    open.fileName = name.data();
    open.options = request.askBeforeReplacing ? 1 : 0;
    open.videoFrameCount = request.videoFrames;
    open.hasAudio = request.audio ? 1 : 0;
    open.video = settings.video();
    open.audio = settings.audio();
    const bool existed = std::filesystem::exists(request.path);
    if (plugin_.call().OpenFileForWrite(&handle_, &open) != 1 || !handle_) {
        throw HostError(OpenRefusal(request, settings, existed));
    }
    path_ = name.data();
    info_.size = sizeof info_;
    if (plugin_.call().GetWritingFileInfo(handle_, &info_) != 1) {
        Close();
        throw HostError("the plug-in gave no information about " + path_);
    }
}

WritingFile::~WritingFile() {
    Close();
}

bool WritingFile::Write(VideoWriteRecord& frame) {
    return plugin_.call().WriteNextVideoFrame(handle_, &frame) == 1;
}

bool WritingFile::Write(AudioWriteRecord& samples) {
    samples.size = sizeof samples;
    return plugin_.call().WriteNextAudioSamples(handle_, &samples) == 1;
}

bool WritingFile::Close() {
    if (!handle_) {
        return true;
    }
    plugin_.call().ReleaseFormatsFromGetWritingFileInfo(&info_);
    const bool closed = plugin_.call().CloseFileForWrite(handle_) == 1;
    handle_ = nullptr;
    return closed;
}

}  // namespace zedadu::host
