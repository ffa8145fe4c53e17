// The export table. Each entry point is a shim: check the pointers and the handle's head (its tag
// and its side), call one internal operation, map it to 1 or 0, and let no exception out.
#include "plugin/plugin.h"

#include "core/file_handle.h"
#include "core/module.h"
#include "platform/hostlib/hostlib.h"
#include "plugin/handshake.h"
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

// Runs the operation on the record behind a handle of File's side and the host's record.
template <typename File, typename Record, typename Operation>
int32_t OnHandle(void* handle, Record* record, Operation operation) noexcept {
    return Guarded([&] {
        File* file = zedadu::CheckedHandle<File>(handle);
        return file && record && operation(*file, *record);
    });
}

// Opens a handle; the host's handle is cleared first, so that a failed open leaves no stale one.
template <typename Open>
int32_t Opening(void** handle, Open open) noexcept {
    return Guarded([&] {
        if (!handle) {
            return false;
        }
        *handle = nullptr;
        return open();
    });
}

// Closes a handle of File's side; the close frees the record.
template <typename File, typename Close>
int32_t Closing(void* handle, Close close) noexcept {
    return Guarded([&] {
        File* file = zedadu::CheckedHandle<File>(handle);
        return file && close(file);
    });
}

}  // namespace

using namespace zedadu;
using reader::ReadingFile;
using writer::WritingFile;

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
    return Opening(handle, [&] { return path && reader::OpenFileForRead(handle, path); });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetReadingFileInfo(void* handle, ReadingFileInfo* info) {
    return OnHandle<ReadingFile>(handle, info, reader::GetReadingFileInfo);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_ReadImageFrame(void* handle, ImageFrameRequest* request) {
    return OnHandle<ReadingFile>(handle, request, reader::ReadImageFrame);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_ReadAudioSamples(void* handle, AudioSamplesRequest* request) {
    return OnHandle<ReadingFile>(handle, request, reader::ReadAudioSamples);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_CloseReadingFile(void* handle) {
    return Closing<ReadingFile>(handle, reader::CloseReadingFile);
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
    return Opening(handle, [&] { return request && writer::OpenFileForWrite(handle, *request); });
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetWritingFileInfo(void* handle, WritingFileInfo* info) {
    return OnHandle<WritingFile>(handle, info, writer::GetWritingFileInfo);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextVideoFrame(void* handle, VideoWriteRecord* frame) {
    return OnHandle<WritingFile>(handle, frame, writer::WriteNextVideoFrame);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextAudioSamples(void* handle, AudioWriteRecord* samples) {
    return OnHandle<WritingFile>(handle, samples, writer::WriteNextAudioSamples);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_CloseFileForWrite(void* handle) {
    return Closing<WritingFile>(handle, writer::CloseFileForWrite);
}

ZEDADU_ENTRY_POINT int32_t AVFILE_GetFreeTimeOnDrive(FreeTimeRequest* request) {
    return Guarded([&] { return request && writer::GetFreeTimeOnDrive(*request); });
}
