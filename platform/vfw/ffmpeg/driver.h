// The driver procedure behind every built-in handler code. It learns its handler code from the
// ICOPEN of DRV_OPEN: compressor codes open in every mode, codes libavcodec only decodes open for
// decompression and queries.
#pragma once

#include "platform/vfw/vfw.h"

namespace zedadu::vfw::ffmpeg {

LRESULT DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM argument1,
                   LPARAM argument2);

}  // namespace zedadu::vfw::ffmpeg
