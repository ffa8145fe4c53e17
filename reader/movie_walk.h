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
    int stream;  // as the legacy index counts streams: the second digit ("01wb" and "11wb" are 1)
    uint64_t data;  // the file position of its data
    uint32_t size;
};

inline constexpr uint64_t kUnknownEnd = UINT64_MAX;

// Where a walk starts: inside a movie list, or before a RIFF part.
struct WalkStart {
    uint64_t position;
    bool insideMovieList;
    uint64_t movieListEnd = kUnknownEnd;  // when the size of that movie list is to be believed
};

// The end of a movie list whose data starts at `data`, when its size is to be believed: one that
// is 0 or runs past the end of the file (a recording never finished, a file cut short) is not.
uint64_t BelievedEnd(uint64_t data, uint32_t size, uint64_t fileSize);

// Walks the chunks in file order: into the file's first RIFF form ('AVI ') and the 'AVIX' parts
// that continue it, into the first movie list of each and into 'rec ' lists, whatever sizes the
// parts claim, past any other list and any chunk of no stream ('JUNK', 'idx1', 'ix00'). Calls
// visit for every chunk of a stream inside a movie list; chunks behind a movie list's believed end
// are outside it unless they are chunks of a stream (then the size was stale). The walk ends at the
// end of the file, at a chunk that runs past it, at an id that is no chunk id, at a RIFF form that
// is not an 'AVIX' part (another file), or when visit answers false. Every step moves forward by a
// chunk header at least.
void WalkMovieLists(HMMIO file, uint64_t fileSize, WalkStart start,
                    const std::function<bool(const WalkedChunk&)>& visit);

}  // namespace zedadu::reader
