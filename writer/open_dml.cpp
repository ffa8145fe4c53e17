// The OpenDML form (AVI 2.0): a recording goes on past the first RIFF part in 'AVIX' parts, each
// with its own movie list. Every stream list holds a super index ('indx') naming one standard
// index ('ix00', 'ix01') per part, and the first part keeps a legacy "idx1" for readers that know
// only that. While the recording runs the super indexes name nothing and the indexes' room is
// JUNK, so that a file cut short is read by walking its movie lists; close writes them.
#include <algorithm>
#include <cstring>
#include <vector>

#include "avi/ids.h"
#include "avi/standard_index.h"
#include "platform/win32/byte_order.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using namespace avi;

constexpr FOURCC kDefaultVideoChunk = StreamChunkId(0, kCompressedVideoType);
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint64_t kPartHeaderBytes = 24;  // RIFF 'AVIX' and LIST 'movi'

bool Write(HMMIO file, uint64_t position, const void* data, size_t size) {
    return mmioSeek(file, int64_t(position), SEEK_SET) == int64_t(position) &&
           mmioWrite(file, static_cast<const char*>(data), LONG(size)) == LONG(size);
}

bool Patch32(HMMIO file, uint64_t position, uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value);
    return Write(file, position, bytes, sizeof bytes);
}

// The rooms a part needs for its indexes with some more frames, slots and entries in it.
uint64_t IndexRoomBytes(const WritingFile& writing, const MoviePart& part, uint64_t frames,
                        uint64_t slots, uint64_t entries) {
    uint64_t bytes = StandardIndexBytes(part.frames + frames);
    if (HasAudio(writing)) {
        bytes += StandardIndexBytes(part.slotCount + slots);
    }
    if (&part == &writing.parts.front()) {
        bytes += kChunkHeaderBytes +
                 kIndexEntryBytes * (part.videoEntries + entries + part.slotCount + slots);
    }
    return bytes;
}

// The first entry of each part in videoIndex and audioIndex: parts follow each other in the file,
// and entries are appended in file order.
size_t FirstVideoEntry(const WritingFile& writing, size_t part) {
    size_t first = 0;
    for (size_t p = 0; p < part; ++p) {
        first += writing.parts[p].videoEntries;
    }
    return first;
}

size_t FirstAudioEntry(const WritingFile& writing, size_t part) {
    size_t first = 0;
    for (size_t p = 0; p < part; ++p) {
        first += writing.parts[p].audioChunks;
    }
    return first;
}

uint32_t AudioFramesOf(const WritingFile& writing, size_t part) {
    const size_t first = FirstAudioEntry(writing, part);
    uint64_t bytes = 0;
    for (size_t i = first; i < first + writing.parts[part].audioChunks; ++i) {
        bytes += writing.audioIndex[i].size;
    }
    return static_cast<uint32_t>(bytes / uint32_t(std::max(writing.audioFrameBytes, 1)));
}

FOURCC FirstVideoChunkId(const WritingFile& writing) {
    for (const IndexEntry& entry : writing.videoIndex) {
        if (entry.chunkId != kRecordList) {
            return entry.chunkId;
        }
    }
    return kDefaultVideoChunk;
}

// A standard index of one part's chunks of one stream; a video chunk that the compressor did not
// mark as a key frame is marked as none.
std::vector<uint8_t> StandardIndex(const WritingFile& writing, size_t part, int stream) {
    const MoviePart& p = writing.parts[part];
    const bool video = stream == 0;
    const std::vector<IndexEntry>& entries = video ? writing.videoIndex : writing.audioIndex;
    const size_t first = video ? FirstVideoEntry(writing, part) : FirstAudioEntry(writing, part);
    const size_t count = video ? p.videoEntries : p.audioChunks;
    const uint32_t chunks = video ? p.frames : p.audioChunks;
    StandardIndexAssembler index(stream, video ? FirstVideoChunkId(writing) : kAudioChunk,
                                 p.movieData(), chunks);
    for (size_t i = first; i < first + count; ++i) {
        const IndexEntry& entry = entries[i];
        if (entry.chunkId != kRecordList) {
            index.add(p.movieData() + entry.offset + kChunkHeaderBytes, entry.size,
                      !video || (entry.flags & AVIIF_KEYFRAME));
        }
    }
    return index.bytes();
}

// A JUNK header at `at` over the rest of a room, `restBytes` with the header.
bool WriteJunkHeader(HMMIO file, uint64_t at, uint64_t restBytes) {
    uint8_t header[kChunkHeaderBytes];
    StoreU32(header, kJunk);
    StoreU32(header + 4, static_cast<uint32_t>(restBytes - kChunkHeaderBytes));
    return Write(file, at, header, sizeof header);
}

// Writes an index chunk into its room, and a JUNK chunk over what it leaves of the room.
bool WriteIntoRoom(HMMIO file, uint64_t room, uint64_t roomBytes,
                   const std::vector<uint8_t>& chunk) {
    if (!Write(file, room, chunk.data(), chunk.size())) {
        return false;
    }
    if (roomBytes == chunk.size()) {
        return true;
    }
    return WriteJunkHeader(file, room + chunk.size(), roomBytes - chunk.size());
}

uint64_t LegacyIndexBytes(const MoviePart& first) {
    return kChunkHeaderBytes + kIndexEntryBytes * (first.videoEntries + first.audioChunks);
}

// The first part's idx1: its header, then its entries merged in file order.
bool WriteLegacyIndex(WritingFile& writing, uint64_t position) {
    const MoviePart& first = writing.parts.front();
    const uint32_t header[2] = {kLegacyIndex,
                                static_cast<uint32_t>(LegacyIndexBytes(first) - kChunkHeaderBytes)};
    return Write(writing.file.get(), position, header, sizeof header) &&
           WriteMergedEntries(writing, first.videoEntries, first.audioChunks);
}

// The bytes that end a part and begin the next: the rooms of the part's indexes as JUNK (inside
// its movie list, and the first part's idx1 behind it), then RIFF 'AVIX' with its movie list
// and, for padded records, a filler that puts the next record's first chunk where it would lie
// in the first part.
std::vector<uint8_t> PartBoundary(const WritingFile& writing, MoviePart& part, MoviePart& next) {
    const uint64_t videoRoom = StandardIndexBytes(part.frames);
    const uint64_t audioRoom = HasAudio(writing) ? StandardIndexBytes(part.slotCount) : 0;
    const bool first = writing.parts.size() == 1;
    const uint64_t legacyRoom =
        first ? kChunkHeaderBytes + kIndexEntryBytes * (part.videoEntries + part.slotCount) : 0;
    const RecordLayout& layout = writing.layout;
    std::vector<uint8_t> bytes(size_t(videoRoom + audioRoom + legacyRoom + kPartHeaderBytes) +
                               layout.padding + 8);
    RecordAssembler out(bytes.data(), bytes.size());
    part.videoRoom = writing.movieEnd;
    AppendJunk(out, static_cast<uint32_t>(videoRoom));
    part.audioRoom = audioRoom ? writing.movieEnd + out.size() : 0;
    if (audioRoom) {
        AppendJunk(out, static_cast<uint32_t>(audioRoom));
    }
    part.legacyRoom = first ? writing.movieEnd + out.size() : 0;
    if (first) {
        AppendJunk(out, static_cast<uint32_t>(legacyRoom));
    }
    part.end = writing.movieEnd + out.size();
    next.riff = part.end;
    next.movieList = next.riff + 12;
    out.u32(kRiffChunk);
    out.u32(0);  // sizes of the last part are set at close; 0 reads as "to the end of the file"
    out.u32(kExtendedForm);
    out.u32(kListChunk);
    out.u32(0);
    out.u32(kMovieList);
    if (layout.padded()) {
        // Behind the filler comes the next record's LIST header, then its first chunk.
        AppendJunk(out, layout.fillerToFirstChunk(writing.movieEnd + out.size() + 12));
    }
    bytes.resize(out.size());
    return bytes;
}

// Ends the last part and begins the next one at the end of the movie data.
bool StartNextPart(WritingFile& writing) {
    if (writing.parts.size() >= kSuperIndexEntries) {
        return false;  // the super indexes have no room for another part
    }
    MoviePart next;
    MoviePart part = writing.parts.back();
    const std::vector<uint8_t> bytes = PartBoundary(writing, part, next);
    HMMIO file = writing.file.get();
    if (!Write(file, writing.movieEnd, bytes.data(), bytes.size())) {
        return false;
    }
    const uint64_t movieEnd = part.legacyRoom ? part.legacyRoom : part.end;
    Patch32(file, part.movieList + 4, static_cast<uint32_t>(movieEnd - part.movieData()));
    Patch32(file, part.riff + 4, static_cast<uint32_t>(part.end - part.riff - 8));
    writing.parts.back() = part;
    writing.parts.push_back(next);
    writing.movieEnd += bytes.size();
    return true;
}

}  // namespace

void BeginFirstPart(WritingFile& writing) {
    writing.parts.assign(1, MoviePart{});
    writing.parts.front().movieList = writing.layout.movieListAt;
}

bool MakeRoomForRecord(WritingFile& writing, uint64_t recordBytes, size_t entries) {
    const MoviePart& part = writing.parts.back();
    const uint64_t slots = HasAudio(writing) ? 1 : 0;
    const uint64_t end =
        writing.movieEnd + recordBytes + IndexRoomBytes(writing, part, 1, slots, entries);
    if (part.frames == 0 || end - part.riff <= Switches().openDmlPartBytes) {
        return true;
    }
    return StartNextPart(writing);
}

void CountRecord(WritingFile& writing, size_t entries, bool slot) {
    MoviePart& part = writing.parts.back();
    ++part.frames;
    part.slotCount += slot ? 1 : 0;
    part.videoEntries += entries;
}

void CountOpeningRecord(WritingFile& writing, size_t entries) {
    MoviePart& part = writing.parts.back();
    ++part.slotCount;
    part.videoEntries += entries;
}

MoviePart& PartHolding(WritingFile& writing, uint64_t position) {
    for (size_t p = writing.parts.size(); p-- > 1;) {
        if (position >= writing.parts[p].riff) {
            return writing.parts[p];
        }
    }
    return writing.parts.front();
}

void AppendSuperIndex(const WritingFile& writing, RecordAssembler& out, int stream, bool indexed) {
    const size_t start = out.size();
    out.u32(kSuperIndex);
    out.u32(static_cast<uint32_t>(kSuperIndexBytes));
    out.u32(4 | uint32_t(kIndexOfIndexes) << 24);  // four longs an entry, an index of indexes
    const size_t named = indexed ? writing.parts.size() : 0;
    out.u32(static_cast<uint32_t>(named));
    out.u32(stream == 0 ? FirstVideoChunkId(writing) : kAudioChunk);
    out.zeros(12);
    for (size_t p = 0; p < named; ++p) {
        const MoviePart& part = writing.parts[p];
        const bool video = stream == 0;
        const uint64_t position = video ? part.videoRoom : part.audioRoom;
        out.u32(static_cast<uint32_t>(position));
        out.u32(static_cast<uint32_t>(position >> 32));
        out.u32(static_cast<uint32_t>(StandardIndexBytes(video ? part.frames : part.audioChunks)));
        out.u32(video ? part.frames : AudioFramesOf(writing, p));
    }
    out.zeros(kChunkHeaderBytes + kSuperIndexBytes - (out.size() - start));
}

void AppendOpenDmlList(const WritingFile& writing, RecordAssembler& out) {
    out.u32(kListChunk);
    out.u32(static_cast<uint32_t>(4 + kChunkHeaderBytes + kOpenDmlHeaderBytes));
    out.u32(kOpenDmlList);
    out.u32(kOpenDmlHeader);
    out.u32(static_cast<uint32_t>(kOpenDmlHeaderBytes));
    out.u32(writing.frameCount);  // the frames of every part
    out.zeros(kOpenDmlHeaderBytes - 4);
}

// At close: the last part's standard indexes and sizes, the rooms of the parts before, then the
// super indexes and counts in the header list, and last the first part's idx1. A reader that
// finds the indexes in use finds them whole. When the last part's indexes cannot be appended (a
// full disk, a file size limit), the file stays as a recording cut short is: every index unnamed,
// read by walking its movie lists.
void FinishOpenDmlFile(WritingFile& writing) {
    HMMIO file = writing.file.get();
    MoviePart& last = writing.parts.back();
    const size_t lastIndex = writing.parts.size() - 1;
    const std::vector<uint8_t> video = StandardIndex(writing, lastIndex, 0);
    const std::vector<uint8_t> audio =
        HasAudio(writing) ? StandardIndex(writing, lastIndex, 1) : std::vector<uint8_t>();
    last.videoRoom = writing.movieEnd;
    last.audioRoom = audio.empty() ? 0 : writing.movieEnd + video.size();
    const uint64_t movieEnd = writing.movieEnd + video.size() + audio.size();
    const bool single = writing.parts.size() == 1;
    const uint64_t partEnd = movieEnd + (single ? LegacyIndexBytes(last) : 0);
    if (!Write(file, last.videoRoom, video.data(), video.size()) ||
        (!audio.empty() && !Write(file, last.audioRoom, audio.data(), audio.size())) ||
        (single && !WriteLegacyIndex(writing, movieEnd))) {
        RewriteHeaderList(writing, Settings(writing).fccHandler, false);
        return;
    }
    last.end = partEnd;
    Patch32(file, last.movieList + 4, static_cast<uint32_t>(movieEnd - last.movieData()));
    Patch32(file, last.riff + 4, static_cast<uint32_t>(partEnd - last.riff - 8));
    for (size_t p = 0; p + 1 < writing.parts.size(); ++p) {
        const MoviePart& part = writing.parts[p];
        WriteIntoRoom(file, part.videoRoom, StandardIndexBytes(part.frames),
                      StandardIndex(writing, p, 0));
        if (part.audioRoom) {
            WriteIntoRoom(file, part.audioRoom, StandardIndexBytes(part.slotCount),
                          StandardIndex(writing, p, 1));
        }
    }
    WriteHeaderList(writing);
    if (!single) {
        const MoviePart& first = writing.parts.front();
        const uint64_t room =
            kChunkHeaderBytes + kIndexEntryBytes * (first.videoEntries + first.slotCount);
        const uint64_t used = LegacyIndexBytes(first);
        if (WriteLegacyIndex(writing, first.legacyRoom) && room > used) {
            WriteJunkHeader(file, first.legacyRoom + used, room - used);
        }
    }
}

}  // namespace zedadu::writer
