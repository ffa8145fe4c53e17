// The writing settings: loaded from "ZEDADU.ini" beside the host executable or copied from the
// host's own formats, optionally edited in the settings dialog, and saved back when accepted.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/settings_ini.h"
#include "core/text.h"
#include "dialog/settings_dialog.h"
#include "platform/profile/profile.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

constexpr uint32_t kAudioResultFlags = 0x10000000;
constexpr uint32_t kVideoResultFlags = 0x10000002;
constexpr DWORD kHandlerBufferSize = 6;  // four code characters and room to see a fifth

bool EmbeddedSizesRight(const WritingSettingsRecord& record) {
    return record.resultAudio.size == sizeof(AudioFormatRecord) &&
           record.currentAudio.size == sizeof(AudioFormatRecord) &&
           record.resultVideo.size == sizeof(ImageFormatStruct) &&
           record.currentVideo.size == sizeof(ImageFormatStruct);
}

void LoadAudio(const SettingsFile& ini, AudioFormatRecord& audio) {
    ini.read(settings::kAudioLayout, audio.formatId, kTextSize);
    audio.channels = ini.read(settings::kChannels);
    audio.sampleRate = ini.read(settings::kSampleRate);
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
    ini.read(settings::kVideoLayout, video.formatId, kTextSize);
    video.width = static_cast<int32_t>(ini.read(settings::kWidth));
    video.height = static_cast<int32_t>(ini.read(settings::kHeight));
    video.rate = ini.read(settings::kRate);
    video.scale = ini.read(settings::kScale);
    // Always the 24-bit frame, whatever layout the file names.
    video.imageSize = uint32_t(video.width) * uint32_t(video.height) * 3;
    video.flags = kVideoResultFlags;
    snprintf(video.description, sizeof video.description, "%i x %i 24bit", video.width,
             video.height);
}

FOURCC LoadHandler(const SettingsFile& ini) {
    char code[kHandlerBufferSize] = {};
    ini.read(settings::kHandler, code, sizeof code);
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
    block->quality = ini.read(settings::kQuality);
    block->paddingSize = ini.read(settings::kPaddingSize);
    block->keyFrameRate = ini.read(settings::kKeyFrameRate);
    block->dataRate = ini.read(settings::kDataRate);
    block->offsetAudioAndVideo = static_cast<int32_t>(ini.read(settings::kAudioLead));
    block->fieldRendering = ini.read(settings::kFieldRendering);
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
    ini.write(settings::kChannels, audio.channels);
    ini.write(settings::kSampleRate, audio.sampleRate);
    char formatId[kTextSize];
    CopyText(formatId, audio.formatId);
    ini.write(settings::kAudioLayout, formatId);
}

void SaveVideo(const SettingsFile& ini, const ImageFormatStruct& video,
               const CompressionSettings& block) {
    char formatId[kTextSize];
    CopyText(formatId, video.formatId);
    ini.write(settings::kVideoLayout, formatId);
    ini.write(settings::kWidth, uint32_t(video.width));
    ini.write(settings::kHeight, uint32_t(video.height));
    ini.write(settings::kRate, video.rate);
    ini.write(settings::kScale, video.scale);
    const char code[5] = {char(block.fccHandler), char(block.fccHandler >> 8),
                          char(block.fccHandler >> 16), char(block.fccHandler >> 24), '\0'};
    ini.write(settings::kHandler, code);
    ini.write(settings::kQuality, block.quality);
    ini.write(settings::kPaddingSize, block.paddingSize);
    ini.write(settings::kKeyFrameRate, block.keyFrameRate);
    ini.write(settings::kDataRate, block.dataRate);
    ini.write(settings::kAudioLead, uint32_t(block.offsetAudioAndVideo));
    ini.write(settings::kFieldRendering, block.fieldRendering);
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
    return Switches().dialogRunner(DialogTemplate(record.request), record.parentWindow, *session);
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
