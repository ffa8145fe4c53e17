// The compressors that ship with the platform layer, as driver procedures.
#pragma once

#include <span>
#include <string>

#include "platform/vfw/vfw.h"

namespace zedadu::vfw {

struct BuiltInCompressor {
    FOURCC handler;  // as the driver list presents it
    DRIVERPROC proc;
    std::string driver;  // the driver's name: the value of its key in the driver list
};

// In the order of the driver list. A handler code may appear once only.
std::span<const BuiltInCompressor> BuiltInCompressors();

// The driver for a handler code the list does not name but a built-in driver decodes (another
// code of a listed codec, such as "DIVX" or "YUY2"); null when there is none.
DRIVERPROC FindBuiltInAlias(FOURCC handler);

}  // namespace zedadu::vfw
