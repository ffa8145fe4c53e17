// The plug-in as this host holds it: the library loaded with dlopen, its 22 entry points resolved
// once, and owners for what the entry points hand out (reading handles, writing handles, the
// writing settings' block), each released through the matching entry point.
#pragma once

#include <memory>
#include <string>

#include "plugin/plugin.h"

namespace zedadu::host {

// clang-format off
#define ZEDADU_HOST_ENTRY_POINTS(X) \
    X(QueryInterfaceReading) \
    X(CloseInterfaceReading) \
    X(OpenFileForRead) \
    X(GetReadingFileInfo) \
    X(ReleaseFormatsFromGetReadingFileInfo) \
    X(ReadImageFrame) \
    X(ReleaseFormatFromReadImageFrame) \
    X(ReadAudioSamples) \
    X(ReleaseFormatFromReadAudioSamples) \
    X(CloseReadingFile) \
    X(QueryInterfaceWriting) \
    X(CloseInterfaceWriting) \
    X(SetWritingSettings) \
    X(ReleaseFormatFromSetWritingSettings) \
    X(OpenFileForWrite) \
    X(GetWritingFileInfo) \
    X(ReleaseFormatsFromGetWritingFileInfo) \
    X(WriteNextVideoFrame) \
    X(WriteNextAudioSamples) \
    X(WriteSegment) \
    X(CloseFileForWrite) \
    X(GetFreeTimeOnDrive)
// clang-format on

struct EntryPoints {
#define ZEDADU_HOST_DECLARE(name) decltype(&AVFILE_##name) name = nullptr;
    ZEDADU_HOST_ENTRY_POINTS(ZEDADU_HOST_DECLARE)
#undef ZEDADU_HOST_DECLARE
};

class Plugin {
  public:
    // zedadu.mvx in the directory of the running executable.
    static std::string DefaultPath();

    // Loads the library, resolves every entry point and runs both handshakes; throws HostError.
    explicit Plugin(const std::string& path = DefaultPath());
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const EntryPoints& call() const { return entry_; }
    const PluginQueryRecord& reading() const { return reading_; }
    const PluginQueryRecord& writing() const { return writing_; }

  private:
    void Handshake(decltype(&AVFILE_QueryInterfaceReading) query, PluginQueryRecord& record,
                   const char* side);

    void* library_ = nullptr;
    EntryPoints entry_;
    PluginQueryRecord reading_{};
    PluginQueryRecord writing_{};
};

// A file open for reading, closed with the owner.
class ReadingFile {
  public:
    ReadingFile(const Plugin& plugin, const std::string& path);  // throws HostError
    ~ReadingFile();
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;

    const ReadingFileInfo& info() const { return info_; }
    const std::string& path() const { return path_; }
    bool Read(ImageFrameRequest& request) const;
    bool Read(AudioSamplesRequest& request) const;

  private:
    const Plugin& plugin_;
    std::string path_;
    void* handle_ = nullptr;
    ReadingFileInfo info_{};
};

// The settings record of one AVFILE_SetWritingSettings call; its result block is released with
// the owner.
class WritingSettings {
  public:
    explicit WritingSettings(const Plugin& plugin);
    ~WritingSettings();
    WritingSettings(const WritingSettings&) = delete;
    WritingSettings& operator=(const WritingSettings&) = delete;

    // Runs the call with these request bits, starting from the host's formats. False when the
    // plug-in refused the call; accepted() tells whether the user cancelled a dialog.
    bool Run(uint32_t request, const ImageFormatStruct& video, const AudioFormatRecord& audio);

    bool accepted() const { return record_->accepted == 1; }
    const ImageFormatStruct& video() const { return record_->resultVideo; }
    const AudioFormatRecord& audio() const { return record_->resultAudio; }
    // The result's compression block, or null when it has none of at least the header's size.
    const CompressionSettings* compression() const;

  private:
    void Release();

    const Plugin& plugin_;
    std::unique_ptr<WritingSettingsRecord> record_;
};

// An output file between AVFILE_OpenFileForWrite and AVFILE_CloseFileForWrite. Close() finishes
// it; an owner destroyed without Close() still closes the handle, so that nothing leaks on an
// early exit.
class WritingFile {
  public:
    struct Request {
        std::string path;
        uint32_t videoFrames = 0;
        bool audio = false;
        bool askBeforeReplacing = false;
    };
    WritingFile(const Plugin& plugin, const WritingSettings& settings, const Request& request);
    ~WritingFile();
    WritingFile(const WritingFile&) = delete;
    WritingFile& operator=(const WritingFile&) = delete;

    // The final name, with ".avi" added where the plug-in added it.
    const std::string& path() const { return path_; }
    const WritingFileInfo& info() const { return info_; }
    bool Write(VideoWriteRecord& frame);
    bool Write(AudioWriteRecord& samples);
    bool Close();

  private:
    const Plugin& plugin_;
    std::string path_;
    void* handle_ = nullptr;
    WritingFileInfo info_{};
};

}  // namespace zedadu::host
