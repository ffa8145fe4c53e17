// The writing-settings dialog procedure: initialisation of every control from the working copies,
// and the reaction to each control while the dialog is open.
#include "dialog/settings_dialog.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "dialog/compressors.h"
#include "dialog/control_ids.h"
#include "dialog/dialog_internal.h"
#include "dialog/format_probes.h"
#include "frame/module.h"
#include "frame/settings_ini.h"
#include "frame/text.h"
#include "platform/hostlib/hostlib.h"
#include "platform/profile/profile.h"
#include "platform/system/system.h"

namespace zedadu::dialog {

AudioFormatRecord dialogAudioFormat{};
ImageFormatStruct dialogVideoFormat{};
CompressionSettings* dialogSettingsBlock = nullptr;
char dialogIniPath[kPathSize] = {};
float dialogFrameRate = 0.0f;

namespace {

constexpr uint32_t kTitleString = 1449;
constexpr uint32_t kDefaultQuality = 7500;
constexpr uint32_t kDefaultDataRate = 800;
constexpr char kQualityKey[] = "Quality";
constexpr char kDataRateKey[] = "DataRate";

struct Label {
    int id;
    uint32_t stringId;
};
// Labels a template lacks are simply not relabelled.
constexpr Label kLabels[] = {{1032, 1677},
                             {1022, 1645},
                             {1026, 1646},
                             {1027, 1647},
                             {1021, 1455},
                             {1028, 1456},
                             {1023, 1457},
                             {1024, 1648},
                             {1025, 1459},
                             {kConfigureButton, 1467},
                             {kAboutButton, 1468},
                             {1016, 1470},
                             {kKeyFrameCheck, 1471},
                             {1033, 1316},
                             {kRecompressToMatchCheck, 1474},
                             {kDataRateCheck, 1473},
                             {1030, 1624},
                             {kRecompressAlwaysCheck, 1472},
                             {1029, 1461},
                             {1031, 1462},
                             {kOffsetAudioCheck, 1475},
                             {1017, 1651},
                             {1018, 1464},
                             {1019, 1465},
                             {1020, 1466},
                             {kOkButton, 1266},
                             {kCancelButton, 1267}};

// Each inserted at the top, so that the lists read the other way round.
constexpr uint32_t kFieldInterleavingStrings[] = {1485, 1484, 1483};
constexpr const char* kDataRates[] = {"8000", "5000", "2000", "1500", "800", "512", "256", "128"};
constexpr const char* kPaddings[] = {"2048", "512"};

struct SampleRateEntry {
    const char* text;
    int32_t lowest;  // the lowest rate that selects the entry
};
constexpr SampleRateEntry kSampleRates[] = {{"48 KHz", 48000},     {"44.1 KHz", 44100},
                                            {"32 KHz", 32000},     {"22.05 KHz", 22050},
                                            {"11.025 KHz", 11025}, {"8 KHz", INT32_MIN}};

CompressionSettings& Block() {
    return *dialogSettingsBlock;
}

void InsertAtTop(HWND dialog, int id, const char* text) {
    SendDlgItemMessageA(dialog, id, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void Add(HWND dialog, int id, const char* text) {
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void Select(HWND dialog, int id, int entry) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
}

void ShowQuality(HWND dialog) {
    const UINT shown = Block().quality / 100;
    SetDlgItemInt(dialog, kQualityEdit, shown, FALSE);
    SetScrollPos(GetDlgItem(dialog, kQualityScrollBar), SB_CTL, static_cast<int>(shown), TRUE);
}

// Quality is kept in hundredths of a percent; a stored value of 100 or less means "not set".
void QualityFromSettingsWhenUnset() {
    if (Block().quality <= 100) {
        Block().quality = ReadVideoSetting(kQualityKey, kDefaultQuality);
    }
}

// The quality edit's value becomes the block's quality, remembered in the INI file at once.
void KeepQualityOfEdit(HWND dialog) {
    if (Enabled(dialog, kQualityEdit)) {
        Block().quality = Value(dialog, kQualityEdit) * 100;
        WriteVideoSetting(kQualityKey, Block().quality);
    }
}

void KeepDataRateOfCombo(HWND dialog) {
    if (Enabled(dialog, kDataRateCombo)) {
        Block().dataRate = Value(dialog, kDataRateCombo);
        WriteVideoSetting(kDataRateKey, Block().dataRate);
    }
}

void DisableQuality(HWND dialog) {
    Enable(dialog, kQualityEdit, false);
    Enable(dialog, kQualityScrollBar, false);
    Clear(dialog, kQualityEdit);
}

const ICINFO* SelectedCompressor(HWND dialog) {
    const int entry = Selection(dialog, kCompressorList);
    return entry >= 0 && entry < compressorList.compressorCount ? &compressorList.infos[entry]
                                                                : nullptr;
}

bool SameHandlerIgnoringCase(FOURCC a, FOURCC b) {
    char left[4], right[4];
    memcpy(left, &a, sizeof left);
    memcpy(right, &b, sizeof right);
    CharUpperBuffA(left, sizeof left);
    CharUpperBuffA(right, sizeof right);
    return memcmp(left, right, sizeof left) == 0;
}

// Data rate (104): checked, the compressor works to a data rate instead of a quality.
void OnDataRateClicked(HWND dialog) {
    if (Checked(dialog, kDataRateCheck)) {
        Enable(dialog, kDataRateCombo, true);
        if (Block().dataRate == 0) {
            Block().dataRate = ReadVideoSetting(kDataRateKey, kDefaultDataRate);
        }
        SetDlgItemInt(dialog, kDataRateCombo, Block().dataRate, FALSE);
        Enable(dialog, kRecompressToMatchCheck, true);
        KeepQualityOfEdit(dialog);
        DisableQuality(dialog);
        return;
    }
    // A compressor without quality control keeps its data rate; with none selected the choice
    // is the user's.
    const ICINFO* selected = SelectedCompressor(dialog);
    if (selected && !(selected->dwFlags & VIDCF_QUALITY)) {
        Check(dialog, kDataRateCheck, true);
        return;
    }
    KeepDataRateOfCombo(dialog);
    Clear(dialog, kDataRateCombo);
    Enable(dialog, kDataRateCombo, false);
    Enable(dialog, kRecompressToMatchCheck, false);
    Check(dialog, kRecompressToMatchCheck, false);
    Enable(dialog, kQualityEdit, true);
    Enable(dialog, kQualityScrollBar, true);
    QualityFromSettingsWhenUnset();
    ShowQuality(dialog);
}

void OnKeyFramesClicked(HWND dialog) {
    if (!Checked(dialog, kKeyFrameCheck)) {
        Block().keyFrameRate = Value(dialog, kKeyFrameEdit);
        Clear(dialog, kKeyFrameEdit);
        Enable(dialog, kKeyFrameEdit, false);
        return;
    }
    Enable(dialog, kKeyFrameEdit, true);
    SetDlgItemInt(dialog, kKeyFrameEdit, Block().keyFrameRate, FALSE);
}

// A compressor with neither quality nor data-rate control: both controls go, their last values
// are kept.
void WithoutRateControl(HWND dialog) {
    KeepDataRateOfCombo(dialog);
    Check(dialog, kDataRateCheck, false);
    Clear(dialog, kDataRateCombo);
    Enable(dialog, kDataRateCombo, false);
    Enable(dialog, kDataRateCheck, false);
    Enable(dialog, kRecompressToMatchCheck, false);
    Check(dialog, kRecompressToMatchCheck, false);
    KeepQualityOfEdit(dialog);
    DisableQuality(dialog);
}

void ApplyRateCapabilities(HWND dialog, DWORD flags) {
    const bool quality = flags & VIDCF_QUALITY;
    const bool crunch = flags & VIDCF_CRUNCH;
    if (quality && !crunch) {
        Check(dialog, kDataRateCheck, false);
        OnDataRateClicked(dialog);
        Enable(dialog, kDataRateCheck, false);
        Enable(dialog, kRecompressToMatchCheck, false);
        Check(dialog, kRecompressToMatchCheck, false);
    } else if (quality) {
        Enable(dialog, kDataRateCheck, true);
    } else if (crunch) {
        Enable(dialog, kDataRateCheck, true);
        Check(dialog, kDataRateCheck, true);
        OnDataRateClicked(dialog);
        Enable(dialog, kRecompressToMatchCheck, true);
    } else {
        WithoutRateControl(dialog);
    }
}

// The state a previous configuration stored is discarded for the new compressor's own.
void CaptureFreshState(HWND dialog) {
    Block().stateSize = 0;
    const bool configurable = ConfigureCompressor(kQueryBox, &dialogSettingsBlock) == ICERR_OK;
    Enable(dialog, kConfigureButton, configurable);
    if (configurable) {
        ConfigureCompressor(kQueryBox, &dialogSettingsBlock);
    }
    Enable(dialog, kAboutButton, ShowCompressorAbout(kQueryBox, Block().fccHandler) == ICERR_OK);
}

void OnCompressorSelected(HWND dialog) {
    const int entry = Selection(dialog, kCompressorList);
    if (entry < 0 || entry >= compressorList.compressorCount) {
        return;
    }
    const ICINFO& info = compressorList.infos[entry];
    Block().fccHandler = compressorList.handlerCodes[entry];
    CopyText(Block().compressorName, DescriptionOf(info, kTextSize).c_str());
    ApplyRateCapabilities(dialog, info.dwFlags);
    CaptureFreshState(dialog);
    const bool temporal = info.dwFlags & VIDCF_TEMPORAL;
    Enable(dialog, kKeyFrameCheck, temporal);
    Enable(dialog, kKeyFrameEdit, temporal);
    if (temporal) {
        SetDlgItemInt(dialog, kKeyFrameEdit, Block().keyFrameRate, FALSE);
    } else {
        Block().keyFrameRate = Value(dialog, kKeyFrameEdit);
        Clear(dialog, kKeyFrameEdit);
    }
    RefreshFormatFields(dialog);
}

// Quality edit (108): kept inside the scroll bar's range, which follows it.
void OnQualityEdited(HWND dialog) {
    HWND bar = GetDlgItem(dialog, kQualityScrollBar);
    int lowest = 0;
    int highest = 0;
    GetScrollRange(bar, SB_CTL, &lowest, &highest);
    const int64_t typed = Value(dialog, kQualityEdit);
    const int64_t value = std::clamp<int64_t>(typed, lowest, std::max(lowest, highest));
    if (value != typed) {
        SetDlgItemInt(dialog, kQualityEdit, static_cast<UINT>(value), FALSE);
    }
    SetScrollPos(bar, SB_CTL, static_cast<int>(value), TRUE);
}

// The new value of a scroll request; nullopt when the value already is where it would move.
std::optional<int64_t> ScrolledValue(WORD request, int64_t value, int lowest, int highest,
                                     WORD thumb) {
    switch (request) {
        case SB_LINELEFT:
            return value <= lowest ? std::nullopt
                                   : std::optional(std::max<int64_t>(value - 1, lowest));
        case SB_LINERIGHT:
            return value >= highest ? std::nullopt
                                    : std::optional(std::min<int64_t>(value + 1, highest));
        case SB_PAGELEFT:
            return value <= lowest ? std::nullopt
                                   : std::optional(std::max<int64_t>(value - 3, lowest));
        case SB_PAGERIGHT:
            return value >= highest ? std::nullopt
                                    : std::optional(std::min<int64_t>(value + 3, highest));
        case SB_THUMBPOSITION:
            return thumb;
        case SB_LEFT:
            return value <= lowest ? std::nullopt : std::optional<int64_t>(lowest);
        default:
            return value >= highest ? std::nullopt : std::optional<int64_t>(highest);
    }
}

// A horizontal scroll bar moves the edit whose identifier is one below its own.
INT_PTR OnHorizontalScroll(HWND dialog, WPARAM wParam, LPARAM lParam) {
    HWND bar = reinterpret_cast<HWND>(lParam);
    const WORD request = LOWORD(wParam);
    if (!bar || request > SB_RIGHT || request == SB_THUMBTRACK) {
        return 0;
    }
    int lowest = 0;
    int highest = 0;
    GetScrollRange(bar, SB_CTL, &lowest, &highest);
    const int editId = GetDlgCtrlID(bar) - 1;
    const int64_t value = GetDlgItemInt(dialog, editId, nullptr, FALSE);
    if (const auto moved = ScrolledValue(request, value, lowest, highest, HIWORD(wParam))) {
        SetScrollPos(bar, SB_CTL, static_cast<int>(*moved), TRUE);
        SetDlgItemInt(dialog, editId, static_cast<UINT>(*moved), FALSE);
    }
    return 1;
}

void OnFrameRateChosen(HWND dialog, WORD code) {
    const int entry = Selection(dialog, kFrameRateList);
    if (code != CBN_SELENDOK || entry < 0) {
        return;
    }
    const float preset = frameRatePresets[entry];
    if (IsOtherFrameRate(preset)) {
        Enable(dialog, kFrameRateEdit, true);
        char text[64];
        snprintf(text, sizeof text, "%g", dialogFrameRate);
        SetDlgItemTextA(dialog, kFrameRateEdit, text);
        return;
    }
    Clear(dialog, kFrameRateEdit);
    Enable(dialog, kFrameRateEdit, false);
    dialogFrameRate = preset;
}

// A frame size choice also applies the frame-rate choice again.
void OnFrameSizeChosen(HWND dialog, WORD code) {
    const int entry = Selection(dialog, kFrameSizeList);
    if (code == CBN_SELENDOK && entry >= 0) {
        const bool listed = frameSizeWidths[entry] != 0;
        for (const int id : {kWidthEdit, kWidthUpDown, kHeightEdit, kHeightUpDown}) {
            Enable(dialog, id, !listed);
        }
        if (listed) {
            Clear(dialog, kWidthEdit);
            Clear(dialog, kHeightEdit);
            dialogVideoFormat.width = frameSizeWidths[entry];
            dialogVideoFormat.height = frameSizeHeights[entry];
        } else {
            SetDlgItemInt(dialog, kWidthEdit, static_cast<UINT>(dialogVideoFormat.width), TRUE);
            SetDlgItemInt(dialog, kHeightEdit, static_cast<UINT>(dialogVideoFormat.height), TRUE);
        }
    }
    OnFrameRateChosen(dialog, code);
}

void SetLabels(HWND dialog) {
    SetWindowTextA(dialog, HostString(kTitleString).c_str());
    for (const Label& label : kLabels) {
        SetDlgItemTextA(dialog, label.id, HostString(label.stringId).c_str());
    }
}

void InitKeyFrames(HWND dialog) {
    const bool keyFrames = Block().keyFrameRate > 0;
    if (keyFrames) {
        SetDlgItemInt(dialog, kKeyFrameEdit, Block().keyFrameRate, FALSE);
    } else {
        Clear(dialog, kKeyFrameEdit);
        Enable(dialog, kKeyFrameEdit, false);
    }
    Check(dialog, kKeyFrameCheck, keyFrames);
}

void InitFieldInterleaving(HWND dialog) {
    SendDlgItemMessageA(dialog, kFieldInterleavingCombo, CB_RESETCONTENT, 0, 0);
    for (const uint32_t stringId : kFieldInterleavingStrings) {
        InsertAtTop(dialog, kFieldInterleavingCombo, HostString(stringId).c_str());
    }
    const uint32_t flags = dialogVideoFormat.flags;
    Select(dialog, kFieldInterleavingCombo, !(flags & 0x08) ? 0 : (flags & 0x20) ? 2 : 1);
}

void InitRateControl(HWND dialog) {
    SendDlgItemMessageA(dialog, kDataRateCombo, CB_RESETCONTENT, 0, 0);
    for (const char* rate : kDataRates) {
        InsertAtTop(dialog, kDataRateCombo, rate);
    }
    if (Block().dataRate > 0) {
        SetDlgItemInt(dialog, kDataRateCombo, Block().dataRate, FALSE);
        Check(dialog, kDataRateCheck, true);
        Enable(dialog, kRecompressToMatchCheck, true);
        Enable(dialog, kQualityScrollBar, false);
        Enable(dialog, kQualityEdit, false);
        return;
    }
    Clear(dialog, kDataRateCombo);
    Enable(dialog, kDataRateCombo, false);
    Check(dialog, kDataRateCheck, false);
    Enable(dialog, kRecompressToMatchCheck, false);
    Check(dialog, kRecompressToMatchCheck, false);
    QualityFromSettingsWhenUnset();
    ShowQuality(dialog);
}

void InitPaddingAndChecks(HWND dialog) {
    SendDlgItemMessageA(dialog, kPaddingCombo, CB_RESETCONTENT, 0, 0);
    for (const char* padding : kPaddings) {
        InsertAtTop(dialog, kPaddingCombo, padding);
    }
    SetDlgItemInt(dialog, kPaddingCombo, Block().paddingSize, FALSE);
    Check(dialog, kRecompressAlwaysCheck, Block().recompressAlways > 0);
    Check(dialog, kRecompressToMatchCheck, Block().recompressToMatchDataRate > 0);
    Check(dialog, kOffsetAudioCheck, Block().offsetAudioAndVideo > 0);
}

// The list's positions are the compressor table's indices. The stored compressor is selected by
// posted messages, so its selection handler runs once the initialisation is over; the last of
// several matching entries stays selected.
void InitCompressors(HWND dialog) {
    SendDlgItemMessageA(dialog, kCompressorList, CB_RESETCONTENT, 0, 0);
    for (int i = compressorList.compressorCount - 1; i >= 0; --i) {
        InsertAtTop(dialog, kCompressorList, DescriptionOf(compressorList.infos[i], 256).c_str());
    }
    HWND list = GetDlgItem(dialog, kCompressorList);
    for (int i = 0; i < compressorList.compressorCount; ++i) {
        if (SameHandlerIgnoringCase(compressorList.handlerCodes[i], Block().fccHandler)) {
            PostMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kCompressorList, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
        }
    }
}

int SampleRateEntryOf(int32_t sampleRate) {
    int entry = 0;
    while (sampleRate < kSampleRates[entry].lowest) {
        ++entry;
    }
    return entry;
}

void InitAudioLists(HWND dialog) {
    for (const char* channels : {"Stereo", "Mono"}) {
        Add(dialog, kChannelsList, channels);
    }
    Select(dialog, kChannelsList, dialogAudioFormat.channels == 1 ? 1 : 0);
    for (const char* depth : {"16 bit", "8 bit"}) {
        Add(dialog, kBitDepthList, depth);
    }
    Select(dialog, kBitDepthList, SameText(dialogAudioFormat.formatId, FORMAT_ID_PCM8) ? 1 : 0);
    for (const SampleRateEntry& rate : kSampleRates) {
        Add(dialog, kSampleRateList, rate.text);
    }
    Select(dialog, kSampleRateList,
           SampleRateEntryOf(static_cast<int32_t>(dialogAudioFormat.sampleRate)));
}

INT_PTR OnInitDialog(HWND dialog) {
    SetLabels(dialog);
    if (SkinsModule* skins = CurrentSkinsModule()) {
        skins->SkinWindow(dialog, 0);
    }
    CopyText(dialogIniPath, SettingsIniPath().c_str());
    if (dialogSettingsBlock) {
        EnumerateCompressors();
        SetScrollRange(GetDlgItem(dialog, kQualityScrollBar), SB_CTL, 0, 100, FALSE);
        InitKeyFrames(dialog);
        InitFieldInterleaving(dialog);
        InitRateControl(dialog);
        InitPaddingAndChecks(dialog);
        InitCompressors(dialog);
    }
    InitAudioLists(dialog);
    if (dialogSettingsBlock) {
        RefreshFormatFields(dialog);
        dialogFrameRate = static_cast<float>(FrameRateOf(dialogVideoFormat));
    }
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    const int id = LOWORD(wParam);
    const WORD code = HIWORD(wParam);
    if (id < kFirstCommandId || id > kLastCommandId) {
        return 0;
    }
    if (id == kOkButton) {
        return CommitSettingsDialog(dialog);
    }
    if (id == kCancelButton) {
        EndDialog(dialog, 0);
        return 1;
    }
    if (!dialogSettingsBlock) {
        return 0;  // the hidden video controls of an audio-only dialog do nothing
    }
    switch (id) {
        case kCompressorList:
            if (code == CBN_SELCHANGE) {
                OnCompressorSelected(dialog);
            }
            break;
        case kKeyFrameCheck:
            OnKeyFramesClicked(dialog);
            break;
        case kDataRateCheck:
            OnDataRateClicked(dialog);
            break;
        case kConfigureButton:
            ConfigureCompressor(dialog, &dialogSettingsBlock);
            break;
        case kQualityEdit:
            if (code == EN_CHANGE) {
                OnQualityEdited(dialog);
            }
            break;
        case kAboutButton:
            ShowCompressorAbout(dialog, Block().fccHandler);
            break;
        case kFrameRateList:
            OnFrameRateChosen(dialog, code);
            break;
        case kFrameSizeList:
            OnFrameSizeChosen(dialog, code);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_HSCROLL:
            return OnHorizontalScroll(dialog, wParam, lParam);
        default:
            return 0;
    }
}

intptr_t RunSettingsDialog(const char* templateName, HWND parent) {
    return DialogBoxParamA(ModuleInstance(), templateName, parent, SettingsDialogProc, 0);
}

std::string HostString(uint32_t id) {
    std::string text(MyLoadString(id, nullptr, 0), '\0');
    MyLoadString(id, text.data(), static_cast<uint32_t>(text.size() + 1));
    return text;
}

void ShowSettingsMessage(uint32_t messageId) {
    MyMessageBox(messageId, HostString(785).c_str(), "",
                 MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND);
}

uint32_t ReadVideoSetting(const char* key, int defaultValue) {
    return GetPrivateProfileIntA(kVideoSettingsSection, key, defaultValue, dialogIniPath);
}

void WriteVideoSetting(const char* key, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%i", static_cast<int>(value));
    WritePrivateProfileStringA(kVideoSettingsSection, key, text, dialogIniPath);
}

double FrameRateOf(const ImageFormatStruct& format) {
    const auto scale = static_cast<int32_t>(format.scale);
    return scale == 0 ? 0.0 : static_cast<int32_t>(format.rate) / static_cast<double>(scale);
}

// Descriptions hold at most 128 wide characters, not always terminated.
std::string DescriptionOf(const ICINFO& info, size_t maxBytes) {
    const std::u16string_view whole(info.szDescription, std::size(info.szDescription));
    const std::u16string_view wide = whole.substr(0, whole.find(u'\0'));
    std::string text(wide.size() * 2 + 1, '\0');
    const int length =
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide.data(), static_cast<int>(wide.size()),
                            text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(std::min<size_t>(static_cast<size_t>(std::max(length, 0)), maxBytes - 1));
    return text;
}

}  // namespace zedadu::dialog
