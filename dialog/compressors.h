// The installed video compressors as the settings dialog offers them, and the operations that
// reach one compressor's configuration box, about box and private state.
#pragma once

#include "avi/ids.h"
#include "core/records.h"
#include "platform/vfw/vfw.h"

namespace zedadu::dialog {

inline constexpr int kCompressorCapacity = 100;  // the uncompressed entry included
using avi::kUncompressedHandler;

// Entry i is also position i of the dialog's compressor list. Rebuilt each time the dialog's
// video part opens; the uncompressed entry is always the last.
struct CompressorList {
    int32_t compressorCount;
    FOURCC handlerCodes[kCompressorCapacity];
    ICINFO infos[kCompressorCapacity];
};

// The owner window of the query forms: the compressor shows nothing and replies ICERR_OK when it
// has such a box.
inline HWND const kQueryBox = reinterpret_cast<HWND>(ICQUERYBOX);

// Rebuilds the list from the "drivers" and "drivers32" sections of "system.ini"; always 1.
int EnumerateCompressors(CompressorList& list);
// 1 with the record filled, 0 when the compressor cannot be opened for compression.
int GetCompressorInfo(FOURCC handler, ICINFO* info);
// Restores the block's state into the compressor, asks for its configuration box and captures
// the state back, exchanging the block for a larger one when the state has grown. Returns the
// reply to ICM_CONFIGURE; -1 when the compressor cannot be opened; 0 when a larger block cannot
// be allocated.
LRESULT ConfigureCompressor(HWND owner, CompressionSettings** block);
// The reply to ICM_ABOUT; -1 when the compressor cannot be opened.
LRESULT ShowCompressorAbout(HWND owner, FOURCC handler);

}  // namespace zedadu::dialog
