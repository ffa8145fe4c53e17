// The identifiers of the settings dialog's controls, as the templates carry them.
#pragma once

#include "platform/win32/types.h"

namespace zedadu::dialog {

enum ControlId : int {
    kOkButton = IDOK,
    kCancelButton = IDCANCEL,
    kCompressorList = 101,
    kKeyFrameCheck = 102,
    kKeyFrameEdit = 103,
    kDataRateCheck = 104,
    kDataRateCombo = 105,
    kPaddingCombo = 106,
    kConfigureButton = 107,
    kQualityEdit = 108,
    kQualityScrollBar = 109,  // one above its edit: the scroll handler relies on it
    kAboutButton = 110,
    kRecompressAlwaysCheck = 112,
    kRecompressToMatchCheck = 113,
    kOffsetAudioCheck = 114,
    kFrameRateList = 120,
    kColorDepthList = 122,
    kFrameSizeList = 123,
    kWidthEdit = 124,
    kWidthUpDown = 125,
    kHeightEdit = 126,
    kHeightUpDown = 127,
    kFrameRateEdit = 166,
    kChannelsList = 1006,
    kBitDepthList = 1007,
    kSampleRateList = 1008,
    kFieldInterleavingCombo = 1011,
};

// WM_COMMAND is looked at for these identifiers only.
inline constexpr int kFirstCommandId = 1;
inline constexpr int kLastCommandId = 123;

}  // namespace zedadu::dialog
