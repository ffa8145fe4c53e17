// The writing family: settings, open, frames, samples, close, free time.
#pragma once

#include "core/records.h"
#include "writer/writing_file.h"

namespace zedadu::writer {

// The entry points have checked the pointers, and that a handle is a tagged writing handle.
bool SetWritingSettings(WritingSettingsRecord& record);
void ReleaseFormatFromSetWritingSettings(WritingSettingsRecord& record);
bool OpenFileForWrite(void** handle, OpenWriteRequest& request);
bool GetWritingFileInfo(WritingFile& writing, WritingFileInfo& info);
bool WriteNextVideoFrame(WritingFile& writing, VideoWriteRecord& record);
bool WriteNextAudioSamples(WritingFile& writing, AudioWriteRecord& record);
bool CloseFileForWrite(WritingFile* writing);
bool GetFreeTimeOnDrive(FreeTimeRequest& request);

// Frees the module-wide chunk and compressed-frame buffers (at unload).
void ReleaseWriterBuffers();

}  // namespace zedadu::writer
