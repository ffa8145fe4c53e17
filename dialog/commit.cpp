// OK in the writing-settings dialog: the quality check, then every control read back into the
// working copies.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/host_text.h"
#include "core/settings_ini.h"
#include "core/text.h"
#include "dialog/control_ids.h"
#include "dialog/dialog_internal.h"
#include "dialog/format_probes.h"
#include "dialog/session.h"

namespace zedadu::dialog {
namespace {

constexpr uint32_t kLowQualityMessage = 792;
constexpr float kNtscFrameRate = 29.970026f;  // the single-precision value 0x41EFC29D
constexpr float kLowestCustomRate = 1.0f;
constexpr float kHighestCustomRate = 30.0f;
constexpr size_t kRateTextSize = 50;

constexpr uint32_t kSampleRates[] = {48000, 44100, 32000, 22050, 11025, 8000};

constexpr uint32_t kFieldFlags[] = {0x00, 0x08, 0x28};

// A quality of 100 or less (hundredths of a percent) with the quality control in use is asked
// about; false when the user goes back to the dialog.
bool ConfirmLowQuality(HWND dialog, CompressionSettings& block) {
    if (block.quality > 100) {
        return true;
    }
    if (!Enabled(dialog, kQualityEdit)) {
        block.quality = settings::kQuality.fallback;
        return true;
    }
    const int answer = ShowHostMessage(kLowQualityMessage, kCautionTextId, kMessageYesNoCancel);
    if (answer == IDCANCEL) {
        return false;
    }
    if (answer == IDYES) {
        block.quality = settings::kQuality.fallback;
    }
    return true;
}

bool CommitCompression(HWND dialog, const SettingsDialogSession& session) {
    CompressionSettings& block = *session.settingsBlock;
    if (Checked(dialog, kDataRateCheck)) {
        block.dataRate = Value(dialog, kDataRateCombo);
        SettingsFile(session.iniPath).write(settings::kDataRate, block.dataRate);
        block.quality = 0;
    } else {
        block.quality = Value(dialog, kQualityEdit) * 100;
        if (!ConfirmLowQuality(dialog, block)) {
            return false;
        }
        SettingsFile(session.iniPath).write(settings::kQuality, block.quality);
        block.dataRate = 0;
    }
    block.paddingSize = Value(dialog, kPaddingCombo);
    block.keyFrameRate = Checked(dialog, kKeyFrameCheck) ? Value(dialog, kKeyFrameEdit) : 0;
    block.recompressAlways = Checked(dialog, kRecompressAlwaysCheck) ? 1 : 0;
    block.recompressToMatchDataRate = Checked(dialog, kRecompressToMatchCheck) ? 1 : 0;
    block.offsetAudioAndVideo = Checked(dialog, kOffsetAudioCheck) ? 1 : 0;
    return true;
}

void CommitAudio(HWND dialog, AudioFormatRecord& audio) {
    memset(&audio, 0, sizeof audio);
    audio.size = sizeof audio;
    const int rateEntry = Selection(dialog, kSampleRateList);
    if (rateEntry >= 0 && rateEntry < static_cast<int>(std::size(kSampleRates))) {
        audio.sampleRate = kSampleRates[rateEntry];
    }
    const bool eightBit = Selection(dialog, kBitDepthList) != 0;
    const bool stereo = Selection(dialog, kChannelsList) == 0;
    CopyText(audio.formatId, eightBit ? FORMAT_ID_PCM8 : FORMAT_ID_PCM16);
    audio.channels = stereo ? 2 : 1;
    snprintf(audio.description, sizeof audio.description, "%iKHz%s%s",
             static_cast<int>(audio.sampleRate / 1000), eightBit ? " 8bit" : " 16bit",
             stereo ? " Stereo" : " Mono");
    audio.frameBytes =
        SameText(audio.formatId, FORMAT_ID_PCM16) ? audio.channels * 2 : audio.channels;
}

// A custom rate that is a number replaces the rate under edit, which is then kept to 1 to 30.
void ReadCustomFrameRate(HWND dialog, float& frameRate) {
    char text[kRateTextSize] = "";
    GetDlgItemTextA(dialog, kFrameRateEdit, text, sizeof text);
    float typed = 0.0f;
    if (sscanf(text, "%f", &typed) == 1 && !std::isnan(typed)) {
        frameRate = typed;
    }
    frameRate = std::clamp(frameRate, kLowestCustomRate, kHighestCustomRate);
}

void CommitFrameRate(HWND dialog, SettingsDialogSession& session) {
    float& frameRate = session.frameRate;
    if (Enabled(dialog, kFrameRateEdit)) {
        ReadCustomFrameRate(dialog, frameRate);
    } else {
        const int entry = Selection(dialog, kFrameRateList);
        const float preset = entry >= 0 ? session.formats.frameRatePresets[entry] : 0.0f;
        if (-0.2 <= preset - 29.97 && preset - 29.97 < 0.2) {
            frameRate = kNtscFrameRate;
        } else if (!IsOtherFrameRate(preset)) {
            frameRate = preset;
        } else {
            ReadCustomFrameRate(dialog, frameRate);
        }
    }
    session.videoFormat.rate = static_cast<uint32_t>(static_cast<double>(frameRate) * 1000000);
    session.videoFormat.scale = 1000000;
}

// With nothing selected (the size probe failed and the list is empty) the size stays as it was.
void CommitFrameSize(HWND dialog, SettingsDialogSession& session) {
    ImageFormatStruct& video = session.videoFormat;
    const FormatLists& formats = session.formats;
    const int entry = Selection(dialog, kFrameSizeList);
    if (entry >= 0 && formats.frameSizeWidths[entry] != 0) {
        video.width = formats.frameSizeWidths[entry];
        video.height = formats.frameSizeHeights[entry];
    } else if (entry >= 0) {
        video.height = static_cast<int32_t>(GetDlgItemInt(dialog, kHeightEdit, nullptr, TRUE));
        video.width = static_cast<int32_t>(GetDlgItemInt(dialog, kWidthEdit, nullptr, TRUE));
    }
    video.width = std::max(video.width, 1);
    video.height = std::max(video.height, 1);
}

void CommitVideo(HWND dialog, SettingsDialogSession& session) {
    ImageFormatStruct& video = session.videoFormat;
    CommitFrameRate(dialog, session);
    CommitFrameSize(dialog, session);
    const int depthEntry = Selection(dialog, kColorDepthList);
    if (depthEntry >= 0 && depthEntry < kColorDepthSlots) {
        switch (session.formats.colorDepths[depthEntry]) {
            case 16:
                CopyText(video.formatId, FORMAT_ID_RGB16);
                break;
            case 24:
                CopyText(video.formatId, FORMAT_ID_RGB24);
                break;
            case 32:
                CopyText(video.formatId, FORMAT_ID_RGB32);
                break;
            default:
                break;
        }
    }
    const int fieldEntry = Selection(dialog, kFieldInterleavingCombo);
    if (fieldEntry >= 0 && fieldEntry < static_cast<int>(std::size(kFieldFlags))) {
        video.flags = kFieldFlags[fieldEntry];
    }
}

}  // namespace

INT_PTR CommitSettingsDialog(HWND dialog, SettingsDialogSession& session) {
    if (session.settingsBlock && !CommitCompression(dialog, session)) {
        return 0;
    }
    CommitAudio(dialog, session.audioFormat);
    if (session.settingsBlock) {
        CommitVideo(dialog, session);
    }
    EndDialog(dialog, 1);
    return 1;
}

}  // namespace zedadu::dialog
