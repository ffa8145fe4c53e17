// The writing-settings dialog procedure: initialisation of every control from the working copies,
// and the reaction to each control while the dialog is open.
#include "dialog/settings_dialog.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/host_text.h"
#include "core/module.h"
#include "core/settings_ini.h"
#include "core/text.h"
#include "dialog/compressors.h"
#include "dialog/control_ids.h"
#include "dialog/dialog_internal.h"
#include "dialog/format_probes.h"
#include "platform/hostlib/hostlib.h"
#include "platform/profile/profile.h"
#include "platform/system/system.h"

namespace zedadu::dialog {
namespace {

constexpr uint32_t kTitleString = 1449;

struct Label {
    int id;
    uint32_t stringId;
};
// Labels a template lacks are simply not relabelled.
constexpr Label kLabels[] = {{kVideoGroup, 1677},
                             {kFrameSizeLabel, 1645},
                             {kWidthLabel, 1646},
                             {kHeightLabel, 1647},
                             {kFrameRateLabel, 1455},
                             {kFrameRateUnit, 1456},
                             {kColorDepthLabel, 1457},
                             {kFieldInterleavingLabel, 1648},
                             {kCompressorLabel, 1459},
                             {kConfigureButton, 1467},
                             {kAboutButton, 1468},
                             {kQualityLabel, 1470},
                             {kKeyFrameCheck, 1471},
                             {kKeyFrameUnit, 1316},
                             {kRecompressToMatchCheck, 1474},
                             {kDataRateCheck, 1473},
                             {kDataRateUnit, 1624},
                             {kRecompressAlwaysCheck, 1472},
                             {kPaddingLabel, 1461},
                             {kPaddingUnit, 1462},
                             {kOffsetAudioCheck, 1475},
                             {kAudioGroup, 1651},
                             {kChannelsLabel, 1464},
                             {kBitDepthLabel, 1465},
                             {kSampleRateLabel, 1466},
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

void InsertAtTop(HWND dialog, int id, const char* text) {
    SendDlgItemMessageA(dialog, id, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void Add(HWND dialog, int id, const char* text) {
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void Select(HWND dialog, int id, int entry) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
}

void ShowQuality(HWND dialog, const CompressionSettings& block) {
    const UINT shown = block.quality / 100;
    SetDlgItemInt(dialog, kQualityEdit, shown, FALSE);
    SetScrollPos(GetDlgItem(dialog, kQualityScrollBar), SB_CTL, static_cast<int>(shown), TRUE);
}

// Quality is kept in hundredths of a percent; a stored value of 100 or less means "not set".
void QualityFromSettingsWhenUnset(const SettingsDialogSession& session) {
    CompressionSettings& block = *session.settingsBlock;
    if (block.quality <= 100) {
        block.quality = SettingsFile(session.iniPath).read(settings::kQuality);
    }
}

// The quality edit's value becomes the block's quality, remembered in the INI file at once.
void KeepQualityOfEdit(HWND dialog, const SettingsDialogSession& session) {
    if (Enabled(dialog, kQualityEdit)) {
        session.settingsBlock->quality = Value(dialog, kQualityEdit) * 100;
        SettingsFile(session.iniPath).write(settings::kQuality, session.settingsBlock->quality);
    }
}

void KeepDataRateOfCombo(HWND dialog, const SettingsDialogSession& session) {
    if (Enabled(dialog, kDataRateCombo)) {
        session.settingsBlock->dataRate = Value(dialog, kDataRateCombo);
        SettingsFile(session.iniPath).write(settings::kDataRate, session.settingsBlock->dataRate);
    }
}

void DisableQuality(HWND dialog) {
    Enable(dialog, kQualityEdit, false);
    Enable(dialog, kQualityScrollBar, false);
    Clear(dialog, kQualityEdit);
}

const ICINFO* SelectedCompressor(HWND dialog, const CompressorList& compressors) {
    const int entry = Selection(dialog, kCompressorList);
    return entry >= 0 && entry < compressors.compressorCount ? &compressors.infos[entry] : nullptr;
}

void CheckedDataRate(HWND dialog, const SettingsDialogSession& session) {
    CompressionSettings& block = *session.settingsBlock;
    Enable(dialog, kDataRateCombo, true);
    if (block.dataRate == 0) {
        block.dataRate = SettingsFile(session.iniPath).read(settings::kDataRate);
    }
    SetDlgItemInt(dialog, kDataRateCombo, block.dataRate, FALSE);
    Enable(dialog, kRecompressToMatchCheck, true);
    KeepQualityOfEdit(dialog, session);
    DisableQuality(dialog);
}

// Data rate (104): checked, the compressor works to a data rate instead of a quality.
void OnDataRateClicked(HWND dialog, const SettingsDialogSession& session) {
    if (Checked(dialog, kDataRateCheck)) {
        CheckedDataRate(dialog, session);
        return;
    }
    // A compressor without quality control keeps its data rate; with none selected the choice
    // is the user's.
    const ICINFO* selected = SelectedCompressor(dialog, session.compressors);
    if (selected && !(selected->dwFlags & VIDCF_QUALITY)) {
        Check(dialog, kDataRateCheck, true);
        return;
    }
    KeepDataRateOfCombo(dialog, session);
    Clear(dialog, kDataRateCombo);
    Enable(dialog, kDataRateCombo, false);
    Enable(dialog, kRecompressToMatchCheck, false);
    Check(dialog, kRecompressToMatchCheck, false);
    Enable(dialog, kQualityEdit, true);
    Enable(dialog, kQualityScrollBar, true);
    QualityFromSettingsWhenUnset(session);
    ShowQuality(dialog, *session.settingsBlock);
}

void OnKeyFramesClicked(HWND dialog, CompressionSettings& block) {
    if (!Checked(dialog, kKeyFrameCheck)) {
        block.keyFrameRate = Value(dialog, kKeyFrameEdit);
        Clear(dialog, kKeyFrameEdit);
        Enable(dialog, kKeyFrameEdit, false);
        return;
    }
    Enable(dialog, kKeyFrameEdit, true);
    SetDlgItemInt(dialog, kKeyFrameEdit, block.keyFrameRate, FALSE);
}

// A compressor with neither quality nor data-rate control: both controls go, their last values
// are kept.
void WithoutRateControl(HWND dialog, const SettingsDialogSession& session) {
    KeepDataRateOfCombo(dialog, session);
    Check(dialog, kDataRateCheck, false);
    Clear(dialog, kDataRateCombo);
    Enable(dialog, kDataRateCombo, false);
    Enable(dialog, kDataRateCheck, false);
    Enable(dialog, kRecompressToMatchCheck, false);
    Check(dialog, kRecompressToMatchCheck, false);
    KeepQualityOfEdit(dialog, session);
    DisableQuality(dialog);
}

void ApplyRateCapabilities(HWND dialog, const SettingsDialogSession& session, DWORD flags) {
    const bool quality = flags & VIDCF_QUALITY;
    const bool crunch = flags & VIDCF_CRUNCH;
    if (quality && !crunch) {
        Check(dialog, kDataRateCheck, false);
        OnDataRateClicked(dialog, session);
        Enable(dialog, kDataRateCheck, false);
        Enable(dialog, kRecompressToMatchCheck, false);
        Check(dialog, kRecompressToMatchCheck, false);
    } else if (quality) {
        Enable(dialog, kDataRateCheck, true);
    } else if (crunch) {
        Enable(dialog, kDataRateCheck, true);
        Check(dialog, kDataRateCheck, true);
        OnDataRateClicked(dialog, session);
        Enable(dialog, kRecompressToMatchCheck, true);
    } else {
        WithoutRateControl(dialog, session);
    }
}

// The state a previous configuration stored is discarded for the new compressor's own.
void CaptureFreshState(HWND dialog, SettingsDialogSession& session) {
    session.settingsBlock->stateSize = 0;
    const bool configurable = ConfigureCompressor(kQueryBox, &session.settingsBlock) == ICERR_OK;
    Enable(dialog, kConfigureButton, configurable);
    if (configurable) {
        ConfigureCompressor(kQueryBox, &session.settingsBlock);
    }
    const bool hasAbout =
        ShowCompressorAbout(kQueryBox, session.settingsBlock->fccHandler) == ICERR_OK;
    Enable(dialog, kAboutButton, hasAbout);
}

void ApplyKeyFrameCapability(HWND dialog, CompressionSettings& block, DWORD flags) {
    const bool temporal = flags & VIDCF_TEMPORAL;
    Enable(dialog, kKeyFrameCheck, temporal);
    Enable(dialog, kKeyFrameEdit, temporal);
    if (temporal) {
        SetDlgItemInt(dialog, kKeyFrameEdit, block.keyFrameRate, FALSE);
    } else {
        block.keyFrameRate = Value(dialog, kKeyFrameEdit);
        Clear(dialog, kKeyFrameEdit);
    }
}

void OnCompressorSelected(HWND dialog, SettingsDialogSession& session) {
    const CompressorList& compressors = session.compressors;
    const int entry = Selection(dialog, kCompressorList);
    if (entry < 0 || entry >= compressors.compressorCount) {
        return;
    }
    const ICINFO& info = compressors.infos[entry];
    session.settingsBlock->fccHandler = compressors.handlerCodes[entry];
    CopyText(session.settingsBlock->compressorName, DescriptionOf(info, kTextSize).c_str());
    ApplyRateCapabilities(dialog, session, info.dwFlags);
    CaptureFreshState(dialog, session);
    ApplyKeyFrameCapability(dialog, *session.settingsBlock, info.dwFlags);
    RefreshFormatFields(dialog, session);
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

// The new value of a scroll request; nullopt when the value already is at the end it moves to.
// Lines move by 1, pages by 3, SB_LEFT and SB_RIGHT all the way.
std::optional<int64_t> ScrolledValue(WORD request, int64_t value, int lowest, int highest,
                                     WORD thumb) {
    if (request == SB_THUMBPOSITION) {
        return thumb;
    }
    const bool left = request == SB_LINELEFT || request == SB_PAGELEFT || request == SB_LEFT;
    if (left ? value <= lowest : value >= highest) {
        return std::nullopt;
    }
    const int64_t end = left ? lowest : highest;
    if (request == SB_LEFT || request == SB_RIGHT) {
        return end;
    }
    const int64_t step = request == SB_LINELEFT || request == SB_LINERIGHT ? 1 : 3;
    return left ? std::max(value - step, end) : std::min(value + step, end);
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

void OnFrameRateChosen(HWND dialog, SettingsDialogSession& session, WORD code) {
    const int entry = Selection(dialog, kFrameRateList);
    if (code != CBN_SELENDOK || entry < 0) {
        return;
    }
    const float preset = session.formats.frameRatePresets[entry];
    if (IsOtherFrameRate(preset)) {
        Enable(dialog, kFrameRateEdit, true);
        char text[64];
        snprintf(text, sizeof text, "%g", session.frameRate);
        SetDlgItemTextA(dialog, kFrameRateEdit, text);
        return;
    }
    Clear(dialog, kFrameRateEdit);
    Enable(dialog, kFrameRateEdit, false);
    session.frameRate = preset;
}

// A frame size choice also applies the frame-rate choice again.
void OnFrameSizeChosen(HWND dialog, SettingsDialogSession& session, WORD code) {
    const int entry = Selection(dialog, kFrameSizeList);
    ImageFormatStruct& video = session.videoFormat;
    if (code == CBN_SELENDOK && entry >= 0) {
        const bool listed = session.formats.frameSizeWidths[entry] != 0;
        for (const int id : {kWidthEdit, kWidthUpDown, kHeightEdit, kHeightUpDown}) {
            Enable(dialog, id, !listed);
        }
        if (listed) {
            Clear(dialog, kWidthEdit);
            Clear(dialog, kHeightEdit);
            video.width = session.formats.frameSizeWidths[entry];
            video.height = session.formats.frameSizeHeights[entry];
        } else {
            SetDlgItemInt(dialog, kWidthEdit, static_cast<UINT>(video.width), TRUE);
            SetDlgItemInt(dialog, kHeightEdit, static_cast<UINT>(video.height), TRUE);
        }
    }
    OnFrameRateChosen(dialog, session, code);
}

void SetLabels(HWND dialog) {
    SetWindowTextA(dialog, HostString(kTitleString).c_str());
    for (const Label& label : kLabels) {
        SetDlgItemTextA(dialog, label.id, HostString(label.stringId).c_str());
    }
}

void InitKeyFrames(HWND dialog, const CompressionSettings& block) {
    const bool keyFrames = block.keyFrameRate > 0;
    if (keyFrames) {
        SetDlgItemInt(dialog, kKeyFrameEdit, block.keyFrameRate, FALSE);
    } else {
        Clear(dialog, kKeyFrameEdit);
        Enable(dialog, kKeyFrameEdit, false);
    }
    Check(dialog, kKeyFrameCheck, keyFrames);
}

void InitFieldInterleaving(HWND dialog, const ImageFormatStruct& video) {
    SendDlgItemMessageA(dialog, kFieldInterleavingCombo, CB_RESETCONTENT, 0, 0);
    for (const uint32_t stringId : kFieldInterleavingStrings) {
        InsertAtTop(dialog, kFieldInterleavingCombo, HostString(stringId).c_str());
    }
    const uint32_t flags = video.flags;
    Select(dialog, kFieldInterleavingCombo, !(flags & 0x08) ? 0 : (flags & 0x20) ? 2 : 1);
}

void InitRateControl(HWND dialog, const SettingsDialogSession& session) {
    const CompressionSettings& block = *session.settingsBlock;
    SendDlgItemMessageA(dialog, kDataRateCombo, CB_RESETCONTENT, 0, 0);
    for (const char* rate : kDataRates) {
        InsertAtTop(dialog, kDataRateCombo, rate);
    }
    if (block.dataRate > 0) {
        SetDlgItemInt(dialog, kDataRateCombo, block.dataRate, FALSE);
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
    QualityFromSettingsWhenUnset(session);
    ShowQuality(dialog, block);
}

void InitPaddingAndChecks(HWND dialog, const CompressionSettings& block) {
    SendDlgItemMessageA(dialog, kPaddingCombo, CB_RESETCONTENT, 0, 0);
    for (const char* padding : kPaddings) {
        InsertAtTop(dialog, kPaddingCombo, padding);
    }
    SetDlgItemInt(dialog, kPaddingCombo, block.paddingSize, FALSE);
    Check(dialog, kRecompressAlwaysCheck, block.recompressAlways > 0);
    Check(dialog, kRecompressToMatchCheck, block.recompressToMatchDataRate > 0);
    Check(dialog, kOffsetAudioCheck, block.offsetAudioAndVideo > 0);
}

// The list's positions are the compressor table's indices. The stored compressor is selected by
// posted messages, so its selection handler runs once the initialisation is over; the last of
// several matching entries stays selected.
void InitCompressors(HWND dialog, const SettingsDialogSession& session) {
    const CompressorList& compressors = session.compressors;
    SendDlgItemMessageA(dialog, kCompressorList, CB_RESETCONTENT, 0, 0);
    for (int i = compressors.compressorCount - 1; i >= 0; --i) {
        InsertAtTop(dialog, kCompressorList, DescriptionOf(compressors.infos[i], 256).c_str());
    }
    HWND list = GetDlgItem(dialog, kCompressorList);
    for (int i = 0; i < compressors.compressorCount; ++i) {
        if (SameFourCCIgnoringCase(compressors.handlerCodes[i],
                                   session.settingsBlock->fccHandler)) {
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

void InitAudioLists(HWND dialog, const AudioFormatRecord& audio) {
    for (const char* channels : {"Stereo", "Mono"}) {
        Add(dialog, kChannelsList, channels);
    }
    Select(dialog, kChannelsList, audio.channels == 1 ? 1 : 0);
    for (const char* depth : {"16 bit", "8 bit"}) {
        Add(dialog, kBitDepthList, depth);
    }
    Select(dialog, kBitDepthList, SameText(audio.formatId, FORMAT_ID_PCM8) ? 1 : 0);
    for (const SampleRateEntry& rate : kSampleRates) {
        Add(dialog, kSampleRateList, rate.text);
    }
    Select(dialog, kSampleRateList, SampleRateEntryOf(static_cast<int32_t>(audio.sampleRate)));
}

void InitVideoControls(HWND dialog, SettingsDialogSession& session) {
    const CompressionSettings& block = *session.settingsBlock;
    EnumerateCompressors(session.compressors);
    SetScrollRange(GetDlgItem(dialog, kQualityScrollBar), SB_CTL, 0, 100, FALSE);
    InitKeyFrames(dialog, block);
    InitFieldInterleaving(dialog, session.videoFormat);
    InitRateControl(dialog, session);
    InitPaddingAndChecks(dialog, block);
    InitCompressors(dialog, session);
}

// The session comes with WM_INITDIALOG and stays in the dialog's own word for every later message.
INT_PTR OnInitDialog(HWND dialog, SettingsDialogSession& session) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&session));
    SetLabels(dialog);
    if (SkinsModule* skins = CurrentSkinsModule()) {
        skins->SkinWindow(dialog, 0);
    }
    CopyText(session.iniPath, SettingsIniPath().c_str());
    if (session.settingsBlock) {
        InitVideoControls(dialog, session);
    }
    InitAudioLists(dialog, session.audioFormat);
    if (session.settingsBlock) {
        RefreshFormatFields(dialog, session);
        session.frameRate = static_cast<float>(FrameRateOf(session.videoFormat));
    }
    return TRUE;
}

// The hidden video controls of an audio-only dialog do nothing.
void OnVideoCommand(HWND dialog, SettingsDialogSession& session, int id, WORD code) {
    CompressionSettings& block = *session.settingsBlock;
    switch (id) {
        case kCompressorList:
            if (code == CBN_SELCHANGE) {
                OnCompressorSelected(dialog, session);
            }
            break;
        case kKeyFrameCheck:
            OnKeyFramesClicked(dialog, block);
            break;
        case kDataRateCheck:
            OnDataRateClicked(dialog, session);
            break;
        case kConfigureButton:
            ConfigureCompressor(dialog, &session.settingsBlock);
            break;
        case kQualityEdit:
            if (code == EN_CHANGE) {
                OnQualityEdited(dialog);
            }
            break;
        case kAboutButton:
            ShowCompressorAbout(dialog, block.fccHandler);
            break;
        case kFrameRateList:
            OnFrameRateChosen(dialog, session, code);
            break;
        case kFrameSizeList:
            OnFrameSizeChosen(dialog, session, code);
            break;
        default:
            break;
    }
}

INT_PTR OnCommand(HWND dialog, SettingsDialogSession& session, WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id < kFirstCommandId || id > kLastCommandId) {
        return 0;
    }
    if (id == kOkButton) {
        return CommitSettingsDialog(dialog, session);
    }
    if (id == kCancelButton) {
        EndDialog(dialog, 0);
        return 1;
    }
    if (session.settingsBlock) {
        OnVideoCommand(dialog, session, id, HIWORD(wParam));
    }
    return 0;
}

}  // namespace

INT_PTR SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return OnInitDialog(dialog, *reinterpret_cast<SettingsDialogSession*>(lParam));
    }
    SettingsDialogSession* session = SessionOf(dialog);
    if (!session) {
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            return OnCommand(dialog, *session, wParam);
        case WM_HSCROLL:
            return OnHorizontalScroll(dialog, wParam, lParam);
        default:
            return 0;
    }
}

intptr_t RunSettingsDialog(const char* templateName, HWND parent, SettingsDialogSession& session) {
    return DialogBoxParamA(ModuleInstance(), templateName, parent, SettingsDialogProc,
                           reinterpret_cast<LPARAM>(&session));
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
