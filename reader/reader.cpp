#include "reader/reader.h"

namespace zedadu::reader {

bool OpenFileForRead(void** handle, const char*) {
    *handle = nullptr;
    return false;
}
bool GetReadingFileInfo(AviFileHandle&, ReadingFileInfo&) { return false; }
bool ReadImageFrame(AviFileHandle&, ImageFrameRequest&) { return false; }
bool ReadAudioSamples(AviFileHandle&, AudioSamplesRequest&) { return false; }
bool CloseReadingFile(AviFileHandle*) { return false; }
void ReleaseFrameCacheBuffers() {}
void SetFrameCacheHandle(const AviFileHandle*) {}

}  // namespace zedadu::reader
