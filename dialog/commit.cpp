// OK in the writing-settings dialog: the quality check, then every control read back into the
// working copies.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "dialog/control_ids.h"
#include "dialog/dialog_internal.h"
#include "dialog/format_probes.h"
#include "dialog/settings_dialog.h"
#include "frame/text.h"
#include "platform/hostlib/hostlib.h"

namespace zedadu::dialog {
namespace {

constexpr uint32_t kLowQualityMessage = 792;
constexpr uint32_t kDefaultQuality = 7500;
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
        block.quality = kDefaultQuality;
        return true;
    }
    const int answer =
        MyMessageBox(kLowQualityMessage, HostString(785).c_str(), "",
                     MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND);
    if (answer == IDCANCEL) {
        return false;
    }
    if (answer == IDYES) {
        block.quality = kDefaultQuality;
    }
    return true;
}

bool CommitCompression(HWND dialog, CompressionSettings& block) {
    if (Checked(dialog, kDataRateCheck)) {
        block.dataRate = Value(dialog, kDataRateCombo);
        WriteVideoSetting("DataRate", block.dataRate);
        block.quality = 0;
    } else {
        block.quality = Value(dialog, kQualityEdit) * 100;
        if (!ConfirmLowQuality(dialog, block)) {
            return false;
        }
        WriteVideoSetting("Quality", block.quality);
        block.dataRate = 0;
    }
    block.paddingSize = Value(dialog, kPaddingCombo);
    block.keyFrameRate = Checked(dialog, kKeyFrameCheck) ? Value(dialog, kKeyFrameEdit) : 0;
    block.recompressAlways = Checked(dialog, kRecompressAlwaysCheck) ? 1 : 0;
    block.recompressToMatchDataRate = Checked(dialog, kRecompressToMatchCheck) ? 1 : 0;
    block.offsetAudioAndVideo = Checked(dialog, kOffsetAudioCheck) ? 1 : 0;
    return true;
}

void CommitAudio(HWND dialog) {
    AudioFormatRecord& audio = dialogAudioFormat;
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
void ReadCustomFrameRate(HWND dialog) {
    char text[kRateTextSize] = "";
    GetDlgItemTextA(dialog, kFrameRateEdit, text, sizeof text);
    float typed = 0.0f;
    if (sscanf(text, "%f", &typed) == 1 && !std::isnan(typed)) {
        dialogFrameRate = typed;
    }
    dialogFrameRate = std::clamp(dialogFrameRate, kLowestCustomRate, kHighestCustomRate);
}

void CommitFrameRate(HWND dialog) {
    if (Enabled(dialog, kFrameRateEdit)) {
        ReadCustomFrameRate(dialog);
    } else {
        const int entry = Selection(dialog, kFrameRateList);
        const float preset = entry >= 0 ? frameRatePresets[entry] : 0.0f;
        if (-0.2 <= preset - 29.97 && preset - 29.97 < 0.2) {
            dialogFrameRate = kNtscFrameRate;
        } else if (!IsOtherFrameRate(preset)) {
            dialogFrameRate = preset;
        } else {
            ReadCustomFrameRate(dialog);
        }
    }
    dialogVideoFormat.rate = static_cast<uint32_t>(static_cast<double>(dialogFrameRate) * 1000000);
    dialogVideoFormat.scale = 1000000;
}

// With nothing selected (the size probe failed and the list is empty) the size stays as it was.
void CommitFrameSize(HWND dialog) {
    ImageFormatStruct& video = dialogVideoFormat;
    const int entry = Selection(dialog, kFrameSizeList);
    if (entry >= 0 && frameSizeWidths[entry] != 0) {
        video.width = frameSizeWidths[entry];
        video.height = frameSizeHeights[entry];
    } else if (entry >= 0) {
        video.height = static_cast<int32_t>(GetDlgItemInt(dialog, kHeightEdit, nullptr, TRUE));
        video.width = static_cast<int32_t>(GetDlgItemInt(dialog, kWidthEdit, nullptr, TRUE));
    }
    video.width = std::max(video.width, 1);
    video.height = std::max(video.height, 1);
}

void CommitVideo(HWND dialog) {
    CommitFrameRate(dialog);
    CommitFrameSize(dialog);
    const int depthEntry = Selection(dialog, kColorDepthList);
    if (depthEntry >= 0 && depthEntry < kColorDepthSlots) {
        switch (colorDepthList[depthEntry]) {
            case 16:
                CopyText(dialogVideoFormat.formatId, FORMAT_ID_RGB16);
                break;
            case 24:
                CopyText(dialogVideoFormat.formatId, FORMAT_ID_RGB24);
                break;
            case 32:
                CopyText(dialogVideoFormat.formatId, FORMAT_ID_RGB32);
                break;
            default:
                break;
        }
    }
    const int fieldEntry = Selection(dialog, kFieldInterleavingCombo);
    if (fieldEntry >= 0 && fieldEntry < static_cast<int>(std::size(kFieldFlags))) {
        dialogVideoFormat.flags = kFieldFlags[fieldEntry];
    }
}

}  // namespace

INT_PTR CommitSettingsDialog(HWND dialog) {
    if (dialogSettingsBlock && !CommitCompression(dialog, *dialogSettingsBlock)) {
        return 0;
    }
    CommitAudio(dialog);
    if (dialogSettingsBlock) {
        CommitVideo(dialog);
    }
    EndDialog(dialog, 1);
    return 1;
}

}  // namespace zedadu::dialog
