// Operations the reading steps share with one another; the entry points use reader.h.
#pragma once

#include "reader/reading_file.h"

namespace zedadu::reader {

// Opens a file for reading, with writers denied when the platform allows it, else without any
// sharing restriction. Holds nothing when neither open succeeds.
RiffFile OpenForReading(const char* path);

// Opens the handle's path into its file unless it is open already. False when it cannot be opened.
bool EnsureFileOpen(ReadingFile& file);

// Walks the RIFF structure of the handle's path, fills the stream fields, loads the legacy index
// into the per-stream arrays with absolute data positions and derives the buffer limits. The
// file is closed again before returning. False when the file cannot be read as an AVI file.
bool ParseAviFile(ReadingFile& file);

// Counts the audio frames before every audio chunk, for the sample reads' chunk search.
void IndexAudioFrames(ReadingFile& file);

// Sends a decompressor message with the stream format and the output format of the handle.
LRESULT SendFormats(const vfw::Compressor& decompressor, UINT message, ReadingFile& file);

}  // namespace zedadu::reader
