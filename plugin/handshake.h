#pragma once

#include "core/records.h"

namespace zedadu {

inline constexpr uint32_t kReadingCapabilities = 0x0B;
inline constexpr uint32_t kWritingCapabilities = 0x1A;

// Fills a query record of at least the record's size; refuses a smaller one untouched.
bool FillQueryRecord(PluginQueryRecord& query, uint32_t capabilities);

}  // namespace zedadu
