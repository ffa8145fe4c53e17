// The plug-in's 22 entry points, as a host declares them. Every entry point returns 1 for
// success and 0 for failure; handles are opaque.
#pragma once

#include <cstdint>

#include "core/records.h"

#define ZEDADU_ENTRY_POINT extern "C" __attribute__((visibility("default")))

using zedadu::AudioSamplesRequest;
using zedadu::AudioWriteRecord;
using zedadu::FreeTimeRequest;
using zedadu::ImageFrameRequest;
using zedadu::OpenWriteRequest;
using zedadu::PluginQueryRecord;
using zedadu::ReadingFileInfo;
using zedadu::VideoWriteRecord;
using zedadu::WritingFileInfo;
using zedadu::WritingSettingsRecord;

ZEDADU_ENTRY_POINT int32_t AVFILE_QueryInterfaceReading(PluginQueryRecord* query);
ZEDADU_ENTRY_POINT int32_t AVFILE_CloseInterfaceReading(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_OpenFileForRead(void** handle, const char* path);
ZEDADU_ENTRY_POINT int32_t AVFILE_GetReadingFileInfo(void* handle, ReadingFileInfo* info);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatsFromGetReadingFileInfo(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReadImageFrame(void* handle, ImageFrameRequest* request);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatFromReadImageFrame(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReadAudioSamples(void* handle, AudioSamplesRequest* request);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatFromReadAudioSamples(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_CloseReadingFile(void* handle);
ZEDADU_ENTRY_POINT int32_t AVFILE_QueryInterfaceWriting(PluginQueryRecord* query);
ZEDADU_ENTRY_POINT int32_t AVFILE_CloseInterfaceWriting(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_SetWritingSettings(WritingSettingsRecord* settings);
ZEDADU_ENTRY_POINT int32_t
AVFILE_ReleaseFormatFromSetWritingSettings(WritingSettingsRecord* settings);
ZEDADU_ENTRY_POINT int32_t AVFILE_OpenFileForWrite(void** handle, OpenWriteRequest* request);
ZEDADU_ENTRY_POINT int32_t AVFILE_GetWritingFileInfo(void* handle, WritingFileInfo* info);
ZEDADU_ENTRY_POINT int32_t AVFILE_ReleaseFormatsFromGetWritingFileInfo(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextVideoFrame(void* handle, VideoWriteRecord* frame);
ZEDADU_ENTRY_POINT int32_t AVFILE_WriteNextAudioSamples(void* handle, AudioWriteRecord* samples);
ZEDADU_ENTRY_POINT int32_t AVFILE_WriteSegment(void* unused);
ZEDADU_ENTRY_POINT int32_t AVFILE_CloseFileForWrite(void* handle);
ZEDADU_ENTRY_POINT int32_t AVFILE_GetFreeTimeOnDrive(FreeTimeRequest* request);
