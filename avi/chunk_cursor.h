// The one way through a RIFF file's chunks, for every walk of reader and host: a cursor over a
// range of a byte source that reads one chunk header at a time, bounds the size the header claims
// by what the range still holds before anything uses it, steps over the pad byte of an odd size,
// and descends into lists. A hostile size can only end the walk early: every step moves forward by
// a chunk header at least, and nothing is allocated because of what a header claims.
#pragma once

#include <cstddef>
#include <cstdint>

#include "avi/ids.h"
#include "platform/mmio/mmio.h"

namespace zedadu::avi {

// Where the bytes of a file come from.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly `count` bytes at `at`, or false.
    virtual bool read(uint64_t at, void* out, size_t count) const = 0;
};

// Bytes held in memory (a fuzz input, a file read whole).
class MemoryBytes final : public ByteSource {
  public:
    MemoryBytes(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t at, void* out, size_t count) const override;

  private:
    const uint8_t* bytes_;
    size_t size_;
};

// An open RIFF file of a known size, read through the platform's file I/O; the reads move the
// file's position.
class RiffFileBytes final : public ByteSource {
  public:
    RiffFileBytes(HMMIO file, uint64_t size) : file_(file), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t at, void* out, size_t count) const override;

  private:
    HMMIO file_;
    uint64_t size_;
};

struct Chunk {
    FOURCC id = 0;
    FOURCC listType = 0;   // of a RIFF or LIST chunk
    uint64_t data = 0;     // behind the 8-byte header: for a list, the position of its type
    uint32_t claimed = 0;  // the size its header claims
    uint64_t size = 0;     // the claimed size, cut to what the range holds behind the header

    bool isList() const { return id == kRiffChunk || id == kListChunk; }
    // A LIST of this type whose size holds the type.
    bool isList(FOURCC type) const { return id == kListChunk && size >= 4 && listType == type; }
    bool whole() const { return size == claimed; }
    uint64_t header() const { return data - kChunkHeaderBytes; }
    // Behind the chunk as it claims to be, pad byte included.
    uint64_t paddedEnd() const { return data + claimed + (claimed & 1); }
};

class ChunkCursor {
  public:
    // The chunks in [begin, end) of the source; an end past the source's is cut to it.
    ChunkCursor(const ByteSource& source, uint64_t begin, uint64_t end);

    // Reads the chunk header at the cursor and moves behind the chunk as it claims to be. False,
    // with the cursor unmoved, when no whole header (of a list: with its type) is left in range.
    bool next(Chunk& chunk);
    // The chunks inside a list, within what the range holds of it.
    ChunkCursor inside(const Chunk& list) const;
    // Goes on behind the list's type, into its chunks, keeping this cursor's range: for walks that
    // follow the file's order whatever sizes its lists claim (files cut short, recordings never
    // finished).
    void stepInto(const Chunk& list) { position_ = list.data + 4; }
    uint64_t position() const { return position_; }
    uint64_t end() const { return end_; }

  private:
    const ByteSource& source_;
    uint64_t position_;
    uint64_t end_;
};

// Whether a size a list's header claims is to be believed: neither 0 (a recording never finished)
// nor running past the end of the file (a file cut short).
bool SizeBelieved(uint64_t data, uint64_t claimed, uint64_t fileSize);
// Whether an 'AVIX' part follows the file's first RIFF form, which claims to end at formEnd: the
// file goes on, and its legacy index covers only the first part.
bool ContinuedInParts(const ByteSource& source, uint64_t formEnd);

}  // namespace zedadu::avi
