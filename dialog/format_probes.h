// Which colour depths and frame sizes the chosen compressor accepts, the frame-rate presets, and
// the refresh of the dialog's three format lists from them.
#pragma once

#include "core/records.h"
#include "platform/ui/dialog.h"

namespace zedadu::dialog {

struct SettingsDialogSession;

inline constexpr int kColorDepthSlots = 6;
inline constexpr uint32_t kEmptyColorDepth = 100;
inline constexpr int kFrameRatePresetCapacity = 100;
inline constexpr int kFrameSizeCapacity = 100;

// The lists behind the dialog's colour-depth, frame-rate and frame-size lists, rebuilt at every
// refresh: entry k is the value of list position k.
struct FormatLists {
    uint32_t colorDepths[kColorDepthSlots];  // 100 marks an empty slot
    // Ended by -1; 0 is "Other" (a custom rate).
    float frameRatePresets[kFrameRatePresetCapacity];
    // The accepted sizes, (0, 0) for "Other" (a custom size), then (-1, -1) as the end mark.
    int32_t frameSizeWidths[kFrameSizeCapacity];
    int32_t frameSizeHeights[kFrameSizeCapacity];
};

// depths ends with 0; marks (parallel) become 1 for a supported depth. 1 when the marks are set;
// 0 after message 788 (the compressor cannot be opened) or 40 (no memory), marks untouched.
int ProbeColorDepths(const uint32_t* depths, uint32_t* marks, const CompressionSettings& block);
// 1 when the tables are filled; 0 after message 788 or 40, tables untouched.
int ProbeFrameSizes(int32_t* widths, int32_t* heights, const CompressionSettings& block);
int FillFrameRatePresets(float* presets);
// Rebuilds lists 122, 120 and 123 for the working copies and selects their present values.
void RefreshFormatFields(HWND dialog, SettingsDialogSession& session);

// A preset stands for "Other" when it lies within 0.02 of 0.
bool IsOtherFrameRate(double preset);

}  // namespace zedadu::dialog
