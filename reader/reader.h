// The reading family: open, describe, deliver frames and samples, close.
#pragma once

#include "core/records.h"
#include "reader/reading_file.h"

namespace zedadu::reader {

// The entry points have checked the pointers, and that a handle is a tagged reading handle.
bool OpenFileForRead(void** handle, const char* path);
bool GetReadingFileInfo(ReadingFile& file, ReadingFileInfo& info);
bool ReadImageFrame(ReadingFile& file, ImageFrameRequest& request);
bool ReadAudioSamples(ReadingFile& file, AudioSamplesRequest& request);
bool CloseReadingFile(ReadingFile* file);

// Frees the frame cache's decode and read buffers (at unload).
void ReleaseFrameCacheBuffers();

}  // namespace zedadu::reader
