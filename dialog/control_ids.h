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

    // Labels, relabelled from the host's strings where a template has them.
    kQualityLabel = 1016,
    kAudioGroup = 1017,
    kChannelsLabel = 1018,
    kBitDepthLabel = 1019,
    kSampleRateLabel = 1020,
    kFrameRateLabel = 1021,
    kFrameSizeLabel = 1022,
    kColorDepthLabel = 1023,
    kFieldInterleavingLabel = 1024,
    kCompressorLabel = 1025,
    kWidthLabel = 1026,
    kHeightLabel = 1027,
    kFrameRateUnit = 1028,
    kPaddingLabel = 1029,
    kDataRateUnit = 1030,
    kPaddingUnit = 1031,
    kVideoGroup = 1032,
    kKeyFrameUnit = 1033,
};

// WM_COMMAND is looked at for these identifiers only.
inline constexpr int kFirstCommandId = 1;
inline constexpr int kLastCommandId = 123;

}  // namespace zedadu::dialog
