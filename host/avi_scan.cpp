#include "host/avi_scan.h"

#include <algorithm>
#include <cctype>

#include "host/file_bytes.h"

namespace zedadu::host {
namespace {

constexpr FOURCC kRiff = FourCC("RIFF");
constexpr FOURCC kList = FourCC("LIST");
constexpr FOURCC kAviForm = FourCC("AVI ");
constexpr FOURCC kHeaderList = FourCC("hdrl");
constexpr FOURCC kStreamList = FourCC("strl");
constexpr FOURCC kStreamHeader = FourCC("strh");
constexpr FOURCC kStreamFormat = FourCC("strf");
constexpr FOURCC kSuperIndex = FourCC("indx");
constexpr FOURCC kMovieList = FourCC("movi");
constexpr FOURCC kRecordList = FourCC("rec ");
constexpr FOURCC kLegacyIndex = FourCC("idx1");
constexpr FOURCC kVideoStream = FourCC("vids");
constexpr FOURCC kAudioStream = FourCC("auds");
constexpr FOURCC kUncompressed = FourCC("DIB ");

// Bounds of the walk: a list holding more chunks than this is not walked further, and the
// stream lists after the hundredth are ignored (the plug-in reads no file with more streams).
constexpr int kChunksPerList = 10000;
constexpr size_t kStreams = 100;
constexpr uint64_t kIndexEntryBytes = 16;
constexpr uint64_t kIndexBlockEntries = 1024;

struct Chunk {
    FOURCC id = 0;
    uint64_t data = 0;  // where the chunk's data starts, after its 8-byte header
    uint64_t size = 0;  // the claimed size, cut to what the enclosing range holds
    FOURCC listType = 0;
};

// Visits the chunks in [begin, end) until `visit` returns false. A claimed size only decides
// where the next chunk is looked for; a size past the end ends the walk.
template <typename Visit>
void ForEachChunk(const FileBytes& file, uint64_t begin, uint64_t end, Visit visit) {
    uint64_t at = begin;
    for (int walked = 0; walked < kChunksPerList && at < end && end - at >= 8; ++walked) {
        uint8_t header[12];
        if (!file.read(at, header, 8)) {
            return;
        }
        const uint64_t claimed = LoadLe32(header + 4);
        Chunk chunk{LoadLe32(header), at + 8, std::min(claimed, end - (at + 8)), 0};
        if ((chunk.id == kList || chunk.id == kRiff) && chunk.size >= 4 &&
            file.read(chunk.data, header + 8, 4)) {
            chunk.listType = LoadLe32(header + 8);
        }
        if (!visit(chunk)) {
            return;
        }
        at = chunk.data + claimed + (claimed & 1);
    }
}

// Chunks of movie data: "00dc", "01wb" (a two-digit stream number) and OpenDML's "ix00".
bool IsDataChunk(const Chunk& chunk) {
    const auto first = char(chunk.id & 0xFF);
    const auto second = char((chunk.id >> 8) & 0xFF);
    const bool numbered =
        isdigit(static_cast<unsigned char>(first)) && isdigit(static_cast<unsigned char>(second));
    return numbered || (first == 'i' && second == 'x') ||
           (chunk.id == kList && chunk.listType == kRecordList);
}

class Scanner {
  public:
    explicit Scanner(const FileBytes& file) : file_(file) {}
    AviScan Run();

  private:
    void WalkForm(uint64_t begin, uint64_t end);
    void WalkStreamList(const Chunk& list);
    IndexKind ChooseIndex() const;
    bool LegacyIndexCovers() const;
    uint64_t IndexBase(FOURCC firstId, uint32_t firstOffset) const;
    bool MovieHasDataFrom(uint64_t at) const;

    const FileBytes& file_;
    AviScan scan_;
    std::optional<Chunk> movie_;
    std::optional<Chunk> legacyIndex_;
};

AviScan Scanner::Run() {
    uint8_t header[12];
    if (!file_.read(0, header, sizeof header) || LoadLe32(header) != kRiff) {
        return scan_;
    }
    scan_.form = LoadLe32(header + 8);
    if (scan_.form != kAviForm) {
        scan_.verdict = AviScan::Verdict::kNotAvi;
        return scan_;
    }
    scan_.verdict = AviScan::Verdict::kAvi;
    const uint64_t claimed = uint64_t(LoadLe32(header + 4)) + 8;
    WalkForm(12, std::min(claimed, file_.size()));
    scan_.index = ChooseIndex();
    return scan_;
}

void Scanner::WalkForm(uint64_t begin, uint64_t end) {
    ForEachChunk(file_, begin, end, [&](const Chunk& chunk) {
        if (chunk.id == kList && chunk.listType == kHeaderList) {
            ForEachChunk(file_, chunk.data + 4, chunk.data + chunk.size, [&](const Chunk& inner) {
                if (inner.id == kList && inner.listType == kStreamList &&
                    scan_.streams.size() < kStreams) {
                    WalkStreamList(inner);
                }
                return true;
            });
        } else if (chunk.id == kList && chunk.listType == kMovieList && !movie_) {
            movie_ = chunk;
        } else if (chunk.id == kLegacyIndex && !legacyIndex_) {
            legacyIndex_ = chunk;
        }
        return true;
    });
}

void Scanner::WalkStreamList(const Chunk& list) {
    StreamCodes stream;
    ForEachChunk(file_, list.data + 4, list.data + list.size, [&](const Chunk& chunk) {
        uint8_t bytes[36] = {};
        if (chunk.id == kStreamHeader && chunk.size >= 8 && file_.read(chunk.data, bytes, 8)) {
            stream.type = LoadLe32(bytes);
            stream.handler = LoadLe32(bytes + 4);
            if (chunk.size >= 36 && file_.read(chunk.data, bytes, 36)) {
                stream.scale = LoadLe32(bytes + 20);
                stream.rate = LoadLe32(bytes + 24);
                stream.length = LoadLe32(bytes + 32);
            }
        } else if (chunk.id == kStreamFormat && stream.type == kVideoStream && chunk.size >= 20 &&
                   file_.read(chunk.data, bytes, 20)) {
            stream.format = LoadLe32(bytes + 16);
            stream.width = int32_t(LoadLe32(bytes + 4));
            stream.height = int32_t(LoadLe32(bytes + 8));
        } else if (chunk.id == kStreamFormat && stream.type == kAudioStream && chunk.size >= 2 &&
                   file_.read(chunk.data, bytes, std::min<uint64_t>(chunk.size, 16))) {
            stream.format = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
            stream.channels = uint32_t(bytes[2]) | uint32_t(bytes[3]) << 8;
            stream.sampleRate = LoadLe32(bytes + 4);
            stream.bits = uint32_t(bytes[14]) | uint32_t(bytes[15]) << 8;
        } else if (chunk.id == kSuperIndex) {
            stream.superIndex = true;
        }
        return true;
    });
    scan_.streams.push_back(stream);
}

IndexKind Scanner::ChooseIndex() const {
    for (const StreamCodes& stream : scan_.streams) {
        if (stream.superIndex) {
            return IndexKind::kOpenDml;
        }
    }
    return legacyIndex_ && LegacyIndexCovers() ? IndexKind::kLegacy : IndexKind::kRebuilt;
}

// The index covers the movie data when no data chunk lies after the last chunk it names. Its
// entries are read in blocks; only their furthest end is kept.
bool Scanner::LegacyIndexCovers() const {
    const uint64_t entries = legacyIndex_->size / kIndexEntryBytes;
    if (!movie_) {
        return true;
    }
    if (entries == 0) {
        return !MovieHasDataFrom(movie_->data + 4);
    }
    uint8_t block[kIndexBlockEntries * kIndexEntryBytes];
    uint64_t furthestEnd = 0;
    FOURCC firstId = 0;
    uint32_t firstOffset = 0;
    for (uint64_t done = 0; done < entries;) {
        const uint64_t count = std::min(kIndexBlockEntries, entries - done);
        if (!file_.read(legacyIndex_->data + done * kIndexEntryBytes, block,
                        count * kIndexEntryBytes)) {
            return false;
        }
        if (done == 0) {
            firstId = LoadLe32(block);
            firstOffset = LoadLe32(block + 8);
        }
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* entry = block + i * kIndexEntryBytes;
            furthestEnd =
                std::max(furthestEnd, uint64_t(LoadLe32(entry + 8)) + 8 + LoadLe32(entry + 12));
        }
        done += count;
    }
    const uint64_t covered = IndexBase(firstId, firstOffset) + furthestEnd;
    return !MovieHasDataFrom(covered + (covered & 1));
}

// Offsets count from the movie list's type when the first entry's chunk is found there, else
// from the start of the file when it is found there; the first reading stands otherwise.
uint64_t Scanner::IndexBase(FOURCC firstId, uint32_t firstOffset) const {
    const uint64_t relative = movie_ ? movie_->data : 0;
    uint8_t id[4];
    if (file_.read(relative + firstOffset, id, 4) && LoadLe32(id) == firstId) {
        return relative;
    }
    if (file_.read(firstOffset, id, 4) && LoadLe32(id) == firstId) {
        return 0;
    }
    return relative;
}

bool Scanner::MovieHasDataFrom(uint64_t at) const {
    bool found = false;
    const uint64_t end = movie_->data + movie_->size;
    ForEachChunk(file_, std::max(at, movie_->data + 4), end, [&](const Chunk& chunk) {
        found = IsDataChunk(chunk);
        return !found;
    });
    return found;
}

}  // namespace

const char* IndexKindName(IndexKind kind) {
    switch (kind) {
        case IndexKind::kOpenDml:
            return "OpenDML";
        case IndexKind::kLegacy:
            return "legacy";
        case IndexKind::kRebuilt:
            break;
    }
    return "rebuilt from the file";
}

std::optional<FOURCC> AviScan::VideoCodec() const {
    for (const StreamCodes& stream : streams) {
        if (stream.type == kVideoStream) {
            return stream.format == BI_RGB ? kUncompressed : stream.format;
        }
    }
    return std::nullopt;
}

std::optional<uint16_t> AviScan::AudioTag() const {
    for (const StreamCodes& stream : streams) {
        if (stream.type == kAudioStream) {
            return uint16_t(stream.format);
        }
    }
    return std::nullopt;
}

uint64_t AviScan::PromisedFrames() const {
    for (const StreamCodes& stream : streams) {
        if (stream.type == kVideoStream) {
            return stream.length;
        }
    }
    return 0;
}

uint64_t AviScan::PromisedSampleFrames() const {
    constexpr uint32_t kPcm = 1;
    for (const StreamCodes& stream : streams) {
        if (stream.type == kAudioStream) {
            if (stream.format != kPcm || stream.rate == 0) {
                return 0;
            }
            // The length in units of scale / rate seconds, at the format's sample rate.
            const auto frames = static_cast<unsigned __int128>(stream.length) * stream.scale *
                                stream.sampleRate / stream.rate;
            return uint64_t(std::min<unsigned __int128>(frames, UINT64_MAX));
        }
    }
    return 0;
}

std::optional<AviScan> ScanAvi(const std::string& path) {
    const FileBytes file(path);
    if (!file.opened()) {
        return std::nullopt;
    }
    return Scanner(file).Run();
}

}  // namespace zedadu::host
