#include "writer/writer.h"

namespace zedadu::writer {

bool SetWritingSettings(WritingSettingsRecord&) { return false; }
void ReleaseFormatFromSetWritingSettings(WritingSettingsRecord&) {}
bool OpenFileForWrite(void** handle, OpenWriteRequest&) {
    *handle = nullptr;
    return false;
}
bool GetWritingFileInfo(AviFileHandle&, WritingFileInfo&) { return false; }
bool WriteNextVideoFrame(AviFileHandle&, VideoWriteRecord&) { return false; }
bool WriteNextAudioSamples(AviFileHandle&, AudioWriteRecord&) { return false; }
bool CloseFileForWrite(AviFileHandle*) { return false; }
bool GetFreeTimeOnDrive(FreeTimeRequest&) { return false; }

}  // namespace zedadu::writer
