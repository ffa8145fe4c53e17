#include "reader/movie_walk.h"

#include "frame/avi_ids.h"
#include "reader/file_bytes.h"

namespace zedadu::reader {
namespace {

constexpr FOURCC kRiff = FourCC("RIFF");
constexpr FOURCC kExtendedForm = FourCC("AVIX");

bool SteppedInto(const MMCKINFO64& chunk) {
    if (chunk.ckid == kRiff) {
        return chunk.fccType == avi::kAviForm || chunk.fccType == kExtendedForm;
    }
    return chunk.ckid == avi::kListChunk &&
           (chunk.fccType == avi::kMovieList || chunk.fccType == avi::kRecordList);
}

bool IsList(const MMCKINFO64& chunk) {
    return chunk.ckid == kRiff || chunk.ckid == avi::kListChunk;
}

}  // namespace

void WalkMovieLists(HMMIO file, uint64_t fileSize, uint64_t from,
                    const std::function<bool(const WalkedChunk&)>& visit) {
    if (from > fileSize || mmioSeek(file, int64_t(from), SEEK_SET) < 0) {
        return;
    }
    MMCKINFO64 chunk{};
    while (mmioDescend64(file, &chunk, nullptr, 0) == MMSYSERR_NOERROR) {
        if (!PrintableCode(chunk.ckid) || (IsList(chunk) && !PrintableCode(chunk.fccType))) {
            return;
        }
        if (SteppedInto(chunk)) {
            continue;  // the descent left the position behind the list's type
        }
        // Compared by subtraction: the data starts within the file.
        if (chunk.cksize > fileSize - chunk.dwDataOffset) {
            return;
        }
        const int stream = IsList(chunk) ? -1 : TwoDigitStream(chunk.ckid);
        if (stream >= 0 && !visit({chunk.ckid, stream, chunk.dwDataOffset, chunk.cksize})) {
            return;
        }
        mmioAscend64(file, &chunk, 0);
    }
}

}  // namespace zedadu::reader
