#include "host/walks/avi_repair.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "avi/chunk_cursor.h"
#include "avi/ids.h"
#include "avi/index_entry.h"
#include "avi/standard_index.h"
#include "host/cli/errors.h"
#include "host/walks/file_bytes.h"

namespace zedadu::host {
namespace {

using namespace avi;

constexpr uint64_t kLargestHeaderList = 16 << 20;
constexpr size_t kStreams = 100;
constexpr FOURCC kRawCompression = FourCC("raw ");

FOURCC Id(const uint8_t* b) {
    return LoadU32(b);
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    out.resize(out.size() + 4);
    StoreU32(out.data() + out.size() - 4, value);
}

void Set32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    StoreU32(out.data() + at, value);
}

BytePatch Patch32(uint64_t position, uint32_t value) {
    BytePatch patch{position, {}};
    Put32(patch.bytes, value);
    return patch;
}

struct Stream {
    FOURCC type = 0;           // "vids", "auds"
    bool described = false;    // its stream header was found
    uint64_t lengthField = 0;  // position of the stream header's dwLength
    uint32_t blockAlign = 1;   // audio: bytes per sample frame
    bool allKeyFrames = true;
    bool rawFrames = false;   // uncompressed: a frame is only whole at its full size
    uint64_t superIndex = 0;  // position of its 'indx' chunk, 0 without
    uint32_t superCapacity = 0;
    uint16_t chunkType = 0;  // "dc", "wb": the end of its chunk ids
};

struct Header {
    uint64_t mainFrames = 0;   // avih dwTotalFrames
    uint64_t grandFrames = 0;  // dmlh dwGrandFrames, 0 without
    std::vector<Stream> streams;
};

struct Chunk {
    uint64_t position;
    uint32_t size;
    FOURCC id;
    int stream;  // -1 for a record list
};

struct Part {
    uint64_t riff;
    uint64_t movieList;  // its LIST 'movi'
    uint64_t legacyIndex = 0;
    bool complete = false;  // its RIFF size and movie list size name where it ends
    std::vector<Chunk> chunks;
};

// Codes of video whose every frame is a key frame: uncompressed layouts and intra-only codecs.
bool IntraOnly(uint32_t compression) {
    static const char* const kCodes[] = {"DIB ", "RGB ", "raw ", "YUY2", "UYVY", "YVYU", "Y800",
                                         "I420", "YV12", "HFYU", "FFVH", "MJPG", "dmb1", "LJPG",
                                         "dvsd", "dv25", "dvsl", "dvhd", "dv50", "MPNG", "ULRG",
                                         "ULRA", "ULY0", "ULY2", "ULY4", "MAGY", "M8RG", "M8Y2"};
    if (compression == 0) {
        return true;
    }
    const std::string code(reinterpret_cast<const char*>(&compression), 4);
    return std::any_of(std::begin(kCodes), std::end(kCodes),
                       [&](const char* c) { return strcasecmp(c, code.c_str()) == 0; });
}

// The header list's bytes, read whole, and where they lie in the file.
struct HeaderBytes {
    std::vector<uint8_t> bytes;
    uint64_t position;
    const uint8_t* at(uint64_t offset) const { return bytes.data() + offset; }
};

void ParseStreamList(const HeaderBytes& b, ChunkCursor chunks, Header& header) {
    Stream stream;
    avi::Chunk chunk;
    while (chunks.next(chunk) && chunk.whole()) {
        const uint8_t* data = b.at(chunk.data);
        if (chunk.id == kStreamHeader && chunk.claimed >= 40) {
            stream.type = Id(data);
            stream.described = true;
            stream.lengthField = b.position + chunk.data + 32;
            stream.chunkType = stream.type == kVideoStream   ? kCompressedVideoType
                               : stream.type == kAudioStream ? kAudioDataType
                                                             : 0;
        } else if (chunk.id == kStreamFormat && stream.type == kAudioStream &&
                   chunk.claimed >= 14) {
            stream.blockAlign = std::max<uint32_t>(LoadU16(data + 12), 1);
        } else if (chunk.id == kStreamFormat && stream.type == kVideoStream &&
                   chunk.claimed >= 20) {
            const uint32_t compression = LoadU32(data + 16);
            stream.allKeyFrames = IntraOnly(compression);
            stream.rawFrames = compression == 0 || compression == kUncompressedHandler ||
                               compression == kRawCompression;
        } else if (chunk.id == kSuperIndex && chunk.claimed >= 24) {
            stream.superIndex = b.position + chunk.header();
            stream.superCapacity = (chunk.claimed - 24) / 16;
        }
    }
    header.streams.push_back(stream);
}

// The header list: the main header, the stream lists with their super indexes, dmlh.
std::optional<Header> ParseHeaderList(const FileBytes& file, std::string& refusal) {
    uint8_t head[24];
    if (!file.read(0, head, sizeof head) || Id(head) != kRiffChunk || Id(head + 8) != kAviForm) {
        refusal = "it is not an AVI file";
        return std::nullopt;
    }
    const uint32_t size = LoadU32(head + 16);
    if (Id(head + 12) != kListChunk || Id(head + 20) != kHeaderList || size < 4 + 8 + 56 ||
        size > kLargestHeaderList || size > file.size() - 20) {
        refusal = "it has no header list where the format places it";
        return std::nullopt;
    }
    HeaderBytes b{std::vector<uint8_t>(size), 20};
    file.read(b.position, b.bytes.data(), size);
    const MemoryBytes memory(b.bytes.data(), b.bytes.size());
    ChunkCursor chunks(memory, 4, size);
    Header header;
    avi::Chunk chunk;
    while (header.streams.size() < kStreams && chunks.next(chunk) && chunk.whole()) {
        if (chunk.id == kMainHeader && chunk.claimed >= 56) {
            header.mainFrames = b.position + chunk.data + 16;
        } else if (chunk.isList(kStreamList)) {
            ParseStreamList(b, chunks.inside(chunk), header);
        } else if (chunk.isList(kOpenDmlList) && chunk.claimed >= 16 &&
                   Id(b.at(chunk.data + 4)) == kOpenDmlHeader) {
            header.grandFrames = b.position + chunk.data + 12;
        }
    }
    if (!header.mainFrames || header.streams.empty() || !header.streams.front().described) {
        refusal = "its header list has no main header or no stream header";
        return std::nullopt;
    }
    return header;
}

int StreamOf(FOURCC id) {
    const int stream = TwoDigitStream(id);
    return stream >= 0 ? stream : -2;
}

// An id that can stand in a movie list: a data chunk of one of the streams ("00dc", "01wb"), a
// list (a record), padding or a standard index ("ix00").
bool PlausibleId(const uint8_t* h, size_t streams) {
    const FOURCC id = Id(h);
    const int stream = StreamOf(id);
    if (stream >= 0) {
        return size_t(stream) < streams && islower(h[2]) && islower(h[3]);
    }
    return id == kListChunk || id == kJunk ||
           (uint16_t(id) == kStandardIndexPrefix && isdigit(h[2]));
}

// A stretch whose chunk header names no chunk that fits (zeroed, overwritten, a changed size): the
// walk found the next chunk at `end`.
struct Damage {
    uint64_t position;
    uint64_t end;
    uint8_t header[8];
};

struct Walk {
    std::vector<Part> parts;
    uint64_t end = 0;                  // behind the last whole chunk
    bool cut = false;                  // a partial chunk or bytes that are no chunk follow
    std::vector<BytePatch> listSizes;  // records cut short keep their whole chunks
    std::vector<Damage> damage;
    uint64_t fill = 0;  // zeros that complete the last chunk
};

// The end of a list whose size is 0 or runs past the file: a recording cut short.
uint64_t ListEnd(uint64_t data, uint32_t size, uint64_t fileSize, bool& known) {
    known = size != 0 && size <= fileSize - std::min(data, fileSize);
    return known ? data + size : fileSize;
}

// The bounds of one walk through a list's chunks.
struct Range {
    const FileBytes& file;
    size_t streams;
    uint64_t end;
    bool endKnown;  // the list's size names its end; else the end of the file stands for it
};

// A chunk at `at` is confirmed when its id is plausible, its data fits the range, and behind it
// comes the range's end, a header cut by the end of the file, or another plausible id.
bool Confirmed(const Range& range, uint64_t at) {
    uint8_t h[8];
    if (at + 8 > range.end || !range.file.read(at, h, 8) || !PlausibleId(h, range.streams)) {
        return false;
    }
    const uint32_t size = LoadU32(h + 4);
    if (size > range.end - at - 8) {
        return false;
    }
    const uint64_t next = at + 8 + size + (size & 1);
    if (next >= range.end || next + 8 > range.file.size()) {
        return true;
    }
    if (next + 8 > range.end) {
        return false;
    }
    uint8_t n[8];
    return range.file.read(next, n, 8) && PlausibleId(n, range.streams);
}

// The next confirmed chunk behind a damaged header at `at`, at an offset of the same parity
// (chunks are word aligned); the range's end when none is found.
uint64_t Resynchronise(const Range& range, uint64_t at) {
    std::vector<uint8_t> block(1 << 16);
    for (uint64_t from = at + 8; from + 8 <= range.end;) {
        const size_t count = size_t(std::min<uint64_t>(block.size(), range.end - from));
        if (!range.file.read(from, block.data(), count)) {
            break;
        }
        for (size_t i = 0; i + 4 <= count; i += 2) {
            if (PlausibleId(block.data() + i, range.streams) && Confirmed(range, from + i)) {
                return from + i;
            }
        }
        from += (count - 2) & ~size_t(1);
        if (count < block.size()) {
            break;
        }
    }
    return range.end;
}

// Walks past a damaged header at `at`: a stretch up to the next confirmed chunk, or the partial
// tail of a recording cut short when none follows and the list's end is not known.
uint64_t PassDamage(const Range& range, uint64_t at, Walk& walk) {
    const uint64_t next = Resynchronise(range, at);
    if (next == range.end && !range.endKnown) {
        walk.cut = true;
        return at;
    }
    Damage damage{at, next, {}};
    range.file.read(at, damage.header, 8);
    walk.damage.push_back(damage);
    return next;
}

uint64_t WalkChunks(const Range& range, uint64_t at, Part& part, Walk& walk);

// A chunk that fits but is followed by no plausible id is whole when no confirmed chunk starts
// inside its data: then the damage is its neighbour's header, not its own size.
bool WholeBeforeDamage(const Range& range, uint64_t at, const uint8_t* h) {
    const uint32_t size = LoadU32(h + 4);
    if (!PlausibleId(h, range.streams) || size > range.end - at - 8) {
        return false;
    }
    return Resynchronise(range, at) >= at + 8 + size + (size & 1);
}

bool IsRecordList(const uint8_t* h) {
    return Id(h) == kListChunk && Id(h + 8) == kRecordList && LoadU32(h + 4) >= 4;
}

// A record list and its chunks; one cut short keeps its whole chunks and gets their size.
uint64_t WalkRecord(const Range& range, uint64_t at, Part& part, Walk& walk) {
    uint8_t h[8];
    range.file.read(at, h, sizeof h);
    const uint32_t size = LoadU32(h + 4);
    const uint64_t data = at + 8;
    const bool fits = size <= range.end - data;
    const Range record{range.file, range.streams, fits ? data + size : range.end,
                       fits || range.endKnown};
    const uint64_t whole = WalkChunks(record, data + 4, part, walk);
    const auto kept = static_cast<uint32_t>(whole - data);
    part.chunks.push_back({at, kept, kRecordList, -1});
    if (kept != size) {
        walk.listSizes.push_back(Patch32(at + 4, kept));
        walk.cut = true;
        return whole;
    }
    return data + size + (size & 1);
}

// Collects the chunks of a movie list (and of its records) up to the range's end; returns the
// position behind the last whole chunk.
uint64_t WalkChunks(const Range& range, uint64_t at, Part& part, Walk& walk) {
    const FileBytes& file = range.file;
    while (at + 8 <= range.end && !walk.cut) {
        uint8_t h[12] = {};
        if (!file.read(at, h, std::min<uint64_t>(12, file.size() - at)) || Id(h) == kRiffChunk) {
            return at;
        }
        if (IsRecordList(h) && (!range.endKnown || Confirmed(range, at))) {
            at = WalkRecord(range, at, part, walk);
            continue;
        }
        const uint32_t size = LoadU32(h + 4);
        if (!Confirmed(range, at) && !WholeBeforeDamage(range, at, h)) {
            at = PassDamage(range, at, walk);
            continue;
        }
        if (StreamOf(Id(h)) >= 0) {
            part.chunks.push_back({at, size, Id(h), StreamOf(Id(h))});
        }
        at = std::min(at + 8 + size + (size & 1), file.size());
    }
    return at;
}

// Walks one RIFF part from `at`; false when there is none there.
bool WalkPart(const FileBytes& file, size_t streams, uint64_t at, Walk& walk) {
    uint8_t h[12];
    const bool first = walk.parts.empty();
    if (!file.read(at, h, sizeof h) || Id(h) != kRiffChunk ||
        Id(h + 8) != (first ? kAviForm : kExtendedForm)) {
        return false;
    }
    bool riffKnown = false, movieKnown = false;
    const uint64_t riffEnd = ListEnd(at + 8, LoadU32(h + 4), file.size(), riffKnown);
    Part part{at, 0, 0, false, {}};
    uint64_t child = at + 12;
    while (child + 12 <= riffEnd && file.read(child, h, sizeof h)) {
        const uint32_t size = LoadU32(h + 4);
        if (Id(h) == kListChunk && Id(h + 8) == kMovieList && !part.movieList) {
            part.movieList = child;
            const uint64_t movieEnd = ListEnd(child + 8, size, file.size(), movieKnown);
            const Range range{file, streams, movieEnd, movieKnown};
            walk.end = WalkChunks(range, child + 12, part, walk);
            if (walk.end < movieEnd || !movieKnown) {
                break;
            }
        } else if (Id(h) == kLegacyIndex) {
            part.legacyIndex = child;
        }
        child += 8 + uint64_t(size) + (size & 1);
    }
    part.complete = riffKnown && movieKnown && !walk.cut && part.movieList;
    walk.parts.push_back(std::move(part));
    if (walk.parts.back().complete) {
        walk.end = riffEnd;
    }
    return walk.parts.back().movieList != 0;
}

FOURCC ChunkIdOf(const Header& header, const Part& part, int stream) {
    for (const Chunk& chunk : part.chunks) {
        if (chunk.stream == stream) {
            return chunk.id;
        }
    }
    return StreamChunkId(stream, header.streams[size_t(stream)].chunkType);
}

bool KeyFrame(const Header& header, const Chunk& chunk, bool firstOfStream) {
    const Stream& stream = header.streams[size_t(chunk.stream)];
    return stream.type != kVideoStream || stream.allKeyFrames || firstOfStream;
}

// The standard index of one part's chunks of one stream, counted from its movie list's type field.
std::vector<uint8_t> StandardIndex(const Header& header, const Part& part, int stream, bool& first,
                                   uint32_t& count, uint64_t& bytes) {
    count = 0;
    bytes = 0;
    for (const Chunk& chunk : part.chunks) {
        if (chunk.stream == stream) {
            ++count;
            bytes += chunk.size;
        }
    }
    StandardIndexAssembler index(stream, ChunkIdOf(header, part, stream), part.movieList + 8,
                                 count);
    for (const Chunk& chunk : part.chunks) {
        if (chunk.stream == stream) {
            index.add(chunk.position + 8, chunk.size, KeyFrame(header, chunk, first));
            first = false;
        }
    }
    return index.bytes();
}

// "idx1" of a part: records and chunks in file order, offsets from the movie list's type field.
std::vector<uint8_t> LegacyIndex(const Header& header, const Part& part) {
    std::vector<uint8_t> out;
    Put32(out, kLegacyIndex);
    Put32(out, 0);
    std::vector<bool> seen(header.streams.size());
    for (const Chunk& chunk : part.chunks) {
        if (chunk.stream >= int(header.streams.size())) {
            continue;
        }
        const bool first = chunk.stream >= 0 && !seen[size_t(chunk.stream)];
        const bool key = chunk.stream >= 0 &&
                         header.streams[size_t(chunk.stream)].type == kVideoStream &&
                         KeyFrame(header, chunk, first);
        const IndexEntry entry{chunk.id, key ? kIndexKeyFrame : 0,
                               uint32_t(chunk.position - (part.movieList + 8)), chunk.size};
        out.resize(out.size() + kIndexEntryBytes);
        StoreIndexEntry(out.data() + out.size() - kIndexEntryBytes, entry);
        if (chunk.stream >= 0) {
            seen[size_t(chunk.stream)] = true;
        }
    }
    Set32(out, 4, uint32_t(out.size() - 8));
    return out;
}

// The counts of the headers: frames and sample frames of every stream, the first part's frames.
void CountStreams(const Header& header, const Walk& walk, RepairPlan& plan) {
    std::vector<uint64_t> chunks(header.streams.size()), bytes(header.streams.size());
    uint32_t firstPartFrames = 0;
    for (const Part& part : walk.parts) {
        for (const Chunk& chunk : part.chunks) {
            if (chunk.stream >= 0 && size_t(chunk.stream) < header.streams.size()) {
                ++chunks[size_t(chunk.stream)];
                bytes[size_t(chunk.stream)] += chunk.size;
                firstPartFrames += &part == &walk.parts.front() &&
                                   header.streams[size_t(chunk.stream)].type == kVideoStream;
            }
        }
    }
    for (size_t s = 0; s < header.streams.size(); ++s) {
        const Stream& stream = header.streams[s];
        const uint64_t length =
            stream.type == kAudioStream ? bytes[s] / stream.blockAlign : chunks[s];
        if (stream.type == kVideoStream && plan.frames == 0) {
            plan.frames = uint32_t(chunks[s]);
            plan.keyFramesKnown = stream.allKeyFrames;
        } else if (stream.type == kAudioStream && plan.sampleFrames == 0) {
            plan.sampleFrames = length;
        }
        plan.patches.push_back(Patch32(stream.lengthField, uint32_t(length)));
    }
    plan.patches.push_back(
        Patch32(header.mainFrames, plan.openDml ? firstPartFrames : plan.frames));
    if (header.grandFrames) {
        plan.patches.push_back(Patch32(header.grandFrames, plan.frames));
    }
}

uint32_t EntriesInUse(const FileBytes& file, const Stream& stream) {
    uint8_t count[4] = {};
    file.read(stream.superIndex + 12, count, sizeof count);
    return LoadU32(count);
}

bool IsWhole(const FileBytes& file, const Header& header, const Walk& walk, bool openDml) {
    if (walk.cut || !std::all_of(walk.parts.begin(), walk.parts.end(),
                                 [](const Part& part) { return part.complete; })) {
        return false;
    }
    if (!openDml) {
        return walk.parts.size() == 1 && walk.parts.front().legacyIndex != 0;
    }
    return std::all_of(header.streams.begin(), header.streams.end(), [&](const Stream& stream) {
        return !stream.superIndex || EntriesInUse(file, stream) == walk.parts.size();
    });
}

// The standard indexes of every part, appended to the last movie list, and the super indexes
// that name them.
void AppendOpenDmlIndexes(const Header& header, const Walk& walk, RepairPlan& plan) {
    for (size_t s = 0; s < header.streams.size(); ++s) {
        const Stream& stream = header.streams[s];
        if (!stream.superIndex) {
            continue;
        }
        BytePatch super{stream.superIndex + 12, {}};
        Put32(super.bytes, uint32_t(walk.parts.size()));
        Put32(super.bytes, ChunkIdOf(header, walk.parts.front(), int(s)));
        super.bytes.resize(super.bytes.size() + 12);
        bool first = true;
        for (const Part& part : walk.parts) {
            uint32_t count = 0;
            uint64_t bytes = 0;
            const std::vector<uint8_t> index =
                StandardIndex(header, part, int(s), first, count, bytes);
            const uint64_t at = plan.keep + plan.append.size();
            Put32(super.bytes, uint32_t(at));
            Put32(super.bytes, uint32_t(at >> 32));
            Put32(super.bytes, uint32_t(index.size()));
            Put32(super.bytes,
                  stream.type == kAudioStream ? uint32_t(bytes / stream.blockAlign) : count);
            plan.append.insert(plan.append.end(), index.begin(), index.end());
        }
        plan.patches.push_back(std::move(super));
    }
}

struct PlacedEntry {
    FOURCC id;
    uint64_t position;  // of the chunk's header in the file
    uint32_t size;
};

// The data chunks that the first part's "idx1" names, placed in the file: its offsets count from
// the movie list's type or from the file's start, whichever names more of the walked chunks.
std::vector<PlacedEntry> LegacyEntries(const FileBytes& file, const Part& part) {
    uint8_t h[8];
    if (!file.read(part.legacyIndex, h, sizeof h)) {
        return {};
    }
    const uint64_t room = file.size() - part.legacyIndex - 8;
    std::vector<uint8_t> bytes(std::min<uint64_t>(LoadU32(h + 4), room) / kIndexEntryBytes *
                               kIndexEntryBytes);
    if (!file.read(part.legacyIndex + 8, bytes.data(), bytes.size())) {
        return {};
    }
    std::vector<IndexEntry> index;
    for (size_t at = 0; at < bytes.size(); at += kIndexEntryBytes) {
        index.push_back(LoadIndexEntry(&bytes[at]));
    }
    std::set<uint64_t> walked;
    for (const Chunk& chunk : part.chunks) {
        walked.insert(chunk.position);
    }
    const uint64_t relative = part.movieList + 8;
    size_t relativeHits = 0, absoluteHits = 0;
    for (const IndexEntry& entry : index) {
        relativeHits += walked.count(relative + entry.offset);
        absoluteHits += walked.count(entry.offset);
    }
    const uint64_t base = relativeHits >= absoluteHits ? relative : 0;
    std::vector<PlacedEntry> entries;
    for (const IndexEntry& entry : index) {
        if (StreamOf(entry.chunkId) >= 0) {
            entries.push_back({entry.chunkId, base + entry.offset, entry.size});
        }
    }
    return entries;
}

bool InsideDamage(const Walk& walk, uint64_t position) {
    return std::any_of(walk.damage.begin(), walk.damage.end(), [&](const Damage& damage) {
        return position >= damage.position && position < damage.end;
    });
}

// An index entry whose header in the file says otherwise is believed when its place is a walked
// chunk or damaged, its data lies in the movie list, and behind it comes a chunk the walk or the
// index knows, or the movie list's end.
bool EntryConfirmed(const FileBytes& file, const PlacedEntry& entry, uint64_t movieEnd,
                    const std::set<uint64_t>& known, const Walk& walk) {
    const uint64_t end = entry.position + 8 + entry.size;
    if (end > movieEnd || !(known.count(entry.position) || InsideDamage(walk, entry.position))) {
        return false;
    }
    uint8_t h[8];
    const uint64_t next = end + (entry.size & 1);
    return next >= movieEnd || known.count(next) ||
           (file.read(next, h, 4) && Id(h) == kLegacyIndex);
}

// A complete index that the chunks confirm is the file's account of its chunks: it names every
// chunk the walk found, with its id, and each entry whose header was damaged is confirmed by what
// follows it. Those headers are then written back from the index; false when there are none.
bool RestoreFromIndex(const FileBytes& file, Walk& walk, RepairPlan& plan) {
    Part& part = walk.parts.front();
    const std::vector<PlacedEntry> entries = LegacyEntries(file, part);
    std::set<uint64_t> known;
    std::map<uint64_t, const PlacedEntry*> named;
    for (const PlacedEntry& entry : entries) {
        known.insert(entry.position);
        named[entry.position] = &entry;
    }
    for (const Chunk& chunk : part.chunks) {
        const auto entry = named.find(chunk.position);
        if (chunk.stream >= 0 && (entry == named.end() || entry->second->id != chunk.id)) {
            return false;
        }
        known.insert(chunk.position);
    }
    uint8_t movie[8];
    file.read(part.movieList, movie, sizeof movie);
    const uint64_t movieEnd = part.movieList + 8 + LoadU32(movie + 4);
    std::vector<const PlacedEntry*> restored;
    for (const PlacedEntry& entry : entries) {
        uint8_t h[8] = {};
        file.read(entry.position, h, sizeof h);
        if (Id(h) == entry.id && LoadU32(h + 4) == entry.size) {
            continue;
        }
        if (!EntryConfirmed(file, entry, movieEnd, known, walk)) {
            return false;
        }
        restored.push_back(&entry);
    }
    if (restored.empty()) {
        return false;
    }
    part.chunks.clear();
    for (const PlacedEntry& entry : entries) {
        part.chunks.push_back({entry.position, entry.size, entry.id, StreamOf(entry.id)});
    }
    for (const PlacedEntry* entry : restored) {
        BytePatch patch{entry->position, {}};
        Put32(patch.bytes, entry->id);
        Put32(patch.bytes, entry->size);
        plan.patches.push_back(std::move(patch));
    }
    plan.restoredHeaders = uint32_t(restored.size());
    return true;
}

// Without an index to trust, a damaged stretch that begins with the id of a stream's chunk is
// that chunk up to the next one found; any other becomes padding ("JUNK"), which readers skip.
void MendFromWalk(const Header& header, Walk& walk, RepairPlan& plan) {
    for (const Damage& damage : walk.damage) {
        const auto size = uint32_t(damage.end - damage.position - 8);
        auto part = std::find_if(walk.parts.rbegin(), walk.parts.rend(),
                                 [&](const Part& p) { return p.riff <= damage.position; });
        BytePatch patch{damage.position, {}};
        const FOURCC id = Id(damage.header);
        if (StreamOf(id) >= 0 && PlausibleId(damage.header, header.streams.size())) {
            const Chunk chunk{damage.position, size, id, StreamOf(id)};
            auto after = std::find_if(part->chunks.begin(), part->chunks.end(),
                                      [&](const Chunk& c) { return c.position > damage.position; });
            part->chunks.insert(after, chunk);
            Put32(patch.bytes, chunk.id);
            ++plan.resizedChunks;
        } else {
            Put32(patch.bytes, kJunk);
            plan.paddedBytes += damage.end - damage.position;
        }
        Put32(patch.bytes, size);
        plan.patches.push_back(std::move(patch));
    }
}

// Truncation point, indexes and sizes of the last part.
void PlanIndexes(const Header& header, const Walk& walk, RepairPlan& plan) {
    const Part& last = walk.parts.back();
    plan.keep = walk.end;
    plan.append.resize(walk.fill);
    if ((plan.keep + walk.fill) & 1) {
        plan.append.push_back(0);  // the pad byte of the last chunk
    }
    if (plan.openDml) {
        AppendOpenDmlIndexes(header, walk, plan);
    }
    const uint64_t movieEnd = plan.keep + plan.append.size();
    if (walk.parts.size() == 1) {
        const std::vector<uint8_t> legacy = LegacyIndex(header, last);
        plan.append.insert(plan.append.end(), legacy.begin(), legacy.end());
    }
    const uint64_t partEnd = plan.keep + plan.append.size();
    plan.patches.push_back(Patch32(last.movieList + 4, uint32_t(movieEnd - last.movieList - 8)));
    plan.patches.push_back(Patch32(last.riff + 4, uint32_t(partEnd - last.riff - 8)));
    plan.patches.insert(plan.patches.end(), walk.listSizes.begin(), walk.listSizes.end());
}

// The size an uncompressed frame of `stream` has: that of its frames before, 0 without one.
uint32_t RawFrameSize(const Walk& walk, int stream) {
    for (const Chunk& chunk : walk.parts.back().chunks) {
        if (chunk.stream == stream) {
            return chunk.size;
        }
    }
    return 0;
}

// A record cut short that holds the chunk the file ends in grows by what is kept of that chunk.
void GrowCutRecord(Walk& walk, uint32_t bytes) {
    if (walk.listSizes.empty()) {
        return;
    }
    BytePatch& size = walk.listSizes.back();
    size = Patch32(size.position, LoadU32(size.bytes.data()) + bytes);
    auto& chunks = walk.parts.back().chunks;
    const auto record = std::find_if(chunks.rbegin(), chunks.rend(),
                                     [](const Chunk& chunk) { return chunk.id == kRecordList; });
    if (record != chunks.rend()) {
        record->size += bytes;
    }
}

// The chunk the file ends in the middle of keeps what it holds, as a shorter chunk: audio as far
// as its whole sample frames go, compressed video as far as it decodes. An uncompressed frame
// keeps its size (that of the frames before it) and gets zeros for the bytes missing.
void KeepPartialTail(const FileBytes& file, const Header& header, Walk& walk, RepairPlan& plan) {
    uint8_t h[8];
    if (!walk.cut || !file.read(walk.end, h, sizeof h) || !PlausibleId(h, header.streams.size()) ||
        StreamOf(Id(h)) < 0) {
        return;
    }
    const int number = StreamOf(Id(h));
    const Stream& stream = header.streams[size_t(number)];
    const uint64_t held = std::min<uint64_t>(file.size() - walk.end - 8, LoadU32(h + 4));
    uint64_t size = stream.type == kAudioStream ? held - held % stream.blockAlign : held;
    if (stream.rawFrames) {
        size = RawFrameSize(walk, number) == LoadU32(h + 4) ? LoadU32(h + 4) : 0;
    }
    if (size == 0) {
        return;
    }
    GrowCutRecord(walk, uint32_t(8 + size + (size & 1)));
    walk.parts.back().chunks.push_back({walk.end, uint32_t(size), Id(h), number});
    plan.patches.push_back(Patch32(walk.end + 4, uint32_t(size)));
    plan.shortenedTail = std::min(held, size);
    walk.fill = size - plan.shortenedTail;
    walk.end += 8 + plan.shortenedTail;
}

// A whole file is left as it is; a complete one whose damaged chunk headers its index confirms
// gets those headers back and keeps every byte; any other is cut behind its last whole chunk and
// gets a new index, its damaged stretches mended or padded.
RepairPlan FinishPlan(const FileBytes& file, const Header& header, Walk& walk, RepairPlan& plan) {
    const Part& first = walk.parts.front();
    const bool legacyWhole =
        !plan.openDml && walk.parts.size() == 1 && first.complete && first.legacyIndex && !walk.cut;
    if (legacyWhole && RestoreFromIndex(file, walk, plan)) {
        CountStreams(header, walk, plan);
        plan.keep = file.size();
        return plan;
    }
    MendFromWalk(header, walk, plan);
    KeepPartialTail(file, header, walk, plan);
    CountStreams(header, walk, plan);
    plan.whole = walk.damage.empty() && IsWhole(file, header, walk, plan.openDml);
    if (plan.whole) {
        plan.patches.clear();
        plan.keep = file.size();
        return plan;
    }
    PlanIndexes(header, walk, plan);
    plan.dropped = file.size() - plan.keep;
    return plan;
}

}  // namespace

RepairVerdict PlanRepair(const std::string& path) {
    const FileBytes file(path);
    if (!file.opened() || file.size() == 0) {
        return {std::nullopt, file.opened() ? "it is empty" : "it cannot be read"};
    }
    RepairVerdict verdict;
    const std::optional<Header> header = ParseHeaderList(file, verdict.refusal);
    if (!header) {
        return verdict;
    }
    Walk walk;
    for (uint64_t at = 0;
         WalkPart(file, header->streams.size(), at, walk) && walk.parts.back().complete;) {
        at = walk.end;
    }
    if (walk.parts.empty() || !walk.parts.back().movieList) {
        return {std::nullopt, "it has no movie list"};
    }
    RepairPlan plan;
    plan.openDml = std::any_of(header->streams.begin(), header->streams.end(),
                               [](const Stream& stream) { return stream.superIndex != 0; });
    plan.parts = uint32_t(walk.parts.size());
    for (const Stream& stream : header->streams) {
        if (stream.superIndex && stream.superCapacity < walk.parts.size()) {
            return {std::nullopt, "its super index has no room for all its parts"};
        }
    }
    if (!plan.openDml && walk.parts.size() > 1) {
        return {std::nullopt, "it has RIFF parts beyond the first but no OpenDML index"};
    }
    return {FinishPlan(file, *header, walk, plan), ""};
}

namespace {

void WriteAll(int fd, uint64_t at, const std::vector<uint8_t>& bytes, const std::string& path) {
    if (pwrite(fd, bytes.data(), bytes.size(), off_t(at)) != ssize_t(bytes.size())) {
        throw HostError("cannot write " + path + ": " + strerror(errno));
    }
}

// Copies the kept bytes of `path` into a new file `out`.
int CopyKeptBytes(const std::string& path, uint64_t keep, const std::string& out) {
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int fd = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || fd < 0) {
        throw HostError("cannot write " + out + ": " + strerror(errno));
    }
    std::vector<uint8_t> block(1 << 20);
    for (uint64_t at = 0; at < keep;) {
        const size_t count = size_t(std::min<uint64_t>(block.size(), keep - at));
        if (pread(in, block.data(), count, off_t(at)) != ssize_t(count)) {
            throw HostError("cannot read " + path + ": " + strerror(errno));
        }
        block.resize(count);
        WriteAll(fd, at, block, out);
        at += count;
    }
    close(in);
    return fd;
}

}  // namespace

void CarryOutRepair(const std::string& path, const RepairPlan& plan, const std::string& out) {
    const std::string target = out.empty() ? path : out;
    const int fd =
        out.empty() ? open(path.c_str(), O_RDWR | O_CLOEXEC) : CopyKeptBytes(path, plan.keep, out);
    if (fd < 0 || ftruncate(fd, off_t(plan.keep)) != 0) {
        throw HostError("cannot change " + target + ": " + strerror(errno));
    }
    // The index first, then the headers that name it: a repair cut short leaves a file read as
    // before, by walking its movie lists.
    WriteAll(fd, plan.keep, plan.append, target);
    for (const BytePatch& patch : plan.patches) {
        WriteAll(fd, patch.position, patch.bytes, target);
    }
    if (close(fd) != 0) {
        throw HostError("cannot write " + target + ": " + strerror(errno));
    }
}

}  // namespace zedadu::host
