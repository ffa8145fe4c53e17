#include "reader/movie_walk.h"

#include "avi/chunk_cursor.h"
#include "reader/file_bytes.h"

namespace zedadu::reader {
namespace {

using avi::Chunk;

bool ChunkId(const Chunk& chunk) {
    return PrintableCode(chunk.id) && (!chunk.isList() || PrintableCode(chunk.listType));
}

// Where the walk stands: inside a movie list or not, whether the RIFF part has had its one
// movie list (a second one in the same part is skipped, as readers that find the movie list by
// its type never see it), and whether it has been inside the file's first RIFF form.
struct WalkState {
    bool inMovieList;
    bool partHasMovieList;
    uint64_t movieListEnd;
    bool inFirstForm;

    // Only 'AVIX' forms continue a file: any other RIFF form behind the first one (a second
    // 'AVI ' form, another file appended) is another file, whose chunks are not this file's.
    bool EndsFile(const Chunk& chunk) const {
        return chunk.id == avi::kRiffChunk && inFirstForm && chunk.listType != avi::kExtendedForm;
    }

    // Whether the walk goes into the chunk (a list whose descent left the position behind its
    // type); leaves the state as the chunk makes it.
    bool StepsInto(const Chunk& chunk, uint64_t fileSize) {
        if (chunk.id == avi::kRiffChunk) {
            inMovieList = partHasMovieList = false;
            inFirstForm = true;
            return chunk.listType == avi::kAviForm || chunk.listType == avi::kExtendedForm;
        }
        if (chunk.id != avi::kListChunk) {
            return false;
        }
        if (chunk.listType == avi::kMovieList && !partHasMovieList) {
            inMovieList = partHasMovieList = true;
            movieListEnd = BelievedEnd(chunk.data, chunk.claimed, fileSize);
            return true;
        }
        return inMovieList && chunk.listType == avi::kRecordList;
    }

    // Leaves the movie list at its believed end, unless a chunk of a stream stands there.
    void Pass(uint64_t position, int stream) {
        if (inMovieList && position >= movieListEnd) {
            if (stream >= 0) {
                movieListEnd = kUnknownEnd;
            } else {
                inMovieList = false;
            }
        }
    }
};

}  // namespace

uint64_t BelievedEnd(uint64_t data, uint32_t size, uint64_t fileSize) {
    return avi::SizeBelieved(data, size, fileSize) ? data + size : kUnknownEnd;
}

void WalkMovieLists(HMMIO file, uint64_t fileSize, WalkStart start,
                    const std::function<bool(const WalkedChunk&)>& visit) {
    const avi::RiffFileBytes bytes(file, fileSize);
    avi::ChunkCursor cursor(bytes, start.position, fileSize);
    WalkState state{start.insideMovieList, start.insideMovieList, start.movieListEnd,
                    start.insideMovieList};
    Chunk chunk;
    while (cursor.next(chunk) && ChunkId(chunk) && !state.EndsFile(chunk)) {
        const int stream =
            chunk.isList() || TwoDigitStream(chunk.id) < 0 ? -1 : int((chunk.id >> 8) & 0xFF) - '0';
        state.Pass(chunk.header(), stream);
        if (state.StepsInto(chunk, fileSize)) {
            cursor.stepInto(chunk);
            continue;
        }
        if (!chunk.whole()) {
            return;
        }
        if (stream >= 0 && state.inMovieList &&
            !visit({chunk.id, stream, chunk.data, chunk.claimed})) {
            return;
        }
    }
}

}  // namespace zedadu::reader
