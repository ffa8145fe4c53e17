// The compressors that ship with the platform layer, as driver procedures.
#pragma once

#include <span>

#include "platform/vfw/vfw.h"

namespace zedadu::vfw {

struct BuiltInCompressor {
    FOURCC handler;  // as the driver list presents it
    DRIVERPROC proc;
};

// In the order of the driver list. A handler code may appear once only.
std::span<const BuiltInCompressor> BuiltInCompressors();

}  // namespace zedadu::vfw
