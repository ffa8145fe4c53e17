// Operations the reading steps share with one another; the entry points use reader.h.
#pragma once

#include <optional>

#include "reader/chunk_list.h"
#include "reader/reading_file.h"

namespace zedadu::reader {

class FrameCache;

// Opens a file for reading, with writers denied when the platform allows it, else without any
// sharing restriction. Holds nothing when neither open succeeds.
RiffFile OpenForReading(const char* path);

// Opens the handle's path into its file unless it is open already. False when it cannot be opened.
bool EnsureFileOpen(ReadingFile& file);

// Walks the RIFF structure of the handle's path, fills the stream fields, loads the index (OpenDML,
// legacy, or rebuilt from the movie lists when neither covers them) into the per-stream arrays
// with absolute data positions and derives the buffer limits. The file is closed again before
// returning. False when the file cannot be read as an AVI file.
bool ParseAviFile(ReadingFile& file);

enum class Stream { Video, Audio };

// Where chunk i of a stream lies: the one lookup through which frames and samples are read,
// whichever index the file was read by.
inline ChunkPlace ChunkAt(const StreamIndex& index, Stream stream, size_t i) {
    return stream == Stream::Video ? PlaceOf(index.video, index.videoPositionHigh, i)
                                   : PlaceOf(index.audio, index.audioPositionHigh, i);
}

// Finds the key frames of an index rebuilt from the movie lists, once the handler is settled.
void FindRebuiltKeyFrames(ReadingFile& reading);

// Counts the audio frames before every audio chunk, for the sample reads' chunk search.
void IndexAudioFrames(ReadingFile& file);

// Opens the audio decoder of a track that is not 8/16-bit PCM; other tracks get none.
void SetUpAudioDecoding(ReadingFile& reading);

// Counts the decoded frames before every audio chunk of a decoded track and takes the total for the
// track's length: from the chunk sizes where the coding allows, else by decoding the track once.
void IndexDecodedAudioFrames(ReadingFile& reading);

// Decodes the frames [first, first + frames) of a decoded track into 16-bit interleaved samples.
// The frames lie within the track; the file is open. Answers how many frames come before the
// first that a chunk the decoder refused stands in for as silence (all of them when none does);
// nothing when the decoder cannot start.
std::optional<uint64_t> ReadDecodedRun(ReadingFile& reading, uint64_t first, uint64_t frames,
                                       int16_t* out);

// Sends a decompressor message with the stream format and the output format of the handle.
LRESULT SendFormats(const vfw::Compressor& decompressor, UINT message, ReadingFile& file);

// Decoding one frame's chunk: it failed (a short read), the chunk carries no picture (2 bytes or
// less, a dropped frame), or it was decoded, and its call released a picture or none.
enum class Decoded { Failed, Dropped, Done, NoPicture };
Decoded DecodeFrame(ReadingFile& reading, uint32_t frame, FrameCache& cache, DWORD drawFlags,
                    uint8_t* target);
// The decompressor draws the newest picture it released again, decoding nothing.
void Redraw(ReadingFile& reading, uint8_t* target);

// More chunks held back than any codec needs is a decompressor gone wrong; feeding that far
// ahead would only cost time.
inline constexpr int32_t kMostHeldBack = 64;
// How many chunks the decompressor holds back now, as it answers ICM_DECOMPRESS_HELD_BACK.
int32_t AskHeldBack(const Decoding& decoding);

// The target receives the picture that belongs at the frame, from a decompressor that holds
// pictures back: chunks are fed ahead and drained at the end of the stream.
bool DecodeHeldBack(ReadingFile& reading, uint32_t frame, FrameCache& cache, uint8_t* target);
// The same for a decompressor that has just said it holds pictures back, fed through a chunk
// (releasedBefore: the chunks before that one released their pictures), without starting again.
bool ContinueHeldBack(ReadingFile& reading, uint32_t frame, uint32_t fedThrough,
                      bool releasedBefore, FrameCache& cache, uint8_t* target);

}  // namespace zedadu::reader
