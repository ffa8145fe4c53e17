#include "host/walks/avi_scan.h"

#include <algorithm>

#include "avi/ids.h"
#include "host/walks/file_bytes.h"

namespace zedadu::host {
namespace {

using namespace avi;

// Bounds of the walk: a list holding more chunks than this is not walked further, and the
// stream lists after the hundredth are ignored (the plug-in reads no file with more streams).
constexpr int kChunksPerList = 10000;
constexpr size_t kStreams = 100;

struct Chunk {
    FOURCC id = 0;
    uint64_t data = 0;  // where the chunk's data starts, after its 8-byte header
    uint64_t size = 0;  // the claimed size, cut to what the enclosing range holds
    FOURCC listType = 0;
    uint32_t claimed = 0;  // the size its header claims
};

// Whether a claimed size is to be believed: neither 0 nor running past the end of the file.
bool SizeHolds(uint64_t data, uint64_t claimed, uint64_t fileSize) {
    return claimed > 0 && data <= fileSize && claimed <= fileSize - data;
}

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
        const uint64_t claimed = LoadU32(header + 4);
        Chunk chunk{LoadU32(header), at + 8, std::min(claimed, end - (at + 8)), 0,
                    uint32_t(claimed)};
        if ((chunk.id == kListChunk || chunk.id == kRiffChunk) && chunk.size >= 4 &&
            file.read(chunk.data, header + 8, 4)) {
            chunk.listType = LoadU32(header + 8);
        }
        if (!visit(chunk)) {
            return;
        }
        at = chunk.data + claimed + (claimed & 1);
    }
}

class Scanner {
  public:
    explicit Scanner(const FileBytes& file) : file_(file) {}
    AviScan Run();

  private:
    void WalkForm(uint64_t begin, uint64_t end);
    void WalkStreamList(const Chunk& list);
    IndexKind ChooseIndex() const;
    bool LegacyIndexStands() const;
    bool ContinuedInParts() const;

    const FileBytes& file_;
    AviScan scan_;
    uint32_t formSize_ = 0;  // what the RIFF header claims
    std::optional<Chunk> movie_;
    std::optional<Chunk> legacyIndex_;
};

AviScan Scanner::Run() {
    uint8_t header[12];
    if (!file_.read(0, header, sizeof header) || LoadU32(header) != kRiffChunk) {
        return scan_;
    }
    scan_.form = LoadU32(header + 8);
    if (scan_.form != kAviForm) {
        scan_.verdict = AviScan::Verdict::kNotAvi;
        return scan_;
    }
    scan_.verdict = AviScan::Verdict::kAvi;
    formSize_ = LoadU32(header + 4);
    WalkForm(12, std::min(uint64_t(formSize_) + 8, file_.size()));
    scan_.index = ChooseIndex();
    return scan_;
}

void Scanner::WalkForm(uint64_t begin, uint64_t end) {
    ForEachChunk(file_, begin, end, [&](const Chunk& chunk) {
        if (chunk.id == kListChunk && chunk.listType == kHeaderList) {
            ForEachChunk(file_, chunk.data + 4, chunk.data + chunk.size, [&](const Chunk& inner) {
                if (inner.id == kListChunk && inner.listType == kStreamList &&
                    scan_.streams.size() < kStreams) {
                    WalkStreamList(inner);
                }
                return true;
            });
        } else if (chunk.id == kListChunk && chunk.listType == kMovieList && !movie_) {
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
            stream.type = LoadU32(bytes);
            stream.handler = LoadU32(bytes + 4);
            if (chunk.size >= 36 && file_.read(chunk.data, bytes, 36)) {
                stream.scale = LoadU32(bytes + 20);
                stream.rate = LoadU32(bytes + 24);
                stream.length = LoadU32(bytes + 32);
            }
        } else if (chunk.id == kStreamFormat && stream.type == kVideoStream && chunk.size >= 20 &&
                   file_.read(chunk.data, bytes, 20)) {
            stream.format = LoadU32(bytes + 16);
            stream.width = int32_t(LoadU32(bytes + 4));
            stream.height = int32_t(LoadU32(bytes + 8));
        } else if (chunk.id == kStreamFormat && stream.type == kAudioStream && chunk.size >= 2 &&
                   file_.read(chunk.data, bytes, std::min<uint64_t>(chunk.size, 16))) {
            stream.format = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
            stream.channels = uint32_t(bytes[2]) | uint32_t(bytes[3]) << 8;
            stream.sampleRate = LoadU32(bytes + 4);
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
    return LegacyIndexStands() ? IndexKind::kLegacy : IndexKind::kRebuilt;
}

// As the plug-in reads a file: by its legacy index when that index is whole and the sizes of the
// RIFF form and the movie list hold, unless 'AVIX' parts follow that it does not cover; by a walk
// of the movie lists otherwise.
bool Scanner::LegacyIndexStands() const {
    const uint64_t size = file_.size();
    return legacyIndex_ && movie_ && SizeHolds(8, formSize_, size) &&
           SizeHolds(movie_->data, movie_->claimed, size) &&
           legacyIndex_->claimed <= size - legacyIndex_->data && !ContinuedInParts();
}

bool Scanner::ContinuedInParts() const {
    const uint64_t end = uint64_t(formSize_) + 8;
    uint8_t header[12];
    return file_.read(end + (end & 1), header, sizeof header) && LoadU32(header) == kRiffChunk &&
           LoadU32(header + 8) == kExtendedForm;
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
            return stream.format == BI_RGB ? kUncompressedHandler : stream.format;
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
