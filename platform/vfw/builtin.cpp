#include "platform/vfw/builtin.h"

namespace zedadu::vfw {

std::span<const BuiltInCompressor> BuiltInCompressors() { return {}; }

}  // namespace zedadu::vfw
