#pragma once

#include <cstdint>

namespace zedadu::hostlib {

// The host's question before an existing file is replaced ("%1" stands for its name).
inline constexpr uint32_t kReplaceFileString = 63;

// The built-in text of a host string id; empty for an unknown id.
const char* BuiltInString(uint32_t id);

}  // namespace zedadu::hostlib
