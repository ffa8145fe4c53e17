// Making an AVI file that was cut short (a recording killed, a disk that filled) whole: the plan
// is found first, from the file's header list and a walk of its movie lists, and only then
// carried out. It keeps every complete chunk, drops a partial one at the end, appends the index
// (the standard indexes of every part where the file is in the OpenDML form, and "idx1" where its
// first part is its last) and rewrites the counts and sizes of the headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zedadu::host {

struct BytePatch {
    uint64_t position;
    std::vector<uint8_t> bytes;
};

struct RepairPlan {
    bool openDml = false;
    bool whole = false;  // nothing to repair: the file has its index and ends where it should
    uint32_t parts = 1;
    uint32_t frames = 0;
    uint64_t sampleFrames = 0;
    bool keyFramesKnown = true;      // else only the first frame is marked as a key frame
    uint64_t keep = 0;               // the bytes kept from the start of the file
    uint64_t dropped = 0;            // the partial tail behind them
    uint32_t restoredHeaders = 0;    // damaged chunk headers written back from the index
    uint32_t resizedChunks = 0;      // chunks whose size was damaged, now reaching the next one
    uint64_t paddedBytes = 0;        // damaged stretches that became padding
    uint64_t shortenedTail = 0;      // bytes kept of the chunk the file ended in
    std::vector<uint8_t> append;     // written behind the kept bytes
    std::vector<BytePatch> patches;  // header fields and sizes within the kept bytes
};

// The plan for the file, or the reason it cannot be repaired ("no header list", ...).
struct RepairVerdict {
    std::optional<RepairPlan> plan;
    std::string refusal;
};
RepairVerdict PlanRepair(const std::string& path);

// Carries the plan out on `path` itself (truncating the tail, appending, then patching), or on a
// copy at `out`. Throws HostError.
void CarryOutRepair(const std::string& path, const RepairPlan& plan, const std::string& out);

}  // namespace zedadu::host
