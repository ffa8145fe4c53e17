// Operations the reading steps share with one another; the entry points use reader.h.
#pragma once

#include "frame/avi_file_handle.h"

namespace zedadu::reader {

// Opens a file for reading, with writers denied when the platform allows it, else without any
// sharing restriction. Null when neither open succeeds.
HMMIO OpenForReading(const char* path);

// Opens handle.path into handle.mmioFile unless it is open already. False when it cannot be opened.
bool EnsureFileOpen(AviFileHandle& handle);

// Walks the RIFF structure of handle.path, fills the stream fields, loads the legacy index into
// the per-stream arrays with absolute data positions and derives the buffer limits. The file is
// closed again before returning. False when the file cannot be read as an AVI file.
bool ParseAviFile(AviFileHandle& handle);

// Counts the audio frames before every audio chunk, for the sample reads' chunk search.
void IndexAudioFrames(AviFileHandle& handle);

// Sends a decompressor message with the source and output formats of the handle.
LRESULT SendFormats(HIC decompressor, UINT message, AviFileHandle& handle);

// Ends and closes the handle's decompressor, when one is open.
void CloseDecompressor(AviFileHandle& handle);

}  // namespace zedadu::reader
