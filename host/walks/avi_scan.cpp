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

// Visits the chunks under the cursor until `visit` returns false.
template <typename Visit>
void ForEachChunk(ChunkCursor cursor, Visit visit) {
    Chunk chunk;
    for (int walked = 0; walked < kChunksPerList && cursor.next(chunk) && visit(chunk); ++walked) {
    }
}

class Scanner {
  public:
    explicit Scanner(const FileBytes& file) : file_(file) {}
    AviScan Run();

  private:
    void WalkForm(const ChunkCursor& form);
    void WalkStreamList(const ChunkCursor& form, const Chunk& list);
    IndexKind ChooseIndex() const;
    bool LegacyIndexStands() const;

    const FileBytes& file_;
    AviScan scan_;
    uint32_t formSize_ = 0;  // what the RIFF header claims
    std::optional<Chunk> movie_;
    std::optional<Chunk> legacyIndex_;
};

AviScan Scanner::Run() {
    ChunkCursor file(file_, 0, file_.size());
    Chunk riff;
    if (!file.next(riff) || riff.id != kRiffChunk) {
        return scan_;
    }
    scan_.form = riff.listType;
    if (scan_.form != kAviForm) {
        scan_.verdict = AviScan::Verdict::kNotAvi;
        return scan_;
    }
    scan_.verdict = AviScan::Verdict::kAvi;
    formSize_ = riff.claimed;
    WalkForm(file.inside(riff));
    scan_.index = ChooseIndex();
    return scan_;
}

void Scanner::WalkForm(const ChunkCursor& form) {
    ForEachChunk(form, [&](const Chunk& chunk) {
        if (chunk.isList(kHeaderList)) {
            ForEachChunk(form.inside(chunk), [&](const Chunk& inner) {
                if (inner.isList(kStreamList) && scan_.streams.size() < kStreams) {
                    WalkStreamList(form, inner);
                }
                return true;
            });
        } else if (chunk.isList(kMovieList) && !movie_) {
            movie_ = chunk;
        } else if (chunk.id == kLegacyIndex && !legacyIndex_) {
            legacyIndex_ = chunk;
        }
        return true;
    });
}

void Scanner::WalkStreamList(const ChunkCursor& form, const Chunk& list) {
    StreamCodes stream;
    ForEachChunk(form.inside(list), [&](const Chunk& chunk) {
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
    return legacyIndex_ && movie_ && avi::SizeBelieved(8, formSize_, size) &&
           avi::SizeBelieved(movie_->data, movie_->claimed, size) &&
           legacyIndex_->claimed <= size - legacyIndex_->data &&
           !avi::ContinuedInParts(file_, uint64_t(formSize_) + 8);
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
