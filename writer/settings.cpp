// The writing settings: loaded from "ZEDADU.ini" beside the host executable or copied from the
// host's own formats, optionally edited in the settings dialog, and saved back when accepted.
#include "writer/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "dialog/settings_dialog.h"
#include "frame/settings_ini.h"
#include "frame/text.h"
#include "platform/profile/profile.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

constexpr uint32_t kAudioResultFlags = 0x10000000;
constexpr uint32_t kVideoResultFlags = 0x10000002;
constexpr DWORD kHandlerBufferSize = 6;  // four code characters and room to see a fifth
constexpr char kDefaultHandler[] = "MSVC";

SettingsDialogRunner dialogRunner = &dialog::RunSettingsDialog;

// The INI file with the integer and text conventions of the settings: integers are written as
// signed decimal numbers.
class SettingsFile {
  public:
    SettingsFile() : path_(SettingsIniPath()) {}
    UINT integer(const char* section, const char* key, int fallback) const {
        return GetPrivateProfileIntA(section, key, fallback, path_.c_str());
    }
    void text(const char* section, const char* key, const char* fallback, char* buffer,
              DWORD size) const {
        GetPrivateProfileStringA(section, key, fallback, buffer, size, path_.c_str());
    }
    void write(const char* section, const char* key, uint32_t value) const {
        char number[16];
        snprintf(number, sizeof number, "%i", static_cast<int>(value));
        write(section, key, number);
    }
    void write(const char* section, const char* key, const char* value) const {
        WritePrivateProfileStringA(section, key, value, path_.c_str());
    }

  private:
    std::string path_;
};

bool EmbeddedSizesRight(const WritingSettingsRecord& record) {
    return record.resultAudio.size == sizeof(AudioFormatRecord) &&
           record.currentAudio.size == sizeof(AudioFormatRecord) &&
           record.resultVideo.size == sizeof(ImageFormatStruct) &&
           record.currentVideo.size == sizeof(ImageFormatStruct);
}

void LoadAudio(const SettingsFile& ini, AudioFormatRecord& audio) {
    ini.text(kAudioSettingsSection, "Compression", FORMAT_ID_PCM16, audio.formatId, kTextSize);
    audio.channels = ini.integer(kAudioSettingsSection, "Channels", 2);
    audio.sampleRate = ini.integer(kAudioSettingsSection, "SamplesPerSecond", 44100);
    char rate[16];
    snprintf(rate, sizeof rate, "%iKHz", static_cast<int>(audio.sampleRate / 1000));
    std::string description = rate;
    if (SameText(audio.formatId, FORMAT_ID_PCM16)) {
        audio.frameBytes = audio.channels * 2;
        description += " 16bit";
    } else {
        audio.frameBytes = audio.channels;
        description += " 8bit";
    }
    description += audio.channels == 2 ? " Stereo" : " Mono";
    CopyText(audio.description, description.c_str());
    audio.flags = kAudioResultFlags;
}

void LoadVideo(const SettingsFile& ini, ImageFormatStruct& video) {
    ini.text(kVideoSettingsSection, "Compression", FORMAT_ID_RGB24, video.formatId, kTextSize);
    video.width = static_cast<int32_t>(ini.integer(kVideoSettingsSection, "Width", 720));
    video.height = static_cast<int32_t>(ini.integer(kVideoSettingsSection, "Height", 486));
    video.rate = ini.integer(kVideoSettingsSection, "Rate", 29970026);
    video.scale = ini.integer(kVideoSettingsSection, "Scale", 1000000);
    // Always the 24-bit frame, whatever layout the file names.
    video.imageSize = uint32_t(video.width) * uint32_t(video.height) * 3;
    video.flags = kVideoResultFlags;
    snprintf(video.description, sizeof video.description, "%i x %i 24bit", video.width,
             video.height);
}

FOURCC LoadHandler(const SettingsFile& ini) {
    char code[kHandlerBufferSize] = {};
    ini.text(kVideoSettingsSection, "fccHandler", kDefaultHandler, code, sizeof code);
    // A short code is filled up with blanks from its end on.
    for (int i = 0; i < 4; ++i) {
        if (code[i] == '\0') {
            memset(code + i, ' ', size_t(4 - i));
            break;
        }
    }
    return mmioFOURCC(code[0], code[1], code[2], code[3]);
}

bool LoadCompressionSettings(const SettingsFile& ini, ImageFormatStruct& video) {
    auto* block = static_cast<CompressionSettings*>(calloc(1, sizeof(CompressionSettings)));
    if (!block) {
        return false;
    }
    block->headerSize = kCompressionSettingsHeaderSize;
    video.settingsBlock = block;
    video.settingsBlockSize = kCompressionSettingsHeaderSize;
    block->fccHandler = LoadHandler(ini);
    block->quality = ini.integer(kVideoSettingsSection, "Quality", 7500);
    block->paddingSize = ini.integer(kVideoSettingsSection, "PaddingSize", 512);
    block->keyFrameRate = ini.integer(kVideoSettingsSection, "KeyFrameRate", 4);
    block->dataRate = ini.integer(kVideoSettingsSection, "DataRate", 800);
    block->offsetAudioAndVideo =
        static_cast<int32_t>(ini.integer(kVideoSettingsSection, "offsetAudioandVideo", 0));
    block->fieldRendering = ini.integer(kVideoSettingsSection, "FieldRendering", 0);
    return true;
}

bool LoadFromIni(const SettingsFile& ini, WritingSettingsRecord& record) {
    LoadAudio(ini, record.resultAudio);
    LoadVideo(ini, record.resultVideo);
    if (!LoadCompressionSettings(ini, record.resultVideo)) {
        return false;
    }
    record.accepted = 1;
    return true;
}

bool CopyFromCurrent(WritingSettingsRecord& record) {
    record.resultVideo = record.currentVideo;
    record.resultAudio = record.currentAudio;
    ImageFormatStruct& video = record.resultVideo;
    if (!video.settingsBlock) {
        return true;
    }
    if (video.settingsBlockSize < kCompressionSettingsHeaderSize) {
        // Too small to be duplicated; a result never hands the host's own block back as ours.
        video.settingsBlock = nullptr;
        video.settingsBlockSize = 0;
        return true;
    }
    uint32_t stateSize = 0;
    if (!HeldStateSize(video, stateSize)) {
        return false;
    }
    const size_t size = size_t(kCompressionSettingsHeaderSize) + stateSize;
    void* copy = malloc(size);
    if (!copy) {
        return false;
    }
    memcpy(copy, record.currentVideo.settingsBlock, size);
    video.settingsBlock = copy;
    video.settingsBlockSize = static_cast<uint32_t>(size);
    return true;
}

const char* DialogTemplate(uint32_t request) {
    const bool audio = request & kSettingsAudio;
    const bool video = request & kSettingsVideo;
    if (audio && video) {
        return dialog::kTemplateBoth;
    }
    return audio ? dialog::kTemplateAudio : dialog::kTemplateVideo;
}

// The record takes whatever block the dialog leaves: it may have exchanged it for a larger one.
void TakeDialogBlock(ImageFormatStruct& video, CompressionSettings* block) {
    video.settingsBlock = block;
    video.settingsBlockSize = block ? block->headerSize + block->stateSize : 0;
}

void SaveAudio(const SettingsFile& ini, const AudioFormatRecord& audio) {
    ini.write(kAudioSettingsSection, "Channels", audio.channels);
    ini.write(kAudioSettingsSection, "SamplesPerSecond", audio.sampleRate);
    char formatId[kTextSize];
    CopyText(formatId, audio.formatId);
    ini.write(kAudioSettingsSection, "Compression", formatId);
}

void SaveVideo(const SettingsFile& ini, const ImageFormatStruct& video,
               const CompressionSettings& block) {
    const char* section = kVideoSettingsSection;
    char formatId[kTextSize];
    CopyText(formatId, video.formatId);
    ini.write(section, "Compression", formatId);
    ini.write(section, "Width", uint32_t(video.width));
    ini.write(section, "Height", uint32_t(video.height));
    ini.write(section, "Rate", video.rate);
    ini.write(section, "Scale", video.scale);
    const char code[5] = {char(block.fccHandler), char(block.fccHandler >> 8),
                          char(block.fccHandler >> 16), char(block.fccHandler >> 24), '\0'};
    ini.write(section, "fccHandler", code);
    ini.write(section, "Quality", block.quality);
    ini.write(section, "PaddingSize", block.paddingSize);
    ini.write(section, "KeyFrameRate", block.keyFrameRate);
    ini.write(section, "DataRate", block.dataRate);
    ini.write(section, "offsetAudioandVideo", uint32_t(block.offsetAudioAndVideo));
    ini.write(section, "FieldRendering", block.fieldRendering);
}

// The dialog's working copies start as the result records. A session that cannot be had is a
// dialog that cannot be shown: the run ends as on Cancel.
intptr_t RunOnWorkingCopies(WritingSettingsRecord& record, dialog::SettingsDialogSession* session) {
    if (!session) {
        return -1;
    }
    const bool video = record.request & kSettingsVideo;
    session->audioFormat = record.resultAudio;
    session->videoFormat = record.resultVideo;
    session->settingsBlock =
        video ? static_cast<CompressionSettings*>(record.resultVideo.settingsBlock) : nullptr;
    return dialogRunner(DialogTemplate(record.request), record.parentWindow, *session);
}

bool RunDialog(const SettingsFile& ini, WritingSettingsRecord& record) {
    const uint32_t request = record.request;
    const bool video = request & kSettingsVideo;
    if (video && (!record.resultVideo.settingsBlock ||
                  record.resultVideo.settingsBlockSize < kCompressionSettingsHeaderSize)) {
        return false;
    }
    const std::unique_ptr<dialog::SettingsDialogSession> session(
        new (std::nothrow) dialog::SettingsDialogSession());
    const bool accepted = RunOnWorkingCopies(record, session.get()) == 1;
    if (video && session) {
        if (accepted) {
            record.resultVideo = session->videoFormat;
        }
        TakeDialogBlock(record.resultVideo, session->settingsBlock);
    }
    record.accepted = accepted ? 1 : 0;
    if (!accepted) {
        return true;
    }
    if (request & kSettingsAudio) {
        record.resultAudio = session->audioFormat;
        SaveAudio(ini, record.resultAudio);
    }
    if (video) {
        SaveVideo(ini, record.resultVideo, *session->settingsBlock);
    }
    return true;
}

}  // namespace

void SetSettingsDialogRunnerForTesting(SettingsDialogRunner runner) {
    dialogRunner = runner ? runner : &dialog::RunSettingsDialog;
}

bool SetWritingSettings(WritingSettingsRecord& record) {
    const SettingsFile ini;
    if (!EmbeddedSizesRight(record)) {
        return false;
    }
    const bool loaded =
        record.request & kSettingsLoadIni ? LoadFromIni(ini, record) : CopyFromCurrent(record);
    if (!loaded) {
        return false;
    }
    // A dialog needs a part to show: without the audio or video bit there is none.
    if (!(record.request & kSettingsShowDialog) ||
        !(record.request & (kSettingsAudio | kSettingsVideo))) {
        return true;
    }
    return RunDialog(ini, record);
}

void ReleaseFormatFromSetWritingSettings(WritingSettingsRecord& record) {
    free(record.resultVideo.settingsBlock);
    record.resultVideo.settingsBlock = nullptr;
    record.resultVideo.settingsBlockSize = 0;
}

bool GetWritingFileInfo(WritingFile& writing, WritingFileInfo& info) {
    if (!StartFileInfo(info, writing.accepted)) {
        return false;
    }
    info.videoFlags = writing.videoFlags;
    return true;
}

}  // namespace zedadu::writer
