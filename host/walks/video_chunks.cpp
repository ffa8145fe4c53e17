#include "host/walks/video_chunks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>

#include "avi/ids.h"
#include "host/walks/file_bytes.h"

namespace zedadu::host {
namespace {

using namespace avi;

// A video format: the 40-byte bitmap header, up to 64 KiB of extra bytes and a colour table, as
// much as the compressor layer takes.
constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kMostFormatBytes = kBitmapHeaderBytes + 65536 + 1024;
constexpr uint32_t kDroppedFrameBytes = 2;

struct Chunk {
    FOURCC id;
    uint64_t data;  // after its 8-byte header
    uint32_t size;  // as claimed
    FOURCC listType;
};

struct Range {
    uint64_t begin;
    uint64_t end;
};

// A list's data from `data` on: a claimed size of 0, or one past the enclosing end, reaches that
// end (a recording never finished, a file cut short).
Range ListData(const Chunk& list, uint64_t enclosingEnd) {
    const uint64_t begin = list.data + 4;
    const bool holds = list.size >= 4 && list.size <= enclosingEnd - list.data;
    return {begin, holds ? list.data + list.size : enclosingEnd};
}

bool Printable(FOURCC id) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (!isprint(int(id >> shift & 0xFF))) {
            return false;
        }
    }
    return true;
}

// Visits the chunks of [begin, end) until `visit` returns false. Each step moves at least the 8
// bytes of a header forward, so a hostile file costs at most a read per 8 bytes.
template <typename Visit>
void ForEachChunk(const FileBytes& file, Range range, Visit visit) {
    uint64_t at = range.begin;
    while (at < range.end && range.end - at >= 8) {
        uint8_t header[12];
        if (!file.read(at, header, 8)) {
            return;
        }
        Chunk chunk{LoadU32(header), at + 8, LoadU32(header + 4), 0};
        const bool list = chunk.id == kListChunk || chunk.id == kRiffChunk;
        if (list && range.end - chunk.data >= 4 && file.read(chunk.data, header + 8, 4)) {
            chunk.listType = LoadU32(header + 8);
        }
        if (!visit(chunk)) {
            return;
        }
        at = chunk.data + chunk.size + (chunk.size & 1);
    }
}

class Walker {
  public:
    Walker(const FileBytes& file, size_t most) : file_(file), most_(most) {}
    std::optional<VideoChunks> Run();

  private:
    void ReadHeaderList(Range range);
    bool ReadStreamList(Range range, int number);
    bool WalkMovie(Range range, bool inRecord);
    bool IsVideoChunk(FOURCC id) const;

    const FileBytes& file_;
    size_t most_;
    int stream_ = -1;  // the video stream's number
    VideoChunks found_;
};

std::optional<VideoChunks> Walker::Run() {
    uint8_t header[12];
    if (!file_.read(0, header, sizeof header) || LoadU32(header) != kRiffChunk ||
        LoadU32(header + 8) != kAviForm) {
        return std::nullopt;
    }
    const Range file{0, file_.size()};
    bool going = true;
    ForEachChunk(file_, file, [&](const Chunk& part) {
        const bool first = part.data == 8;
        if (part.id != kRiffChunk || part.listType != (first ? kAviForm : kExtendedForm)) {
            return false;
        }
        const Range form = ListData(part, file.end);
        ForEachChunk(file_, form, [&](const Chunk& chunk) {
            if (first && chunk.id == kListChunk && chunk.listType == kHeaderList) {
                ReadHeaderList(ListData(chunk, form.end));
            } else if (stream_ >= 0 && chunk.id == kListChunk && chunk.listType == kMovieList) {
                going = WalkMovie(ListData(chunk, form.end), false);
                return false;
            }
            return true;
        });
        return going;
    });
    if (stream_ < 0) {
        return std::nullopt;
    }
    return std::move(found_);
}

void Walker::ReadHeaderList(Range range) {
    int number = 0;
    ForEachChunk(file_, range, [&](const Chunk& chunk) {
        if (chunk.id != kListChunk || chunk.listType != kStreamList) {
            return true;
        }
        return !ReadStreamList(ListData(chunk, range.end), number++);
    });
}

// True when the list is the first video stream's and its format was read.
bool Walker::ReadStreamList(Range range, int number) {
    FOURCC type = 0;
    ForEachChunk(file_, range, [&](const Chunk& chunk) {
        uint8_t bytes[4];
        if (chunk.id == kStreamHeader && chunk.size >= 4 && file_.read(chunk.data, bytes, 4)) {
            type = LoadU32(bytes);
        } else if (chunk.id == kStreamFormat && type == kVideoStream &&
                   chunk.size >= kBitmapHeaderBytes && chunk.size <= kMostFormatBytes) {
            // The compressor layer reads the extra bytes and colour table the header names,
            // whatever the chunk holds: zeros stand for what it lacks.
            found_.format.assign(kMostFormatBytes, 0);
            if (file_.read(chunk.data, found_.format.data(), chunk.size)) {
                stream_ = number;
            }
        }
        return stream_ < 0;
    });
    return stream_ >= 0;
}

bool Walker::IsVideoChunk(FOURCC id) const {
    const int tens = int(id & 0xFF) - '0';
    const int units = int(id >> 8 & 0xFF) - '0';
    return tens >= 0 && tens <= 9 && units >= 0 && units <= 9 && tens * 10 + units == stream_ &&
           (id >> 16 & 0xFF) == 'd';
}

// The video chunks of a movie list, and of the records in it; false once a chunk runs past the
// end of the file or has no id, where the file's readable part ends.
bool Walker::WalkMovie(Range range, bool inRecord) {
    bool going = true;
    ForEachChunk(file_, range, [&](const Chunk& chunk) {
        if (!Printable(chunk.id) || chunk.size > file_.size() - chunk.data) {
            going = false;
        } else if (!inRecord && chunk.id == kListChunk && chunk.listType == kRecordList) {
            going = WalkMovie(ListData(chunk, range.end), true);
        } else if (IsVideoChunk(chunk.id)) {
            found_.chunks.push_back({chunk.data, chunk.size});
            going = found_.chunks.size() <= most_;
        }
        return going;
    });
    return going;
}

}  // namespace

std::optional<VideoChunks> FindVideoChunks(const std::string& path, size_t most) {
    const FileBytes file(path);
    if (!file.opened()) {
        return std::nullopt;
    }
    return Walker(file, most).Run();
}

std::unique_ptr<DamageFinder> DamageFinder::Open(const std::string& path, uint32_t frames) {
    auto stream = FindVideoChunks(path, frames);
    if (!stream || stream->chunks.size() != frames) {
        return nullptr;
    }
    std::unique_ptr<DamageFinder> finder(new DamageFinder);
    finder->stream_ = std::move(*stream);
    return finder->Begin(path) ? std::move(finder) : nullptr;
}

bool DamageFinder::Begin(const std::string& path) {
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(stream_.format.data());
    if (input->biCompression == BI_RGB) {
        return false;
    }
    decompressor_ = ICOpen(ICTYPE_VIDEO, input->biCompression, ICMODE_DECOMPRESS);
    const auto format = [&](UINT message, BITMAPINFOHEADER* output) {
        return ICSendMessage(decompressor_, message, reinterpret_cast<DWORD_PTR>(input),
                             reinterpret_cast<DWORD_PTR>(output)) == ICERR_OK;
    };
    if (!decompressor_ || !format(ICM_DECOMPRESS_GET_FORMAT, &output_) ||
        !format(ICM_DECOMPRESS_BEGIN, &output_)) {
        return false;
    }
    picture_.resize(output_.biSizeImage);
    file_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return file_ >= 0;
}

DamageFinder::~DamageFinder() {
    if (decompressor_) {
        ICSendMessage(decompressor_, ICM_DECOMPRESS_END, 0, 0);
        ICClose(decompressor_);
    }
    if (file_ >= 0) {
        close(file_);
    }
}

bool DamageFinder::NextDamaged() {
    if (next_ >= stream_.chunks.size()) {
        return false;
    }
    const VideoChunk& chunk = stream_.chunks[next_++];
    if (chunk.size <= kDroppedFrameBytes) {
        return false;
    }
    chunk_.resize(chunk.size);
    if (pread(file_, chunk_.data(), chunk.size, off_t(chunk.position)) != ssize_t(chunk.size)) {
        return true;
    }
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(stream_.format.data());
    input->biSizeImage = chunk.size;
    const DWORD result = ICDecompress(decompressor_, ICDECOMPRESS_HURRYUP, input, chunk_.data(),
                                      &output_, picture_.data());
    return LRESULT(int32_t(result)) < 0;
}

}  // namespace zedadu::host
