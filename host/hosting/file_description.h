// What a reading file contains, in words: the report of `info` and of the demonstration.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"
#include "host/cli/report.h"

namespace zedadu::host {

// The file's last-write time, "2024-05-01 12:34:56 UTC".
std::string FileTimeText(const uint32_t fileTime[2]);
// Seconds of video (frames over the rate) or of audio.
double VideoSeconds(const ReadingFileInfo& info);
double AudioSeconds(const ReadingFileInfo& info);

void DescribeFile(Section& section, const ReadingFileInfo& info);

}  // namespace zedadu::host
