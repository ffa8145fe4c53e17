// Finding the chunks of a file by walking its movie lists, for files whose index is missing or
// stops before their data does.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/mmio/mmio.h"

namespace zedadu::reader {

// A chunk of a stream ("00dc", "01wb": two digits and a type) that lies whole within the file.
struct WalkedChunk {
    FOURCC id;
    int stream;
    uint64_t data;  // the file position of its data
    uint32_t size;
};

// Walks the chunks from a position on, in file order: into every RIFF part ('AVI ', 'AVIX') and
// into their movie lists and 'rec ' lists, whatever sizes those claim (a file cut short or never
// finished may claim 0 or more than it holds), past any other list and any chunk of no stream
// ('JUNK', 'idx1', 'ix00'). Calls visit for every chunk of a stream; the walk ends at the end of
// the file, at a chunk that runs past it, at an id that is no chunk id, or when visit answers
// false. Every step moves forward by a chunk header at least.
void WalkMovieLists(HMMIO file, uint64_t fileSize, uint64_t from,
                    const std::function<bool(const WalkedChunk&)>& visit);

}  // namespace zedadu::reader
