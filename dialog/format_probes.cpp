#include "dialog/format_probes.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "core/host_text.h"
#include "core/text.h"
#include "dialog/compressors.h"
#include "dialog/control_ids.h"
#include "dialog/dialog_internal.h"
#include "dialog/session.h"
#include "platform/vfw/compressor.h"

namespace zedadu::dialog {
namespace {

constexpr uint32_t kNoCompressorMessage = 788;
constexpr uint32_t kNoMemoryMessage = 40;
// Room for the output format a compressor proposes: a bitmap header and 256 palette entries.
constexpr size_t kScratchSize = 1064;
constexpr float kEndOfPresets = -1.0f;

struct FrameSize {
    int32_t width, height;
};
constexpr FrameSize kCandidateSizes[] = {{720, 576}, {720, 486}, {720, 480}, {640, 480},
                                         {320, 240}, {240, 240}, {240, 176}, {176, 144},
                                         {160, 120}, {160, 112}};

struct DepthEntry {
    uint32_t depth;
    const char* text;
    const char* formatId;
};
constexpr DepthEntry kDepths[] = {{32, "32 Bit Color Depth", FORMAT_ID_RGB32},
                                  {24, "24 Bit Color Depth", FORMAT_ID_RGB24},
                                  {16, "16 Bit Color Depth", FORMAT_ID_RGB16}};

struct FreeDeleter {
    void operator()(void* memory) const { free(memory); }
};
using Scratch = std::unique_ptr<uint8_t, FreeDeleter>;

// Rows padded to four bytes.
void SetProbeImage(BITMAPINFOHEADER& header, WORD bitCount, LONG width, LONG height) {
    header.biBitCount = bitCount;
    header.biWidth = width;
    header.biHeight = height;
    const DWORD rowBytes = ((DWORD(bitCount) * DWORD(width) + 31) / 8) & ~DWORD{3};
    header.biSizeImage = rowBytes * DWORD(height);
}

BITMAPINFOHEADER ProbeHeader() {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    SetProbeImage(header, 24, 120, 160);
    return header;
}

// The compressor a probe asks, opened for compression; message 788 when it cannot be opened.
vfw::Compressor OpenForProbe(FOURCC handler) {
    vfw::Compressor compressor(handler, ICMODE_COMPRESS);
    if (!compressor) {
        ShowHostMessage(kNoCompressorMessage, kCautionTextId, kMessageOk);
    }
    return compressor;
}

// The area that receives the formats a compressor proposes; message 40 when it cannot be had.
Scratch AllocateScratch() {
    Scratch scratch(static_cast<uint8_t*>(malloc(kScratchSize)));
    if (!scratch) {
        ShowHostMessage(kNoMemoryMessage, kCautionTextId, kMessageOk);
    }
    return scratch;
}

// What the uncompressed entry accepts.
void MarkUncompressedDepths(const uint32_t* depths, uint32_t* marks) {
    for (size_t i = 0; depths[i] != 0; ++i) {
        const uint32_t d = depths[i];
        marks[i] = d == 24 || d == 32 || d == 16 || d == 8 ? 1 : 0;
    }
}

bool Within(double value, double low, double high) {
    return low <= value && value < high;
}

std::string FrameRateText(float preset) {
    if (Within(preset - 29.97, -0.2, 0.2)) {
        return "NTSC";
    }
    if (Within(preset - 25.0, -0.02, 0.02)) {
        return "PAL";
    }
    if (Within(preset - 24.0, -0.02, 0.02)) {
        return "Film";
    }
    if (IsOtherFrameRate(preset)) {
        return "Other";
    }
    char text[64];
    snprintf(text, sizeof text, "%.6f", preset);
    return text;
}

void FillColorDepthList(HWND dialog, SettingsDialogSession& session, const uint32_t* marks) {
    SendDlgItemMessageA(dialog, kColorDepthList, CB_RESETCONTENT, 0, 0);
    int entries = 0;
    int selected = 0;
    for (size_t i = 0; i < std::size(kDepths); ++i) {
        if (!marks[i]) {
            continue;
        }
        SendDlgItemMessageA(dialog, kColorDepthList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(kDepths[i].text));
        if (SameText(session.videoFormat.formatId, kDepths[i].formatId)) {
            selected = entries;
        }
        session.formats.colorDepths[entries++] = kDepths[i].depth;
    }
    SendDlgItemMessageA(dialog, kColorDepthList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The first preset within 0.1 of the rate, else "Other", else the first entry.
int PresetFor(const float* presets, double rate) {
    int other = -1;
    for (int k = 0; presets[k] != kEndOfPresets; ++k) {
        if (Within(presets[k] - rate, -0.1, 0.1)) {
            return k;
        }
        if (other < 0 && presets[k] == 0.0f) {
            other = k;
        }
    }
    return other >= 0 ? other : 0;
}

void FillFrameRateList(HWND dialog, const SettingsDialogSession& session) {
    const float* presets = session.formats.frameRatePresets;
    SendDlgItemMessageA(dialog, kFrameRateList, CB_RESETCONTENT, 0, 0);
    for (int k = 0; presets[k] != kEndOfPresets; ++k) {
        const std::string text = FrameRateText(presets[k]);
        SendDlgItemMessageA(dialog, kFrameRateList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(text.c_str()));
    }
    const double rate = FrameRateOf(session.videoFormat);
    const int selected = PresetFor(presets, rate);
    SendDlgItemMessageA(dialog, kFrameRateList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    const bool custom = IsOtherFrameRate(presets[selected]);
    char text[64] = "";
    if (custom) {
        snprintf(text, sizeof text, "%.6f", rate);
    }
    EnableWindow(GetDlgItem(dialog, kFrameRateEdit), custom);
    SetDlgItemTextA(dialog, kFrameRateEdit, text);
}

// The first listed pair of the working copy's size, else "Other", else the first entry.
int FrameSizeFor(const FormatLists& formats, int32_t width, int32_t height) {
    const int32_t* widths = formats.frameSizeWidths;
    const int32_t* heights = formats.frameSizeHeights;
    int other = -1;
    for (int j = 0; widths[j] != -1; ++j) {
        if (widths[j] == width && heights[j] == height) {
            return j;
        }
        if (other < 0 && widths[j] == 0 && heights[j] == 0) {
            other = j;
        }
    }
    return other >= 0 ? other : 0;
}

void EnableCustomSize(HWND dialog, bool enable) {
    for (const int id : {kWidthEdit, kWidthUpDown, kHeightEdit, kHeightUpDown}) {
        EnableWindow(GetDlgItem(dialog, id), enable);
    }
}

void FillFrameSizeList(HWND dialog, const SettingsDialogSession& session) {
    const int32_t* widths = session.formats.frameSizeWidths;
    const int32_t* heights = session.formats.frameSizeHeights;
    SendDlgItemMessageA(dialog, kFrameSizeList, CB_RESETCONTENT, 0, 0);
    for (int j = 0; widths[j] != -1; ++j) {
        char text[64] = "Other";
        if (widths[j] != 0 && heights[j] != 0) {
            snprintf(text, sizeof text, "%i X %i", widths[j], heights[j]);
        }
        SendDlgItemMessageA(dialog, kFrameSizeList, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(text));
    }
    const int32_t width = session.videoFormat.width;
    const int32_t height = session.videoFormat.height;
    const int selected = FrameSizeFor(session.formats, width, height);
    SendDlgItemMessageA(dialog, kFrameSizeList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    // An empty table (the probe failed) counts as a listed size.
    const bool custom = widths[selected] == 0 && heights[selected] == 0;
    EnableCustomSize(dialog, custom);
    if (custom) {
        SetDlgItemInt(dialog, kWidthEdit, static_cast<UINT>(width), TRUE);
        SetDlgItemInt(dialog, kHeightEdit, static_cast<UINT>(height), TRUE);
    } else {
        SetDlgItemTextA(dialog, kWidthEdit, "");
        SetDlgItemTextA(dialog, kHeightEdit, "");
    }
}

}  // namespace

bool IsOtherFrameRate(double preset) {
    return Within(preset, -0.02, 0.02);
}

int ProbeColorDepths(const uint32_t* depths, uint32_t* marks, const CompressionSettings& block) {
    if (block.fccHandler == kUncompressedHandler) {
        MarkUncompressedDepths(depths, marks);
        return 1;
    }
    const vfw::Compressor compressor = OpenForProbe(block.fccHandler);
    if (!compressor) {
        return 0;
    }
    BITMAPINFOHEADER header = ProbeHeader();
    const Scratch proposed = AllocateScratch();
    if (!proposed) {
        return 0;
    }
    bool any = false;
    for (size_t i = 0; depths[i] != 0; ++i) {
        SetProbeImage(header, static_cast<WORD>(depths[i]), header.biWidth, header.biHeight);
        // A compressor that proposes no output format is still taken to accept 24 bits.
        if (compressor.send(ICM_COMPRESS_GET_FORMAT, &header, proposed.get()) == ICERR_OK) {
            marks[i] = compressor.send(ICM_COMPRESS_QUERY, &header, proposed.get()) == ICERR_OK;
        } else {
            marks[i] = depths[i] == 24 ? 1 : 0;
        }
        any = any || marks[i] != 0;
    }
    if (!any) {
        MarkUncompressedDepths(depths, marks);
    }
    return 1;
}

int ProbeFrameSizes(int32_t* widths, int32_t* heights, const CompressionSettings& block) {
    // The uncompressed entry has no compressor to ask: it takes every size.
    vfw::Compressor compressor;
    if (block.fccHandler != kUncompressedHandler) {
        compressor = OpenForProbe(block.fccHandler);
        if (!compressor) {
            return 0;
        }
    }
    BITMAPINFOHEADER header = ProbeHeader();
    const Scratch scratch = AllocateScratch();
    if (!scratch) {
        return 0;
    }
    if (compressor) {
        compressor.send(ICM_SETQUALITY, block.quality);
    }
    int listed = 0;
    for (const FrameSize& size : kCandidateSizes) {
        SetProbeImage(header, 24, size.width, size.height);
        if (compressor && compressor.send(ICM_COMPRESS_QUERY, &header) == ICERR_BADFORMAT) {
            continue;
        }
        widths[listed] = size.width;
        heights[listed++] = size.height;
    }
    widths[listed] = heights[listed] = 0;
    ++listed;
    widths[listed] = heights[listed] = -1;
    return 1;
}

int FillFrameRatePresets(float* presets) {
    constexpr float kPresets[] = {
        std::bit_cast<float>(0x41EFC29Du), 25.0f, 15.0f, 7.0f, 0.0f, kEndOfPresets};
    std::copy(std::begin(kPresets), std::end(kPresets), presets);
    return 1;
}

void RefreshFormatFields(HWND dialog, SettingsDialogSession& session) {
    FormatLists& formats = session.formats;
    const CompressionSettings& block = *session.settingsBlock;
    std::fill(std::begin(formats.colorDepths), std::end(formats.colorDepths), kEmptyColorDepth);
    const uint32_t depths[] = {kDepths[0].depth, kDepths[1].depth, kDepths[2].depth, 0};
    uint32_t marks[std::size(kDepths)] = {};
    ProbeColorDepths(depths, marks, block);
    FillFrameRatePresets(formats.frameRatePresets);
    formats.frameSizeWidths[0] = formats.frameSizeHeights[0] = -1;
    ProbeFrameSizes(formats.frameSizeWidths, formats.frameSizeHeights, block);
    FillColorDepthList(dialog, session, marks);
    FillFrameRateList(dialog, session);
    for (const int id : {kWidthUpDown, kHeightUpDown}) {
        SendDlgItemMessageA(dialog, id, UDM_SETRANGE, 0, MAKELPARAM(32000, 0));
    }
    FillFrameSizeList(dialog, session);
}

}  // namespace zedadu::dialog
