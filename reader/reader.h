// The reading family: open, describe, deliver frames and samples, close.
#pragma once

#include "frame/avi_file_handle.h"
#include "frame/records.h"

namespace zedadu::reader {

// The entry points have checked that the pointers are not null and that a handle is tagged.
bool OpenFileForRead(void** handle, const char* path);
bool GetReadingFileInfo(AviFileHandle& handle, ReadingFileInfo& info);
bool ReadImageFrame(AviFileHandle& handle, ImageFrameRequest& request);
bool ReadAudioSamples(AviFileHandle& handle, AudioSamplesRequest& request);
bool CloseReadingFile(AviFileHandle* handle);

// Frees the frame cache's decode and read buffers (at unload).
void ReleaseFrameCacheBuffers();
// Makes the frame cache belong to another handle, so that the next frame read decodes anew (the
// writer calls it with its own handle before compressing a frame). Caller holds the access lock.
void SetFrameCacheHandle(const AviFileHandle* handle);

}  // namespace zedadu::reader
