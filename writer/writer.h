// The writing family: settings, open, frames, samples, close, free time.
#pragma once

#include "frame/avi_file_handle.h"
#include "frame/records.h"

namespace zedadu::writer {

// The entry points have checked that the pointers are not null and that a handle is tagged.
bool SetWritingSettings(WritingSettingsRecord& record);
void ReleaseFormatFromSetWritingSettings(WritingSettingsRecord& record);
bool OpenFileForWrite(void** handle, OpenWriteRequest& request);
bool GetWritingFileInfo(AviFileHandle& handle, WritingFileInfo& info);
bool WriteNextVideoFrame(AviFileHandle& handle, VideoWriteRecord& record);
bool WriteNextAudioSamples(AviFileHandle& handle, AudioWriteRecord& record);
bool CloseFileForWrite(AviFileHandle* handle);
bool GetFreeTimeOnDrive(FreeTimeRequest& request);

}  // namespace zedadu::writer
