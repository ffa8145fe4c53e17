#include "platform/mmio/mmio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

struct MmioFile {
    int descriptor = -1;
    int64_t position = 0;
    // The read buffer holds the file bytes from bufferStart on.
    std::vector<char> buffer;
    int64_t bufferStart = 0;
    size_t bufferLength = 0;
};

namespace {

constexpr size_t kReadBufferSize = 64 * 1024;
constexpr int64_t kLargestChunkOffset = std::numeric_limits<DWORD>::max();
HMMIO const kYes = reinterpret_cast<HMMIO>(uintptr_t{1});

uint32_t LoadLittleEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void StoreLittleEndian32(char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
}

int OpenFlags(DWORD flags) {
    int open = O_CLOEXEC;
    if (flags & MMIO_READWRITE) {
        open |= O_RDWR;
    } else if (flags & MMIO_WRITE) {
        open |= O_WRONLY;
    } else {
        open |= O_RDONLY;
    }
    if (flags & MMIO_CREATE) {
        open |= O_CREAT | O_TRUNC;
    }
    return open;
}

// Reads at an absolute position, retrying interrupted and partial reads; stops at the end.
ssize_t ReadAt(int descriptor, char* out, size_t count, int64_t position) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(descriptor, out + done, count - done, position + int64_t(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += size_t(got);
    }
    return ssize_t(done);
}

bool WriteAt(int descriptor, const char* data, size_t count, int64_t position) {
    size_t done = 0;
    while (done < count) {
        const ssize_t put = pwrite(descriptor, data + done, count - done, position + int64_t(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += size_t(put);
    }
    return true;
}

bool ReadExactly(HMMIO file, char* out, LONG count) {
    return mmioRead(file, out, count) == count;
}

bool WriteExactly(HMMIO file, const char* data, LONG count) {
    return mmioWrite(file, data, count) == count;
}

int64_t PaddedEnd(const MMCKINFO64& chunk) {
    return int64_t(chunk.dwDataOffset) + chunk.cksize + (chunk.cksize & 1);
}

bool Matches(const MMCKINFO64& found, const MMCKINFO64& wanted, UINT flags) {
    if (flags & MMIO_FINDRIFF) {
        return found.ckid == FOURCC_RIFF && found.fccType == wanted.fccType;
    }
    if (flags & MMIO_FINDLIST) {
        return found.ckid == FOURCC_LIST && found.fccType == wanted.fccType;
    }
    if (flags & MMIO_FINDCHUNK) {
        return found.ckid == wanted.ckid;
    }
    return true;
}

// Reads the chunk header at the current position; the type of a RIFF or LIST chunk too. The
// chunk's data must start at or below the last position.
bool ReadChunkHeader(HMMIO file, int64_t end, int64_t last, MMCKINFO64* chunk) {
    const int64_t start = file->position;
    if (start > end - 8 || start > last - 8) {
        return false;
    }
    char header[8];
    if (!ReadExactly(file, header, sizeof header)) {
        return false;
    }
    chunk->ckid = LoadLittleEndian32(header);
    chunk->cksize = LoadLittleEndian32(header + 4);
    chunk->fccType = 0;
    chunk->dwDataOffset = uint64_t(start + 8);
    chunk->dwFlags = 0;
    if (chunk->ckid == FOURCC_RIFF || chunk->ckid == FOURCC_LIST) {
        char type[4];
        if (!ReadExactly(file, type, sizeof type)) {
            return false;
        }
        chunk->fccType = LoadLittleEndian32(type);
    }
    return true;
}

MMRESULT Descend(HMMIO file, MMCKINFO64* chunk, const MMCKINFO64* parent, UINT flags,
                 int64_t last) {
    if (!file || !chunk) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    const int64_t start = file->position;
    const int64_t end = parent ? int64_t(parent->dwDataOffset) + parent->cksize
                               : std::numeric_limits<int64_t>::max();
    MMCKINFO64 found{};
    while (ReadChunkHeader(file, end, last, &found)) {
        if (Matches(found, *chunk, flags)) {
            *chunk = found;
            return MMSYSERR_NOERROR;
        }
        file->position = PaddedEnd(found);
    }
    file->position = start;
    return MMIOERR_CHUNKNOTFOUND;
}

MMRESULT Ascend(HMMIO file, MMCKINFO64* chunk) {
    if (!file || !chunk) {
        return MMIOERR_CANNOTSEEK;
    }
    if (chunk->dwFlags & MMIO_DIRTY) {
        const int64_t size = file->position - int64_t(chunk->dwDataOffset);
        if (size < 0 || size > kLargestChunkOffset) {
            return MMIOERR_CANNOTEXPAND;
        }
        if (size & 1) {
            const char pad = 0;
            if (!WriteExactly(file, &pad, 1)) {
                return MMIOERR_CANNOTWRITE;
            }
        }
        char field[4];
        StoreLittleEndian32(field, static_cast<uint32_t>(size));
        file->position = int64_t(chunk->dwDataOffset) - 4;
        if (!WriteExactly(file, field, sizeof field)) {
            return MMIOERR_CANNOTWRITE;
        }
        chunk->cksize = static_cast<DWORD>(size);
        chunk->dwFlags &= ~MMIO_DIRTY;
    }
    file->position = PaddedEnd(*chunk);
    return MMSYSERR_NOERROR;
}

MMRESULT CreateChunk(HMMIO file, MMCKINFO64* chunk, UINT flags, int64_t last) {
    if (!file || !chunk) {
        return MMIOERR_CANNOTWRITE;
    }
    const int64_t start = file->position;
    if (start > last - 8) {
        return MMIOERR_CANNOTEXPAND;
    }
    const bool list = flags & (MMIO_CREATERIFF | MMIO_CREATELIST);
    if (flags & MMIO_CREATERIFF) {
        chunk->ckid = FOURCC_RIFF;
    } else if (flags & MMIO_CREATELIST) {
        chunk->ckid = FOURCC_LIST;
    }
    char header[12];
    StoreLittleEndian32(header, chunk->ckid);
    StoreLittleEndian32(header + 4, chunk->cksize);
    StoreLittleEndian32(header + 8, chunk->fccType);
    if (!WriteExactly(file, header, list ? 12 : 8)) {
        return MMIOERR_CANNOTWRITE;
    }
    chunk->dwDataOffset = uint64_t(start + 8);
    chunk->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}

MMCKINFO64 Widened(const MMCKINFO& chunk) {
    return {chunk.ckid, chunk.cksize, chunk.fccType, chunk.dwDataOffset, chunk.dwFlags};
}

// Safe narrowing: the 32-bit calls only find and create chunks whose data starts below 4 GiB,
// and leave the record as it was when they fail.
void Narrow(const MMCKINFO64& wide, MMCKINFO* chunk) {
    *chunk = {wide.ckid, wide.cksize, wide.fccType, static_cast<DWORD>(wide.dwDataOffset),
              wide.dwFlags};
}

}  // namespace

HMMIO mmioOpenA(const char* fileName, MMIOINFO*, DWORD flags) {
    if (!fileName) {
        return nullptr;
    }
    if (flags & MMIO_EXIST) {
        struct stat status {};
        return stat(fileName, &status) == 0 ? kYes : nullptr;
    }
    if (flags & MMIO_DELETE) {
        return unlink(fileName) == 0 ? kYes : nullptr;
    }
    const int descriptor = open(fileName, OpenFlags(flags), 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    auto* file = new MmioFile;
    file->descriptor = descriptor;
    return file;
}

MMRESULT mmioClose(HMMIO file, UINT) {
    if (!file || file == kYes) {
        return MMIOERR_CANNOTWRITE;
    }
    const int result = close(file->descriptor);
    delete file;
    return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

LONG mmioRead(HMMIO file, char* buffer, LONG count) {
    if (!file || count < 0) {
        return -1;
    }
    size_t done = 0;
    const size_t wanted = size_t(count);
    while (done < wanted) {
        const int64_t at = file->position;
        if (at >= file->bufferStart && at < file->bufferStart + int64_t(file->bufferLength)) {
            const size_t offset = size_t(at - file->bufferStart);
            const size_t take = std::min(wanted - done, file->bufferLength - offset);
            memcpy(buffer + done, file->buffer.data() + offset, take);
            done += take;
            file->position += int64_t(take);
            continue;
        }
        if (wanted >= kReadBufferSize) {
            // Large reads go straight into the caller's memory, also for what is left after the
            // buffered part: refilling the buffer there would copy every later read of a
            // sequence that started inside it.
            const ssize_t got = ReadAt(file->descriptor, buffer + done, wanted - done, at);
            if (got < 0) {
                return -1;
            }
            done += size_t(got);
            file->position += got;
            break;
        }
        file->buffer.resize(kReadBufferSize);
        const ssize_t got = ReadAt(file->descriptor, file->buffer.data(), kReadBufferSize, at);
        if (got < 0) {
            return -1;
        }
        file->bufferStart = at;
        file->bufferLength = size_t(got);
        if (got == 0) {
            break;
        }
    }
    return LONG(done);
}

LONG mmioWrite(HMMIO file, const char* buffer, LONG count) {
    if (!file || count < 0) {
        return -1;
    }
    // Whatever the read buffer holds may be stale after a write.
    file->bufferLength = 0;
    if (!WriteAt(file->descriptor, buffer, size_t(count), file->position)) {
        return -1;
    }
    file->position += count;
    return count;
}

int64_t mmioSeek(HMMIO file, int64_t offset, int origin) {
    if (!file) {
        return -1;
    }
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = file->position;
    } else if (origin == SEEK_END) {
        struct stat status {};
        if (fstat(file->descriptor, &status) != 0) {
            return -1;
        }
        base = status.st_size;
    } else if (origin != SEEK_SET) {
        return -1;
    }
    if (offset < -base) {
        return -1;
    }
    file->position = base + offset;
    return file->position;
}

MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags) {
    if (!chunk) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    MMCKINFO64 wide = Widened(*chunk);
    const MMCKINFO64 wideParent = parent ? Widened(*parent) : MMCKINFO64{};
    const MMRESULT result =
        Descend(file, &wide, parent ? &wideParent : nullptr, flags, kLargestChunkOffset);
    Narrow(wide, chunk);
    return result;
}

MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, UINT) {
    if (!chunk) {
        return MMIOERR_CANNOTSEEK;
    }
    MMCKINFO64 wide = Widened(*chunk);
    const MMRESULT result = Ascend(file, &wide);
    Narrow(wide, chunk);
    return result;
}

MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, UINT flags) {
    if (!chunk) {
        return MMIOERR_CANNOTWRITE;
    }
    MMCKINFO64 wide = Widened(*chunk);
    const MMRESULT result = CreateChunk(file, &wide, flags, kLargestChunkOffset);
    Narrow(wide, chunk);
    return result;
}

MMRESULT mmioDescend64(HMMIO file, MMCKINFO64* chunk, const MMCKINFO64* parent, UINT flags) {
    return Descend(file, chunk, parent, flags, std::numeric_limits<int64_t>::max());
}

MMRESULT mmioAscend64(HMMIO file, MMCKINFO64* chunk, UINT) {
    return Ascend(file, chunk);
}

MMRESULT mmioCreateChunk64(HMMIO file, MMCKINFO64* chunk, UINT flags) {
    return CreateChunk(file, chunk, flags, std::numeric_limits<int64_t>::max());
}

namespace zedadu {

RiffFile& RiffFile::operator=(RiffFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = other.file_;
        other.file_ = nullptr;
    }
    return *this;
}

bool RiffFile::close() {
    if (!file_) {
        return true;
    }
    const MMRESULT result = mmioClose(file_, 0);
    file_ = nullptr;
    return result == MMSYSERR_NOERROR;
}

}  // namespace zedadu
