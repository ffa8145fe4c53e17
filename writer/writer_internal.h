// What the steps of the writing side share: the module-wide buffers, the stream start, the record
// writer, the index and header writers, and the arithmetic of the file layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "avi/ids.h"
#include "core/grow_only_buffer.h"
#include "core/host_text.h"
#include "core/records.h"
#include "dialog/settings_dialog.h"
#include "writer/testing.h"
#include "writer/writing_file.h"

namespace zedadu::writer {

using avi::kUncompressedHandler;
inline constexpr uint64_t kOpenDmlPartBytes = uint64_t{1} << 30;
// The writer's streams: video first, then audio.
inline constexpr FOURCC kAudioChunk = avi::StreamChunkId(1, avi::kAudioDataType);
// The largest file the format can address: every position and size is a 32-bit number.
inline constexpr uint64_t kLargestFileSize = 0xFFFFFFFFu;

// The module-wide buffers of the writing side, reused by every writing handle under the access
// lock: the chunk buffer in which records and chunks are assembled before one write, and the
// buffer that receives the compressor's output.
class WriterBuffers {
  public:
    constexpr WriterBuffers() = default;
    WriterBuffers(const WriterBuffers&) = delete;
    WriterBuffers& operator=(const WriterBuffers&) = delete;

    // False when the memory cannot be had.
    bool ensureChunk(size_t size) { return chunk_.ensure(size); }
    // An assembler over the whole chunk buffer.
    RecordAssembler chunkAssembler() { return RecordAssembler(chunk_.data(), chunk_.capacity()); }
    GrowOnlyBuffer& compressed() { return compressed_; }
    // A close gives the chunk buffer back; the unload both.
    void releaseChunk() { chunk_.release(); }
    void release() {
        chunk_.release();
        compressed_.release();
    }

  private:
    GrowOnlyBuffer chunk_;
    GrowOnlyBuffer compressed_;
};
WriterBuffers& TheWriterBuffers();

// What tests and benchmarks may change in the writer (writer/testing.h sets them).
struct WriterSwitches {
    // Crash safety: the header list written at stream start and refreshed once a second of video,
    // and audio slots filled with their chunk header last.
    bool crashSafe = true;
    // Careful OpenDML writers keep every RIFF part within 1 GiB: readers of AVI 1.0 that take
    // offsets as signed 32-bit numbers read the whole first part, and each part's standard indexes
    // stay far from the 4 GiB their 32-bit offsets reach.
    uint64_t openDmlPartBytes = kOpenDmlPartBytes;
    // The settings call runs the settings dialog through this.
    SettingsDialogRunner dialogRunner = &dialog::RunSettingsDialog;
};
const WriterSwitches& Switches();

// The settings block of a writing handle always holds at least its 148-byte header.
inline CompressionSettings& Settings(WritingFile& writing) {
    return writing.settingsBlock.settings();
}
inline const CompressionSettings& Settings(const WritingFile& writing) {
    return writing.settingsBlock.settings();
}
// Layout identifiers from the host are compared within their 100-byte fields.
inline bool SameFormatId(const char* a, const char* b) {
    return strncmp(a, b, kTextSize) == 0;
}
// The compressed format starts as the frame format: its header and as much of a palette as
// 256 entries take.
inline void SeedCompressedFormat(WritingFile& writing) {
    constexpr size_t kHeaderAndPalette = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
    memcpy(&writing.compressedFormat, &writing.frameFormat, kHeaderAndPalette);
}
inline bool HasVideo(const WritingFile& writing) {
    return writing.frameFormat.header.biSize > 0;
}
inline bool HasAudio(const WritingFile& writing) {
    return writing.waveFormat.nSamplesPerSec > 0;
}

// The state length of a format's settings block, when the block has its header and holds the
// state its header claims; false otherwise.
bool HeldStateSize(const ImageFormatStruct& video, uint32_t& stateSize);

// Whether the finished file (movie data up to movieEnd, then the index with extraEntries more
// entries) stays within what the format can address.
bool FinishedFileFits(const WritingFile& writing, uint64_t movieEnd, size_t extraEntries);
// Records a reserved audio slot in the ring.
void RecordAudioSlot(WritingFile& writing, uint64_t position);
// Makes room for more index entries, so that appending them afterwards cannot fail.
bool ReserveIndexEntries(std::vector<IndexEntry>& entries, size_t more);
// Appends an entry whose offset is a file position, taken relative to the type field of the movie
// list that holds it.
void AppendMovieEntry(WritingFile& writing, std::vector<IndexEntry>& entries, FOURCC chunkId,
                      uint32_t flags, uint64_t position, uint32_t size);

// Creates the file and the movie list and sets the compressor going (first frame, lock held).
bool StartStream(WritingFile& writing);
// Appends one record with a video chunk "00" + code (a two-character code, first character in
// the low byte) and a fresh audio slot. Lock held.
bool WriteVideoRecord(WritingFile& writing, const void* data, uint32_t size, uint32_t flags,
                      uint16_t code);
// The index and the header list, written at close.
bool WriteIndexChunk(WritingFile& writing);
bool WriteHeaderList(WritingFile& writing);
// Writes the first videoCount entries of videoIndex and audioCount of audioIndex at the file
// position, merged in file order.
bool WriteMergedEntries(const WritingFile& writing, size_t videoCount, size_t audioCount);
// The header list as bytes from position 12 up to the movie list, with a handler code and,
// in the OpenDML form, with or without the parts' standard indexes named.
bool AssembleHeaderList(const WritingFile& writing, FOURCC handler, bool indexed,
                        std::vector<uint8_t>& bytes);
// Writes the header list again with the counts of the moment (the handler upper-cased in a copy).
bool RewriteHeaderList(WritingFile& writing, FOURCC handler, bool indexed);
// Bytes of the header list for the handle's formats, so that stream start can refuse a format
// whose headers would not fit the header room; with a video format of some size.
uint64_t HeaderListBytes(const WritingFile& writing);
uint64_t HeaderListBytes(const WritingFile& writing, uint64_t videoFormatBytes);

// Writes the header list again once a second of video has been recorded since the last time.
void RefreshHeaderList(WritingFile& writing);

// The OpenDML form.
inline constexpr size_t kSuperIndexEntries = 4096;  // RIFF parts a file can have
inline constexpr uint64_t kSuperIndexBytes = 24 + 16 * kSuperIndexEntries;
inline constexpr uint64_t kOpenDmlHeaderBytes = 248;  // 'dmlh': the total frames and room
void BeginFirstPart(WritingFile& writing);
// Before a record of recordBytes with `entries` index entries is appended: begins a new part
// when the last one would grow past the part size; false when that fails or no part is left.
bool MakeRoomForRecord(WritingFile& writing, uint64_t recordBytes, size_t entries);
// Counts a record appended to the last part (a frame's, or an opening one with its slot).
void CountRecord(WritingFile& writing, size_t entries, bool slot);
void CountOpeningRecord(WritingFile& writing, size_t entries);
MoviePart& PartHolding(WritingFile& writing, uint64_t position);
void AppendSuperIndex(const WritingFile& writing, RecordAssembler& out, int stream, bool indexed);
void AppendOpenDmlList(const WritingFile& writing, RecordAssembler& out);
void FinishOpenDmlFile(WritingFile& writing);
// Appends the record's sample frames to the held-back audio, converting 16-bit samples for an
// 8-bit file.
bool AppendPendingAudio(WritingFile& writing, const AudioWriteRecord& record);

}  // namespace zedadu::writer
