#include "reader/movie_walk.h"

#include "avi/ids.h"
#include "reader/file_bytes.h"

namespace zedadu::reader {
namespace {

bool IsList(const MMCKINFO64& chunk) {
    return chunk.ckid == avi::kRiffChunk || chunk.ckid == avi::kListChunk;
}

bool ChunkId(const MMCKINFO64& chunk) {
    return PrintableCode(chunk.ckid) && (!IsList(chunk) || PrintableCode(chunk.fccType));
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
    bool EndsFile(const MMCKINFO64& chunk) const {
        return chunk.ckid == avi::kRiffChunk && inFirstForm && chunk.fccType != avi::kExtendedForm;
    }

    // Whether the walk goes into the chunk (a list whose descent left the position behind its
    // type); leaves the state as the chunk makes it.
    bool StepsInto(const MMCKINFO64& chunk, uint64_t fileSize) {
        if (chunk.ckid == avi::kRiffChunk) {
            inMovieList = partHasMovieList = false;
            inFirstForm = true;
            return chunk.fccType == avi::kAviForm || chunk.fccType == avi::kExtendedForm;
        }
        if (chunk.ckid != avi::kListChunk) {
            return false;
        }
        if (chunk.fccType == avi::kMovieList && !partHasMovieList) {
            inMovieList = partHasMovieList = true;
            movieListEnd = BelievedEnd(chunk.dwDataOffset, chunk.cksize, fileSize);
            return true;
        }
        return inMovieList && chunk.fccType == avi::kRecordList;
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
    return size == 0 || data > fileSize || size > fileSize - data ? kUnknownEnd : data + size;
}

void WalkMovieLists(HMMIO file, uint64_t fileSize, WalkStart start,
                    const std::function<bool(const WalkedChunk&)>& visit) {
    if (start.position > fileSize || mmioSeek(file, int64_t(start.position), SEEK_SET) < 0) {
        return;
    }
    WalkState state{start.insideMovieList, start.insideMovieList, start.movieListEnd,
                    start.insideMovieList};
    MMCKINFO64 chunk{};
    while (mmioDescend64(file, &chunk, nullptr, 0) == MMSYSERR_NOERROR && ChunkId(chunk) &&
           !state.EndsFile(chunk)) {
        const int stream = IsList(chunk) || TwoDigitStream(chunk.ckid) < 0
                               ? -1
                               : int((chunk.ckid >> 8) & 0xFF) - '0';
        state.Pass(chunk.dwDataOffset - 8, stream);
        if (state.StepsInto(chunk, fileSize)) {
            continue;
        }
        // Compared by subtraction: the data starts within the file.
        if (chunk.cksize > fileSize - chunk.dwDataOffset) {
            return;
        }
        if (stream >= 0 && state.inMovieList &&
            !visit({chunk.ckid, stream, chunk.dwDataOffset, chunk.cksize})) {
            return;
        }
        mmioAscend64(file, &chunk, 0);
    }
}

}  // namespace zedadu::reader
