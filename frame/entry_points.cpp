// The export table. Each entry point is a shim: check the pointers and the handle's tag, call one
// internal operation, map it to 1 or 0, and let no exception out.
#include "frame/plugin.h"

#include "frame/avi_file_handle.h"
#include "frame/handshake.h"
#include "frame/module.h"
#include "platform/hostlib/hostlib.h"
#include "reader/reader.h"
#include "writer/writer.h"

namespace {

template <typename Operation>
int32_t Guarded(Operation operation) noexcept {
    try {
        return operation() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

using namespace zedadu;

// The six entry points that have nothing to do share this body.
extern "C" int32_t ZedaduNothingToDo(void*) {
    return 1;
}

ZEDADU_ENTRY_POINT int32_t AVFILE_CloseInterfaceReading(void*)
    __attribute__((alias("ZedaduNothingToDo")));
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatsFromGetReadingFileInfo(void*)
    __attribute__((alias("ZedaduNothingToDo")));
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatFromReadImageFrame(void*)
    __attribute__((alias("ZedaduNothingToDo")));
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatFromReadAudioSamples(void*)
    __attribute__((alias("ZedaduNothingToDo")));
ZEDADU_ENTRY_POINT int32_t AVFILE_CloseInterfaceWriting(void*)
    __attribute__((alias("ZedaduNothingToDo")));
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatsFromGetWritingFileInfo(void*)
    __attribute__((alias("ZedaduNothingToDo")));

ZEDADU_ENTRY_POINT int32_t AVFILE_WriteSegment(void*) {
    return 0;
}

ZEDADU_ENTRY_POINT int32_t AVFILE_QueryInterfaceReading(PluginQueryRecord* query) {
    return Guarded([&] { return query && FillQueryRecord(*query, kReadingCapabilities); });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_QueryInterfaceWriting(PluginQueryRecord* query) {
    return Guarded([&] {
        if (!query || !FillQueryRecord(*query, kWritingCapabilities)) {
            return false;
        }
        SetSkinsModule(static_cast<SkinsModule*>(CreateSkinsModule()));
        return true;
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_OpenFileForRead(void** handle, const char* path) {
    return Guarded([&] {
        if (!handle) {
            return false;
        }
        *handle = nullptr;
        return path && reader::OpenFileForRead(handle, path);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetReadingFileInfo(void* handle, ReadingFileInfo* info) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && info && reader::GetReadingFileInfo(*file, *info);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_ReadImageFrame(void* handle, ImageFrameRequest* request) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && request && reader::ReadImageFrame(*file, *request);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_ReadAudioSamples(void* handle, AudioSamplesRequest* request) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && request && reader::ReadAudioSamples(*file, *request);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_CloseReadingFile(void* handle) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && reader::CloseReadingFile(file);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_SetWritingSettings(WritingSettingsRecord* settings) {
    return Guarded([&] { return settings && writer::SetWritingSettings(*settings); });
}

ZEDADU_ENTRY_POINT int32_t
AVFILE_ReleaseFormatFromSetWritingSettings(WritingSettingsRecord* settings) {
    return Guarded([&] {
        if (settings) {
            writer::ReleaseFormatFromSetWritingSettings(*settings);
        }
        return true;
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_OpenFileForWrite(void** handle, OpenWriteRequest* request) {
    return Guarded([&] {
        if (!handle) {
            return false;
        }
        *handle = nullptr;
        return request && writer::OpenFileForWrite(handle, *request);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetWritingFileInfo(void* handle, WritingFileInfo* info) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && info && writer::GetWritingFileInfo(*file, *info);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextVideoFrame(void* handle, VideoWriteRecord* frame) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && frame && writer::WriteNextVideoFrame(*file, *frame);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextAudioSamples(void* handle, AudioWriteRecord* samples) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && samples && writer::WriteNextAudioSamples(*file, *samples);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_CloseFileForWrite(void* handle) {
    return Guarded([&] {
        AviFileHandle* file = CheckedHandle(handle);
        return file && writer::CloseFileForWrite(file);
    });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetFreeTimeOnDrive(FreeTimeRequest* request) {
    return Guarded([&] { return request && writer::GetFreeTimeOnDrive(*request); });
}
