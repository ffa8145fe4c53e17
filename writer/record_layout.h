// How a file's records lie: settled once when the writer is set up, from the padding asked for and
// the form of the file, and kept on the writing handle for every step that lays bytes down.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zedadu::writer {

// Appends little-endian fields to a byte buffer of fixed capacity; writing past it only marks the
// assembly as failed, so a wrong size estimate can never overrun the buffer.
class RecordAssembler {
  public:
    RecordAssembler(uint8_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    void u32(uint32_t value);
    void bytes(const void* data, size_t count);
    void zeros(size_t count);
    void patch32(size_t at, uint32_t value);
    size_t size() const { return size_; }
    bool overflowed() const { return overflowed_; }
    const uint8_t* data() const { return buffer_; }

  private:
    bool room(size_t count);
    uint8_t* buffer_;
    size_t capacity_;
    size_t size_ = 0;
    bool overflowed_ = false;
};

// The header room of every padding up to this size ends where it does for this one.
inline constexpr uint32_t kSmallestPaddedRoom = 512;

// Bytes of the JUNK filler (header included) that brings a run of `length` bytes to the next
// multiple of the padding; a gap too small for a chunk header is carried over to the one after.
uint32_t FillerBytes(uint64_t length, uint32_t padding);
// Appends one JUNK chunk of exactly totalBytes bytes (8 of them its header).
void AppendJunk(RecordAssembler& out, uint32_t totalBytes);

struct RecordLayout {
    uint32_t padding = 0;      // records end on a multiple of it; 0: records are not padded
    uint32_t movieListAt = 0;  // the position of the first movie list's LIST: the header room's end

    bool padded() const { return padding != 0; }
    // Appends a record's LIST "rec " header when records are padded.
    void beginRecord(RecordAssembler& record) const;
    // Appends the filler and sets the LIST size; returns that size (0 without padding).
    uint32_t finishRecord(RecordAssembler& record) const;
    // The filler that moves a chunk which would begin at `position` to where the first record's
    // first chunk lies modulo the padding: the first chunk of each part of an OpenDML file.
    uint32_t fillerToFirstChunk(uint64_t position) const;
};

// The padding a writer keeps of the one asked for: below 8 bytes none (a filler needs 8), and above
// 512 an even one, since the padding also sets the header room there and an odd room would put the
// pad byte behind the header list on the movie list's first byte. Smaller odd paddings are kept:
// their records' fillers carry no pad byte.
uint32_t KeptPadding(uint32_t asked);
// The layout of a file in the legacy form; in the OpenDML form the header room grows to hold the
// super indexes, headerListBytes of them at the most.
RecordLayout LegacyLayout(uint32_t padding);
RecordLayout OpenDmlLayout(uint32_t padding, uint64_t headerListBytes);

}  // namespace zedadu::writer
