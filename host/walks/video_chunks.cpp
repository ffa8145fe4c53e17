#include "host/walks/video_chunks.h"

#include "avi/chunk_cursor.h"
#include "avi/ids.h"
#include "host/walks/file_bytes.h"

namespace zedadu::host {
namespace {

using namespace avi;

// A video format: the bitmap header, up to 64 KiB of extra bytes and a colour table, as
// much as the compressor layer takes.
constexpr uint32_t kBitmapHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr uint32_t kMostFormatBytes = kBitmapHeaderBytes + 65536 + 1024;
constexpr uint32_t kDroppedFrameBytes = 2;

// A list's chunks: within the size it claims where the enclosing range holds that, else to the
// end of that range (a recording never finished, a file cut short).
ChunkCursor ListChunks(const ByteSource& source, const Chunk& list, const ChunkCursor& enclosing) {
    return list.claimed >= 4 && list.whole() ? enclosing.inside(list)
                                             : ChunkCursor(source, list.data + 4, enclosing.end());
}

class Walker {
  public:
    Walker(const FileBytes& file, size_t most) : file_(file), most_(most) {}
    std::optional<VideoChunks> Run();

  private:
    void ReadHeaderList(ChunkCursor list);
    bool ReadStreamList(ChunkCursor list, int number);
    bool WalkMovie(ChunkCursor list, bool inRecord);
    bool IsVideoChunk(FOURCC id) const {
        return TwoDigitStream(id) == stream_ && (id >> 16 & 0xFF) == 'd';
    }

    const FileBytes& file_;
    size_t most_;
    int stream_ = -1;  // the video stream's number
    VideoChunks found_;
};

// The 'AVI ' form, then the 'AVIX' parts that follow it, up to the first movie list after the
// video stream's format.
std::optional<VideoChunks> Walker::Run() {
    ChunkCursor file(file_, 0, file_.size());
    Chunk part;
    bool going = true;
    for (bool first = true; going && file.next(part); first = false) {
        if (part.id != kRiffChunk || part.listType != (first ? kAviForm : kExtendedForm)) {
            break;
        }
        ChunkCursor form = ListChunks(file_, part, file);
        Chunk chunk;
        while (form.next(chunk)) {
            if (first && chunk.isList(kHeaderList)) {
                ReadHeaderList(ListChunks(file_, chunk, form));
            } else if (stream_ >= 0 && chunk.isList(kMovieList)) {
                going = WalkMovie(ListChunks(file_, chunk, form), false);
                break;
            }
        }
    }
    if (stream_ < 0) {
        return std::nullopt;
    }
    return std::move(found_);
}

void Walker::ReadHeaderList(ChunkCursor list) {
    int number = 0;
    Chunk chunk;
    while (list.next(chunk)) {
        if (chunk.isList(kStreamList) && ReadStreamList(ListChunks(file_, chunk, list), number++)) {
            return;
        }
    }
}

// True when the list is the first video stream's and its format was read.
bool Walker::ReadStreamList(ChunkCursor list, int number) {
    FOURCC type = 0;
    Chunk chunk;
    while (stream_ < 0 && list.next(chunk)) {
        uint8_t bytes[4];
        if (chunk.id == kStreamHeader && chunk.claimed >= 4 && file_.read(chunk.data, bytes, 4)) {
            type = LoadU32(bytes);
        } else if (chunk.id == kStreamFormat && type == kVideoStream &&
                   chunk.claimed >= kBitmapHeaderBytes && chunk.claimed <= kMostFormatBytes) {
            // The compressor layer reads the extra bytes and colour table the header names,
            // whatever the chunk holds: zeros stand for what it lacks.
            found_.format.assign(kMostFormatBytes, 0);
            if (file_.read(chunk.data, found_.format.data(), chunk.claimed)) {
                stream_ = number;
            }
        }
    }
    return stream_ >= 0;
}

// The video chunks of a movie list, and of the records in it; false once a chunk runs past the
// end of the file or has no id, where the file's readable part ends.
bool Walker::WalkMovie(ChunkCursor list, bool inRecord) {
    Chunk chunk;
    while (list.next(chunk)) {
        if (!PrintableCode(chunk.id) || chunk.claimed > file_.size() - chunk.data) {
            return false;
        }
        if (!inRecord && chunk.isList(kRecordList)) {
            if (!WalkMovie(ListChunks(file_, chunk, list), true)) {
                return false;
            }
        } else if (IsVideoChunk(chunk.id)) {
            found_.chunks.push_back({chunk.data, chunk.claimed});
            if (found_.chunks.size() > most_) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::optional<VideoChunks> FindVideoChunks(const FileBytes& file, size_t most) {
    return Walker(file, most).Run();
}

std::unique_ptr<DamageFinder> DamageFinder::Open(const std::string& path, uint32_t frames) {
    auto file = std::make_unique<FileBytes>(path);
    auto stream = file->opened() ? FindVideoChunks(*file, frames) : std::nullopt;
    if (!stream || stream->chunks.size() != frames) {
        return nullptr;
    }
    std::unique_ptr<DamageFinder> finder(new DamageFinder);
    finder->stream_ = std::move(*stream);
    finder->file_ = std::move(file);
    return finder->Begin() ? std::move(finder) : nullptr;
}

bool DamageFinder::Begin() {
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(stream_.format.data());
    if (input->biCompression == BI_RGB) {
        return false;
    }
    decompressor_ = vfw::Compressor(input->biCompression, ICMODE_DECOMPRESS);
    const auto format = [&](UINT message, BITMAPINFOHEADER* output) {
        return decompressor_.send(message, input, output) == ICERR_OK;
    };
    if (!decompressor_ || !format(ICM_DECOMPRESS_GET_FORMAT, &output_) ||
        !format(ICM_DECOMPRESS_BEGIN, &output_)) {
        return false;
    }
    picture_.resize(output_.biSizeImage);
    return true;
}

DamageFinder::~DamageFinder() = default;

bool DamageFinder::NextDamaged() {
    if (next_ >= stream_.chunks.size()) {
        return false;
    }
    const VideoChunk& chunk = stream_.chunks[next_++];
    if (chunk.size <= kDroppedFrameBytes) {
        return false;
    }
    chunk_.resize(chunk.size);
    if (!file_->read(chunk.position, chunk_.data(), chunk.size)) {
        return true;
    }
    auto* input = reinterpret_cast<BITMAPINFOHEADER*>(stream_.format.data());
    input->biSizeImage = chunk.size;
    const DWORD result = ICDecompress(decompressor_.get(), ICDECOMPRESS_HURRYUP, input,
                                      chunk_.data(), &output_, picture_.data());
    return LRESULT(int32_t(result)) < 0;
}

}  // namespace zedadu::host
