#pragma once

#include <cstdint>

namespace zedadu::hostlib {

// The built-in text of a host string id; empty for an unknown id.
const char* BuiltInString(uint32_t id);

}  // namespace zedadu::hostlib
