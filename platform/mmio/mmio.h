// Multimedia file I/O for RIFF files: a buffered file with chunk descend, ascend and create.
//
// Chunk searches run inside a parent from the current position; chunk data is padded to an even
// size. Reads are buffered (large reads go straight into the caller's memory); writes go straight
// to the file so that every failed write is reported by the call that made it. Positions are
// 64-bit so that the whole 4 GiB range of the format can be addressed; the chunk calls whose names
// end in 64 also find, create and leave chunks that start beyond 4 GiB, as files of several RIFF
// parts have them.
#pragma once

#include <cstdio>  // SEEK_SET, SEEK_CUR, SEEK_END: the origins of mmioSeek

#include "platform/win32/types.h"

struct MmioFile;
using HMMIO = MmioFile*;
using MMRESULT = UINT;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    DWORD dwDataOffset;  // for RIFF and LIST chunks the position of the type field
    DWORD dwFlags;
};
// The same with a 64-bit data position; the 32-bit calls refuse chunks whose data would start
// beyond what DWORD holds.
struct MMCKINFO64 {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    uint64_t dwDataOffset;
    DWORD dwFlags;
};
constexpr DWORD MMIO_DIRTY = 0x10000000;  // set on created chunks: ascending writes their size

// The two chunks that hold others: a RIFF form and a LIST.
constexpr FOURCC FOURCC_RIFF = FourCC("RIFF");
constexpr FOURCC FOURCC_LIST = FourCC("LIST");

constexpr DWORD MMIO_READ = 0x0;
constexpr DWORD MMIO_WRITE = 0x1;
constexpr DWORD MMIO_READWRITE = 0x2;
constexpr DWORD MMIO_DENYWRITE = 0x20;
constexpr DWORD MMIO_DENYNONE = 0x40;
constexpr DWORD MMIO_DELETE = 0x200;
constexpr DWORD MMIO_CREATE = 0x1000;
constexpr DWORD MMIO_EXIST = 0x4000;

constexpr UINT MMIO_FINDCHUNK = 0x10;
constexpr UINT MMIO_FINDRIFF = 0x20;
constexpr UINT MMIO_FINDLIST = 0x40;
constexpr UINT MMIO_CREATERIFF = 0x20;
constexpr UINT MMIO_CREATELIST = 0x40;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMIOERR_CANNOTSEEK = 256 + 6;
constexpr MMRESULT MMIOERR_CANNOTREAD = 256 + 7;
constexpr MMRESULT MMIOERR_CANNOTWRITE = 256 + 8;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 256 + 9;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = 256 + 10;

struct MMIOINFO;  // not used: every call takes null

// MMIO_EXIST answers (HMMIO)1 when the file exists, else null; MMIO_DELETE answers (HMMIO)1 when
// the file was deleted. Otherwise opens for reading, writing (MMIO_WRITE | MMIO_CREATE creates or
// truncates) or both; null on failure.
HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD flags);
MMRESULT mmioClose(HMMIO file, UINT flags);
// Returns the bytes read (fewer at the end of the file), or -1 on error.
LONG mmioRead(HMMIO file, char* buffer, LONG count);
// Returns count when everything was written, else -1.
LONG mmioWrite(HMMIO file, const char* buffer, LONG count);
// Returns the new position, or -1 when the position would be negative.
int64_t mmioSeek(HMMIO file, int64_t offset, int origin);
MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags);
MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, UINT flags);
MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, UINT flags);
MMRESULT mmioDescend64(HMMIO file, MMCKINFO64* chunk, const MMCKINFO64* parent, UINT flags);
MMRESULT mmioAscend64(HMMIO file, MMCKINFO64* chunk, UINT flags);
MMRESULT mmioCreateChunk64(HMMIO file, MMCKINFO64* chunk, UINT flags);

namespace zedadu {

// An open RIFF file and the one place where it is closed: when its owner goes, or by close(),
// which tells whether closing succeeded. The answers of MMIO_EXIST and MMIO_DELETE are no files
// and are never held.
class RiffFile {
  public:
    RiffFile() = default;
    explicit RiffFile(HMMIO file) : file_(file) {}
    ~RiffFile() { close(); }
    RiffFile(RiffFile&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    RiffFile& operator=(RiffFile&& other) noexcept;
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    HMMIO get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    // True when the file closed without error, or when none was open.
    bool close();

  private:
    HMMIO file_ = nullptr;
};

}  // namespace zedadu
