// The records that cross the plug-in boundary, and the identifier strings that name layouts.
//
// Every record is a plain struct in the host's field order with natural alignment. In a build with
// 4-byte pointers the offsets and sizes are exactly the host interface's; in a 64-bit build the
// pointers are 8 bytes wide and the fields after them move accordingly. Both layouts are pinned
// below, and every size check in the plug-in uses sizeof() of the running build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32/types.h"

namespace zedadu {

// Layout identifiers: 36 characters, compared byte for byte.
inline constexpr char FORMAT_ID_RGB32[] = "575CE120-C7B3-11d0-AA07-000094753D70";
inline constexpr char FORMAT_ID_RGB24[] = "D23BA5F1-D024-11d0-AA10-000094753D70";
inline constexpr char FORMAT_ID_RGB16[] = "83CE39C1-1B1E-11d1-8AF0-00A0C91D299F";
inline constexpr char FORMAT_ID_YUY2[] = "AB2E4E24-CA2E-11d1-818D-00A0C96E62CA";
inline constexpr char FORMAT_ID_PCM16[] = "721D0FD1-DD46-11d0-8AAC-00A0C91D299F";
inline constexpr char FORMAT_ID_PCM8[] = "3FC71F21-EF06-11d0-AA44-000094753D70";
inline constexpr char PLUGIN_ID_1[] = "DA70E8C1-E6D6-11d1-8933-000094753E29";
inline constexpr char PLUGIN_ID_2[] = "DA70E8C2-E6D6-11d1-8933-000094753E29";

inline constexpr size_t kTextSize = 100;   // every text field of a record
inline constexpr size_t kPathSize = 1000;  // paths held by handles

struct PluginQueryRecord {
    uint32_t size;
    char interfaceId[kTextSize];
    char secondId[kTextSize];
    uint32_t reserved;
    char name[kTextSize];
    uint32_t capabilities;
    uint32_t fileTypeCount;
    const char* const* extensions;
    const char* const* descriptions;
};

struct ImageFormatStruct {
    uint32_t size;
    int32_t width;
    int32_t height;
    char formatId[kTextSize];
    uint32_t rate;
    uint32_t scale;
    uint32_t imageSize;
    uint32_t flags;
    void* settingsBlock;  // a CompressionSettings block on the writing side
    uint32_t settingsBlockSize;
    char description[kTextSize];
};

// The flags word of the image layouts the plug-in describes: 2, or 0x102 for DV video.
inline constexpr uint32_t kImageFlags = 0x2;
inline constexpr uint32_t kDigitalVideoImageFlags = 0x102;

struct AudioFormatRecord {
    uint32_t size;
    uint32_t channels;
    char formatId[kTextSize];
    uint32_t sampleRate;
    uint32_t frameBytes;
    uint32_t flags;
    uint32_t unused[2];
    char description[kTextSize];
};

struct ReadingFileInfo {
    uint32_t size;
    uint32_t lastWriteTime[2];  // FILETIME, low word first
    uint8_t zero1[100];
    uint32_t infoFlags;
    uint8_t zero2[16];
    uint32_t frameCount;
    uint32_t audioLength;
    ImageFormatStruct* videoFormats;
    uint32_t videoFormatCount;
    AudioFormatRecord* audioFormats;
    uint32_t audioFormatCount;
    uint32_t zero3[2];
    const char* path;
    uint32_t zero4[2];
};

struct WritingFileInfo {
    uint32_t size;
    ImageFormatStruct* videoFormats;
    uint32_t videoFormatCount;
    AudioFormatRecord* audioFormats;
    uint32_t audioFormatCount;
    uint32_t videoFlags;
    uint32_t zero[5];
};

struct ImageFrameRequest {
    uint32_t size;  // not examined
    uint32_t frameNumber;
    uint32_t unused;
    void* buffer;
    uint32_t bufferSize;
    ImageFormatStruct requested;
    ImageFormatStruct result;
};

struct AudioSamplesRequest {
    uint32_t size;
    uint32_t firstSample;
    uint32_t sampleCount;
    uint32_t samplesDelivered;
    void* buffer;
    uint32_t bufferSize;
    uint32_t unused;
    AudioFormatRecord requested;
    AudioFormatRecord result;
};

// The header of the block that an ImageFormatStruct of the writing side owns; the compressor's
// private state (stateSize bytes) follows it in the same allocation.
struct CompressionSettings {
    uint32_t headerSize;
    FOURCC fccHandler;
    uint32_t quality;
    uint32_t reserved;
    uint32_t paddingSize;
    uint32_t keyFrameRate;
    uint32_t dataRate;
    int32_t offsetAudioAndVideo;
    uint32_t fieldRendering;
    uint32_t recompressAlways;
    uint32_t recompressToMatchDataRate;
    char compressorName[kTextSize];
    uint32_t stateSize;
};
inline constexpr uint32_t kCompressionSettingsHeaderSize = 148;

struct WritingSettingsRecord {
    uint32_t unused;
    uint32_t request;
    uint32_t accepted;
    HWND parentWindow;
    ImageFormatStruct currentVideo;
    ImageFormatStruct resultVideo;
    AudioFormatRecord currentAudio;
    AudioFormatRecord resultAudio;
};
inline constexpr uint32_t kSettingsShowDialog = 0x1;
inline constexpr uint32_t kSettingsLoadIni = 0x2;
inline constexpr uint32_t kSettingsAudio = 0x4;
inline constexpr uint32_t kSettingsVideo = 0x8;

struct OpenWriteRequest {
    uint32_t unused;
    char* fileName;
    uint32_t options;  // bit 0: ask before replacing an existing file
    uint32_t videoFrameCount;
    uint32_t hasAudio;
    uint32_t unusedWords[27];
    ImageFormatStruct video;
    AudioFormatRecord audio;
};

struct VideoWriteRecord {
    uint32_t unused1;
    uint32_t unused2;
    void* pixels;
    uint32_t unused3;
    ImageFormatStruct format;
};

struct AudioWriteRecord {
    uint32_t size;
    uint32_t sampleFrames;
    void* samples;
    uint32_t unused1[2];
    AudioFormatRecord format;
    uint32_t unused2;
};

struct FreeTimeRequest {
    uint32_t size;
    uint32_t driveWord1;  // for GetBytesOnDrive; not read by the plug-in
    uint32_t driveWord2;  // for GetBytesOnDrive; zero means "no drive to ask"
    ImageFormatStruct* video;
    uint32_t videoFrames;
    AudioFormatRecord* audio;
    uint32_t audioSamples;
};

// Pins one offset for both pointer widths.
#define ZEDADU_PIN(Record, field, at32, at64)                                    \
    static_assert(offsetof(Record, field) == (sizeof(void*) == 4 ? at32 : at64), \
                  #Record "." #field " moved")
#define ZEDADU_PIN_SIZE(Record, size32, size64) \
    static_assert(sizeof(Record) == (sizeof(void*) == 4 ? size32 : size64), #Record " resized")

ZEDADU_PIN(PluginQueryRecord, interfaceId, 4, 4);
ZEDADU_PIN(PluginQueryRecord, secondId, 104, 104);
ZEDADU_PIN(PluginQueryRecord, reserved, 204, 204);
ZEDADU_PIN(PluginQueryRecord, name, 208, 208);
ZEDADU_PIN(PluginQueryRecord, capabilities, 308, 308);
ZEDADU_PIN(PluginQueryRecord, fileTypeCount, 312, 312);
ZEDADU_PIN(PluginQueryRecord, extensions, 316, 320);
ZEDADU_PIN(PluginQueryRecord, descriptions, 320, 328);
ZEDADU_PIN_SIZE(PluginQueryRecord, 324, 336);

ZEDADU_PIN(ImageFormatStruct, width, 4, 4);
ZEDADU_PIN(ImageFormatStruct, height, 8, 8);
ZEDADU_PIN(ImageFormatStruct, formatId, 12, 12);
ZEDADU_PIN(ImageFormatStruct, rate, 112, 112);
ZEDADU_PIN(ImageFormatStruct, scale, 116, 116);
ZEDADU_PIN(ImageFormatStruct, imageSize, 120, 120);
ZEDADU_PIN(ImageFormatStruct, flags, 124, 124);
ZEDADU_PIN(ImageFormatStruct, settingsBlock, 128, 128);
ZEDADU_PIN(ImageFormatStruct, settingsBlockSize, 132, 136);
ZEDADU_PIN(ImageFormatStruct, description, 136, 140);
ZEDADU_PIN_SIZE(ImageFormatStruct, 236, 240);

ZEDADU_PIN(AudioFormatRecord, channels, 4, 4);
ZEDADU_PIN(AudioFormatRecord, formatId, 8, 8);
ZEDADU_PIN(AudioFormatRecord, sampleRate, 108, 108);
ZEDADU_PIN(AudioFormatRecord, frameBytes, 112, 112);
ZEDADU_PIN(AudioFormatRecord, flags, 116, 116);
ZEDADU_PIN(AudioFormatRecord, unused, 120, 120);
ZEDADU_PIN(AudioFormatRecord, description, 128, 128);
ZEDADU_PIN_SIZE(AudioFormatRecord, 228, 228);

ZEDADU_PIN(ReadingFileInfo, lastWriteTime, 4, 4);
ZEDADU_PIN(ReadingFileInfo, infoFlags, 112, 112);
ZEDADU_PIN(ReadingFileInfo, frameCount, 132, 132);
ZEDADU_PIN(ReadingFileInfo, audioLength, 136, 136);
ZEDADU_PIN(ReadingFileInfo, videoFormats, 140, 144);
ZEDADU_PIN(ReadingFileInfo, videoFormatCount, 144, 152);
ZEDADU_PIN(ReadingFileInfo, audioFormats, 148, 160);
ZEDADU_PIN(ReadingFileInfo, audioFormatCount, 152, 168);
ZEDADU_PIN(ReadingFileInfo, zero3, 156, 172);
ZEDADU_PIN(ReadingFileInfo, path, 164, 184);
ZEDADU_PIN(ReadingFileInfo, zero4, 168, 192);
ZEDADU_PIN_SIZE(ReadingFileInfo, 176, 200);

ZEDADU_PIN(WritingFileInfo, videoFormats, 4, 8);
ZEDADU_PIN(WritingFileInfo, videoFormatCount, 8, 16);
ZEDADU_PIN(WritingFileInfo, audioFormats, 12, 24);
ZEDADU_PIN(WritingFileInfo, audioFormatCount, 16, 32);
ZEDADU_PIN(WritingFileInfo, videoFlags, 20, 36);
ZEDADU_PIN_SIZE(WritingFileInfo, 44, 64);

ZEDADU_PIN(ImageFrameRequest, frameNumber, 4, 4);
ZEDADU_PIN(ImageFrameRequest, buffer, 12, 16);
ZEDADU_PIN(ImageFrameRequest, bufferSize, 16, 24);
ZEDADU_PIN(ImageFrameRequest, requested, 20, 32);
ZEDADU_PIN(ImageFrameRequest, result, 256, 272);
ZEDADU_PIN_SIZE(ImageFrameRequest, 492, 512);

ZEDADU_PIN(AudioSamplesRequest, firstSample, 4, 4);
ZEDADU_PIN(AudioSamplesRequest, sampleCount, 8, 8);
ZEDADU_PIN(AudioSamplesRequest, samplesDelivered, 12, 12);
ZEDADU_PIN(AudioSamplesRequest, buffer, 16, 16);
ZEDADU_PIN(AudioSamplesRequest, bufferSize, 20, 24);
ZEDADU_PIN(AudioSamplesRequest, requested, 28, 32);
ZEDADU_PIN(AudioSamplesRequest, result, 256, 260);
ZEDADU_PIN_SIZE(AudioSamplesRequest, 484, 488);

ZEDADU_PIN(CompressionSettings, fccHandler, 4, 4);
ZEDADU_PIN(CompressionSettings, quality, 8, 8);
ZEDADU_PIN(CompressionSettings, paddingSize, 16, 16);
ZEDADU_PIN(CompressionSettings, keyFrameRate, 20, 20);
ZEDADU_PIN(CompressionSettings, dataRate, 24, 24);
ZEDADU_PIN(CompressionSettings, offsetAudioAndVideo, 28, 28);
ZEDADU_PIN(CompressionSettings, fieldRendering, 32, 32);
ZEDADU_PIN(CompressionSettings, recompressAlways, 36, 36);
ZEDADU_PIN(CompressionSettings, recompressToMatchDataRate, 40, 40);
ZEDADU_PIN(CompressionSettings, compressorName, 44, 44);
ZEDADU_PIN(CompressionSettings, stateSize, 144, 144);
ZEDADU_PIN_SIZE(CompressionSettings, 148, 148);

ZEDADU_PIN(WritingSettingsRecord, request, 4, 4);
ZEDADU_PIN(WritingSettingsRecord, accepted, 8, 8);
ZEDADU_PIN(WritingSettingsRecord, parentWindow, 12, 16);
ZEDADU_PIN(WritingSettingsRecord, currentVideo, 16, 24);
ZEDADU_PIN(WritingSettingsRecord, resultVideo, 252, 264);
ZEDADU_PIN(WritingSettingsRecord, currentAudio, 488, 504);
ZEDADU_PIN(WritingSettingsRecord, resultAudio, 716, 732);
ZEDADU_PIN_SIZE(WritingSettingsRecord, 944, 960);

ZEDADU_PIN(OpenWriteRequest, fileName, 4, 8);
ZEDADU_PIN(OpenWriteRequest, options, 8, 16);
ZEDADU_PIN(OpenWriteRequest, videoFrameCount, 12, 20);
ZEDADU_PIN(OpenWriteRequest, hasAudio, 16, 24);
ZEDADU_PIN(OpenWriteRequest, video, 128, 136);
ZEDADU_PIN(OpenWriteRequest, audio, 364, 376);
ZEDADU_PIN_SIZE(OpenWriteRequest, 592, 608);

ZEDADU_PIN(VideoWriteRecord, pixels, 8, 8);
ZEDADU_PIN(VideoWriteRecord, format, 16, 24);
ZEDADU_PIN_SIZE(VideoWriteRecord, 252, 264);

ZEDADU_PIN(AudioWriteRecord, sampleFrames, 4, 4);
ZEDADU_PIN(AudioWriteRecord, samples, 8, 8);
ZEDADU_PIN(AudioWriteRecord, format, 20, 24);
ZEDADU_PIN(AudioWriteRecord, unused2, 248, 252);
ZEDADU_PIN_SIZE(AudioWriteRecord, 252, 256);

ZEDADU_PIN(FreeTimeRequest, driveWord2, 8, 8);
ZEDADU_PIN(FreeTimeRequest, video, 12, 16);
ZEDADU_PIN(FreeTimeRequest, videoFrames, 16, 24);
ZEDADU_PIN(FreeTimeRequest, audio, 20, 32);
ZEDADU_PIN(FreeTimeRequest, audioSamples, 24, 40);
ZEDADU_PIN_SIZE(FreeTimeRequest, 28, 48);

#undef ZEDADU_PIN
#undef ZEDADU_PIN_SIZE

}  // namespace zedadu
