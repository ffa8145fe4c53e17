// The RIFF walk of a file opened for reading: header list, stream lists, movie list, and the index
// the file is read by (its OpenDML index, its legacy index, or one rebuilt from its movie lists).
// Every size the file states is checked against what the file really holds before it is used to
// size anything.
#include <algorithm>
#include <cstring>
#include <vector>

#include <limits>
#include <optional>

#include "avi/chunk_cursor.h"
#include "avi/ids.h"
#include "reader/bitmap.h"
#include "reader/file_bytes.h"
#include "reader/internal.h"
#include "reader/opendml_index.h"
#include "reader/rebuilt_index.h"

namespace zedadu::reader {
namespace {

using namespace avi;

constexpr int kNoStream = -1000;               // no chunk id gives this stream number
constexpr uint64_t kLargestRead = 0x7FFFFFFF;  // what one read can ask for
constexpr size_t kEntriesChecked = 5;
constexpr uint64_t kMaxAudioFormatBytes = 4096;  // an audio format with the codec's setup bytes

// What an index says of one stream's chunks, gathered chunk by chunk in index order: the largest
// chunk (clamped to the file) and the widest step between consecutive chunks.
struct StreamMeasure {
    int32_t largest = 0;
    int64_t widestStep = 0;
    std::optional<uint64_t> previous;

    void add(uint64_t position, int32_t clampedSize) {
        if (previous) {
            widestStep = std::max(widestStep, int64_t(position) - int64_t(*previous));
        }
        previous = position;
        largest = std::max(largest, clampedSize);
    }
};

struct ParseState {
    ParseState(ReadingFile& parsed, HMMIO opened) : reading(parsed), file(opened) {}

    ReadingFile& reading;
    HMMIO file;
    uint64_t fileSize = 0;
    MMCKINFO riff{};
    bool riffSizeBelieved = true;  // neither 0 nor running past the end of the file
    MMCKINFO headerList{};
    uint32_t movieData = 0;  // the file position of the movie list's type
    uint32_t movieSize = 0;
    int videoStream = kNoStream;
    int audioStream = kNoStream;
    std::optional<SuperIndexChunk> videoSuperIndex;
    std::optional<SuperIndexChunk> audioSuperIndex;
    int64_t indexData = 0;  // the file position of the first idx1 entry
    size_t indexEntries = 0;
    bool indexCutShort = false;  // the file ends inside 'idx1'
    StreamMeasure video;
    StreamMeasure audio;
    int32_t largestChunk = 0;  // of any stream the legacy index lists
};

bool Descend(HMMIO file, MMCKINFO& chunk, const MMCKINFO* parent, FOURCC code, UINT flags) {
    chunk = {};
    if (flags == MMIO_FINDCHUNK) {
        chunk.ckid = code;
    } else {
        chunk.fccType = code;
    }
    return mmioDescend(file, &chunk, parent, flags) == MMSYSERR_NOERROR;
}

bool Ascend(HMMIO file, MMCKINFO& chunk) {
    return mmioAscend(file, &chunk, 0) == MMSYSERR_NOERROR;
}

// Reads min(chunk size, capacity) bytes of chunk data; a shorter read fails. Bytes beyond what
// the chunk holds stay as they were (zero).
bool ReadChunkPrefix(HMMIO file, const MMCKINFO& chunk, uint8_t* out, size_t capacity) {
    const LONG count = LONG(std::min<uint64_t>(chunk.cksize, capacity));
    return mmioRead(file, reinterpret_cast<char*>(out), count) == count;
}

// What a buffer for chunks of this file can usefully hold: never more than the file itself.
int32_t ClampToFile(const ParseState& state, uint64_t size) {
    return int32_t(std::min({size, state.fileSize, kLargestRead}));
}

// A recording that was never finished may have left its RIFF size 0: the form then reaches to the
// end of the file.
bool FindRiffForm(ParseState& state) {
    if (!Descend(state.file, state.riff, nullptr, kAviForm, MMIO_FINDRIFF)) {
        return false;
    }
    state.riffSizeBelieved =
        BelievedEnd(state.riff.dwDataOffset, state.riff.cksize, state.fileSize) != kUnknownEnd;
    if (state.riff.cksize == 0) {
        state.riff.cksize = DWORD(std::min<uint64_t>(state.fileSize - state.riff.dwDataOffset,
                                                     std::numeric_limits<DWORD>::max()));
    }
    return true;
}

bool ReadMainHeader(ParseState& state) {
    MMCKINFO mainHeader;
    if (!FindRiffForm(state) ||
        !Descend(state.file, state.headerList, &state.riff, kHeaderList, MMIO_FINDLIST) ||
        !Descend(state.file, mainHeader, &state.headerList, kMainHeader, MMIO_FINDCHUNK)) {
        return false;
    }
    uint8_t bytes[kMainHeaderBytes] = {};
    if (!ReadChunkPrefix(state.file, mainHeader, bytes, sizeof bytes)) {
        return false;
    }
    state.reading.frameCount = LoadU32(bytes + 16);
    return Ascend(state.file, mainHeader);
}

// Reads min(chunk size, the record's size) bytes of a format chunk into a record of a pinned
// layout; the rest of the record is zero. A shorter read fails and leaves the record alone.
template <typename Format>
bool ReadFormatChunk(HMMIO file, const MMCKINFO& chunk, Format& format) {
    uint8_t bytes[sizeof(Format)] = {};
    if (!ReadChunkPrefix(file, chunk, bytes, sizeof bytes)) {
        return false;
    }
    memcpy(&format, bytes, sizeof bytes);
    return true;
}

bool ReadVideoFormat(ParseState& state, const MMCKINFO& format, const uint8_t* header, int stream) {
    ReadingFile& reading = state.reading;
    if (!ReadFormatChunk(state.file, format, reading.streamFormat)) {
        return false;
    }
    reading.videoHandler = LoadU32(header + 4);
    reading.videoFormat.scale = LoadU32(header + 20);
    reading.videoFormat.rate = LoadU32(header + 24);
    reading.frameCount = LoadU32(header + 32);
    state.videoStream = stream;
    return true;
}

// The whole audio format, for a decoder's setup bytes: as much of the chunk as the file holds, up
// to a bound no real format comes near. A short read takes what it got.
void ReadWholeAudioFormat(ParseState& state, const MMCKINFO& format) {
    std::vector<uint8_t>& bytes = state.reading.audioFormatBytes;
    const uint64_t available =
        state.fileSize > format.dwDataOffset ? state.fileSize - format.dwDataOffset : 0;
    bytes.resize(size_t(std::min<uint64_t>({format.cksize, available, kMaxAudioFormatBytes})));
    bytes.resize(ReadAt(state.file, format.dwDataOffset, bytes.data(), bytes.size()));
}

bool ReadAudioFormat(ParseState& state, const MMCKINFO& format, const uint8_t* header, int stream) {
    ReadingFile& reading = state.reading;
    if (!ReadFormatChunk(state.file, format, reading.waveFormat)) {
        return false;
    }
    ReadWholeAudioFormat(state, format);
    reading.audioLength = LoadU32(header + 32);
    // 16 bits x 16 bits overflows a signed int; the quotient fits.
    reading.audioFrameBytes =
        int32_t(uint32_t(reading.waveFormat.wBitsPerSample) * reading.waveFormat.nChannels / 8);
    state.audioStream = stream;
    return true;
}

// The 'indx' chunk that follows a stream's format in files of several RIFF parts.
std::optional<SuperIndexChunk> FindSuperIndex(ParseState& state, MMCKINFO& streamList) {
    MMCKINFO chunk;
    if (!Descend(state.file, chunk, &streamList, kSuperIndex, MMIO_FINDCHUNK)) {
        return std::nullopt;
    }
    const SuperIndexChunk found{chunk.dwDataOffset, chunk.cksize};
    Ascend(state.file, chunk);
    return found;
}

// One 'strl': its header says the stream type, its format is kept for video and audio streams.
// With several streams of one type the last one wins.
bool ParseStreamList(ParseState& state, MMCKINFO& streamList, int stream) {
    MMCKINFO header, format;
    uint8_t headerBytes[kStreamHeaderBytes] = {};
    if (!Descend(state.file, header, &streamList, kStreamHeader, MMIO_FINDCHUNK) ||
        !ReadChunkPrefix(state.file, header, headerBytes, sizeof headerBytes) ||
        !Ascend(state.file, header) ||
        !Descend(state.file, format, &streamList, kStreamFormat, MMIO_FINDCHUNK)) {
        return false;
    }
    const FOURCC type = LoadU32(headerBytes);
    if (type == kVideoStream && !ReadVideoFormat(state, format, headerBytes, stream)) {
        return false;
    }
    if (type == kAudioStream && !ReadAudioFormat(state, format, headerBytes, stream)) {
        return false;
    }
    if (!Ascend(state.file, format)) {
        return false;
    }
    const std::optional<SuperIndexChunk> superIndex = FindSuperIndex(state, streamList);
    if (type == kVideoStream) {
        state.videoSuperIndex = superIndex;
    }
    if (type == kAudioStream) {
        state.audioSuperIndex = superIndex;
    }
    return Ascend(state.file, streamList);
}

// Every chunk search moves forward by at least a chunk header, so the walk ends.
bool ParseStreamLists(ParseState& state) {
    MMCKINFO streamList;
    for (int stream = 0;
         Descend(state.file, streamList, &state.headerList, kStreamList, MMIO_FINDLIST); ++stream) {
        if (!ParseStreamList(state, streamList, stream)) {
            return false;
        }
    }
    // The next search starts behind the header list.
    return mmioSeek(state.file, int64_t(state.headerList.dwDataOffset) + 4, SEEK_SET) >= 0 &&
           Ascend(state.file, state.headerList);
}

bool FindMovieList(ParseState& state) {
    MMCKINFO movieList;
    if (!Descend(state.file, movieList, &state.riff, kMovieList, MMIO_FINDLIST)) {
        return false;
    }
    state.movieData = movieList.dwDataOffset;
    state.movieSize = movieList.cksize;
    return Ascend(state.file, movieList);
}

// Finds the 'idx1' chunk and counts the whole entries the file holds of it; the entries are read
// as they are used, so no buffer is ever sized by what the chunk claims. A file may have none.
bool FindLegacyIndex(ParseState& state) {
    MMCKINFO index;
    if (!Descend(state.file, index, &state.riff, kLegacyIndex, MMIO_FINDCHUNK)) {
        return false;
    }
    const uint64_t start = index.dwDataOffset;
    const uint64_t available = state.fileSize > start ? state.fileSize - start : 0;
    state.indexData = int64_t(start);
    state.indexEntries = size_t(std::min<uint64_t>(index.cksize, available) / kIndexEntryBytes);
    state.indexCutShort = index.cksize > available;
    return Ascend(state.file, index) && Ascend(state.file, state.riff);
}

// Reads up to count entries from entry first on; answers how many whole entries were read.
size_t ReadEntries(const ParseState& state, size_t first, size_t count, uint8_t* out) {
    const LONG wanted = LONG(count * kIndexEntryBytes);
    if (mmioSeek(state.file, state.indexData + int64_t(first * kIndexEntryBytes), SEEK_SET) < 0) {
        return 0;
    }
    const LONG got = mmioRead(state.file, reinterpret_cast<char*>(out), wanted);
    return got > 0 ? size_t(got) / kIndexEntryBytes : 0;
}

// An entry that cannot be read is all zeros, which no chunk header matches.
IndexEntry EntryAt(const ParseState& state, size_t i) {
    uint8_t bytes[kIndexEntryBytes] = {};
    ReadEntries(state, i, 1, bytes);
    return LoadIndexEntry(bytes);
}

// The first entry decides how offsets are counted: one that lies inside the size of the header
// list counts from the movie list's type; any other is taken to be the first chunk of the movie
// list, whatever origin the offsets use.
uint32_t RuleAdjustment(const ParseState& state) {
    const uint32_t first = EntryAt(state, 0).offset;
    if (12 < first && first < state.headerList.cksize) {
        return state.movieData + 12;
    }
    return state.movieData + 12 - first;
}

// Under this adjustment the entry's data is preceded by a chunk header of the entry's id and
// size (for a list such as 'rec ', a LIST header of that size and type).
bool ChunkHeaderMatches(HMMIO file, const IndexEntry& entry, uint32_t adjustment) {
    const uint32_t data = entry.offset + adjustment;
    uint8_t header[12];
    if (data < 8 || mmioSeek(file, int64_t(data) - 8, SEEK_SET) < 0) {
        return false;
    }
    const LONG got = mmioRead(file, reinterpret_cast<char*>(header), sizeof header);
    if (got < 8 || LoadU32(header + 4) != entry.size) {
        return false;
    }
    return LoadU32(header) == entry.chunkId ||
           (LoadU32(header) == kListChunk && got == 12 && LoadU32(header + 8) == entry.chunkId);
}

// The first entry, the last and a few spread between them.
bool CheckedEntriesMatch(const ParseState& state, uint32_t adjustment) {
    const size_t last = state.indexEntries - 1;
    for (size_t k = 0; k < kEntriesChecked; ++k) {
        const size_t i = last * k / (kEntriesChecked - 1);
        if (!ChunkHeaderMatches(state.file, EntryAt(state, i), adjustment)) {
            return false;
        }
    }
    return true;
}

// Writers may put chunks without index entries (JUNK, reserved slots, lists) ahead of the first
// indexed chunk, which the first-entry rule misplaces. The rule's choice stands when the file
// confirms it; otherwise offsets from the movie list's type, then absolute positions, are tried,
// and when the file confirms none of them the rule's choice stands after all.
uint32_t ChooseIndexAdjustment(const ParseState& state) {
    const uint32_t rule = RuleAdjustment(state);
    const uint32_t candidates[] = {rule, state.movieData + 8, 8};
    for (uint32_t adjustment : candidates) {
        if (CheckedEntriesMatch(state, adjustment)) {
            return adjustment;
        }
    }
    return rule;
}

int StreamOf(FOURCC chunkId) {
    return int((chunkId >> 8) & 0xFF) - '0';
}

// The index is read in blocks and split as it comes, in one pass that also measures each stream's
// chunks. Both arrays are reserved for every entry up front, so appending cannot fail: memory that
// is reserved but never written costs nothing, and a long index is never copied as it grows. A
// short read ends the index at the last whole entry read.
void SplitIndex(ParseState& state, uint32_t adjustment) {
    constexpr size_t kBlockEntries = 4096;
    StreamIndex& index = state.reading.index;
    std::vector<IndexEntry>& audio = index.audio;
    std::vector<IndexEntry>& video = index.video;
    audio.reserve(state.indexEntries);
    video.reserve(state.indexEntries);
    std::vector<uint8_t> block(kBlockEntries * kIndexEntryBytes);
    for (size_t first = 0; first < state.indexEntries; first += kBlockEntries) {
        const size_t wanted = std::min(kBlockEntries, state.indexEntries - first);
        const size_t got = ReadEntries(state, first, wanted, block.data());
        for (size_t i = 0; i < got; ++i) {
            IndexEntry entry = LoadIndexEntry(block.data() + i * kIndexEntryBytes);
            entry.offset += adjustment;  // modulo 2^32, as the file's offsets wrap
            const int32_t size = ClampToFile(state, entry.size);
            const int stream = StreamOf(entry.chunkId);
            if (stream == state.audioStream) {
                audio.push_back(entry);
                state.audio.add(entry.offset, size);
            }
            if (stream == state.videoStream) {
                video.push_back(entry);
                state.video.add(entry.offset, size);
            }
            state.largestChunk = std::max(state.largestChunk, size);
        }
        if (got < wanted) {
            break;
        }
    }
}

void StoreLimits(ParseState& state) {
    StreamIndex& index = state.reading.index;
    index.maxAudioChunk = state.audio.largest;
    index.maxVideoChunk = state.video.largest;
    const uint64_t both = uint64_t(state.video.largest) + uint64_t(state.audio.largest);
    index.readSpan = std::max(
        {state.largestChunk, state.video.largest, state.audio.largest, ClampToFile(state, both)});
    // With four video chunks or more, one read may span the largest gap between two of them.
    if (index.video.size() >= 4) {
        index.readSpan =
            std::max(index.readSpan, ClampToFile(state, uint64_t(state.video.widestStep)));
    }
}

StreamMeasure Measure(const ParseState& state, const std::vector<IndexEntry>& entries,
                      const std::vector<uint32_t>& positionHigh) {
    StreamMeasure measure;
    for (size_t i = 0; i < entries.size(); ++i) {
        const ChunkPlace place = PlaceOf(entries, positionHigh, i);
        measure.add(uint64_t(place.position), ClampToFile(state, place.size));
    }
    return measure;
}

// Takes a stream's chunks from another index than the legacy one.
void Adopt(ParseState& state, Stream stream, ChunkList&& chunks) {
    StreamIndex& index = state.reading.index;
    const bool video = stream == Stream::Video;
    std::vector<IndexEntry>& entries = video ? index.video : index.audio;
    std::vector<uint32_t>& positionHigh = video ? index.videoPositionHigh : index.audioPositionHigh;
    entries = std::move(chunks.entries);
    positionHigh = std::move(chunks.positionHigh);
    (video ? state.video : state.audio) = Measure(state, entries, positionHigh);
}

// A stream's OpenDML index, when its stream list carries one that reads whole and the file
// confirms it.
std::optional<ChunkList> ConfirmedOpenDmlIndex(const ParseState& state,
                                               const std::optional<SuperIndexChunk>& superIndex,
                                               int stream) {
    ChunkList chunks;
    if (!superIndex || stream == kNoStream ||
        !LoadOpenDmlIndex(state.file, state.fileSize, *superIndex, stream, chunks) ||
        !FileConfirms(state.file, chunks, stream)) {
        return std::nullopt;
    }
    return chunks;
}

WalkStart FirstMovieChunk(const ParseState& state) {
    return {uint64_t(state.movieData) + 4, true,
            BelievedEnd(state.movieData, state.movieSize, state.fileSize)};
}

// The audio a rebuilt index holds is the audio the stream has.
void RebuildFromMovieLists(ParseState& state) {
    ReadingFile& reading = state.reading;
    RebuiltIndex rebuilt = RebuildIndex(state.file, state.fileSize, FirstMovieChunk(state),
                                        {state.videoStream, state.audioStream});
    Adopt(state, Stream::Video, std::move(rebuilt.video));
    Adopt(state, Stream::Audio, std::move(rebuilt.audio));
    state.largestChunk = 0;
    reading.index.rebuilt = true;
    if (reading.audioFrameBytes > 0) {
        uint64_t frames = 0;
        for (const IndexEntry& entry : reading.index.audio) {
            frames += entry.size / uint32_t(reading.audioFrameBytes);
        }
        reading.audioLength = uint32_t(std::min<uint64_t>(frames, UINT32_MAX));
    }
}

bool ContinuedInParts(const ParseState& state) {
    const avi::RiffFileBytes bytes(state.file, state.fileSize);
    return avi::ContinuedInParts(bytes, uint64_t(state.riff.dwDataOffset) + state.riff.cksize);
}

// A complete legacy index in a file whose sizes hold is the file's index, even when more bytes
// follow (another file appended, say). A file that lost its index or had it cut short, whose RIFF
// or movie list size is 0 (a recording never finished) or runs past its end (a file cut short),
// or that goes on in 'AVIX' parts that no confirmed OpenDML index covers, is read by walking its
// movie lists.
bool LegacyIndexStands(const ParseState& state, bool found) {
    const bool movieSizeBelieved =
        BelievedEnd(state.movieData, state.movieSize, state.fileSize) != kUnknownEnd;
    return found && !state.indexCutShort && state.riffSizeBelieved && movieSizeBelieved &&
           !ContinuedInParts(state);
}

// Per stream the OpenDML index when the file confirms it, else the legacy index when it stands,
// else one rebuilt from the movie lists.
void LoadIndex(ParseState& state) {
    const bool legacy = FindLegacyIndex(state);
    std::optional<ChunkList> video =
        ConfirmedOpenDmlIndex(state, state.videoSuperIndex, state.videoStream);
    std::optional<ChunkList> audio =
        ConfirmedOpenDmlIndex(state, state.audioSuperIndex, state.audioStream);
    const bool legacyNeeded =
        (!video && state.videoStream != kNoStream) || (!audio && state.audioStream != kNoStream);
    if (legacyNeeded && !LegacyIndexStands(state, legacy)) {
        RebuildFromMovieLists(state);
        StoreLimits(state);
        return;
    }
    if (legacyNeeded) {
        SplitIndex(state, state.indexEntries > 0 ? ChooseIndexAdjustment(state) : 0);
    }
    if (video) {
        Adopt(state, Stream::Video, std::move(*video));
    }
    if (audio) {
        Adopt(state, Stream::Audio, std::move(*audio));
    }
    StoreLimits(state);
}

bool MeasureFile(ParseState& state) {
    const int64_t size = mmioSeek(state.file, 0, SEEK_END);
    state.fileSize = uint64_t(std::max<int64_t>(size, 0));
    return size >= 0 && mmioSeek(state.file, 0, SEEK_SET) == 0;
}

}  // namespace

RiffFile OpenForReading(const char* path) {
    if (HMMIO file = mmioOpenA(path, nullptr, MMIO_READ | MMIO_DENYWRITE)) {
        return RiffFile(file);
    }
    return RiffFile(mmioOpenA(path, nullptr, MMIO_READ));
}

bool EnsureFileOpen(ReadingFile& reading) {
    if (!reading.file) {
        reading.file = OpenForReading(reading.path);
    }
    return bool(reading.file);
}

bool ParseAviFile(ReadingFile& reading) {
    RiffFile file = OpenForReading(reading.path);
    if (!file) {
        return false;
    }
    ParseState state(reading, file.get());
    if (!MeasureFile(state) || !ReadMainHeader(state) || !ParseStreamLists(state) ||
        !FindMovieList(state)) {
        return false;
    }
    LoadIndex(state);
    if (reading.index.video.size() != reading.frameCount) {
        reading.frameCount = uint32_t(reading.index.video.size());
    }
    return file.close();
}

// The format was checked with the frames: a stream without frames has had no check, and no key
// frames to find.
void FindRebuiltKeyFrames(ReadingFile& reading) {
    if (!reading.index.rebuilt || reading.index.video.empty()) {
        return;
    }
    RiffFile file = OpenForReading(reading.path);
    BitmapInfo format = reading.streamFormat;  // the decompressor is told each chunk's size
    FindKeyFrames(file.get(), reading.videoHandler, format.header, reading.index.video,
                  reading.index.videoPositionHigh);
}

}  // namespace zedadu::reader
