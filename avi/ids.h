// The identifiers and fixed sizes of the AVI layout that reader and writer share.
#pragma once

#include <cstddef>

#include "platform/win32/types.h"

namespace zedadu::avi {

inline constexpr FOURCC kRiffChunk = FourCC("RIFF");
inline constexpr FOURCC kListChunk = FourCC("LIST");
inline constexpr FOURCC kAviForm = FourCC("AVI ");
inline constexpr FOURCC kExtendedForm = FourCC("AVIX");  // the RIFF parts that continue a file
inline constexpr FOURCC kHeaderList = FourCC("hdrl");
inline constexpr FOURCC kMainHeader = FourCC("avih");
inline constexpr FOURCC kStreamList = FourCC("strl");
inline constexpr FOURCC kStreamHeader = FourCC("strh");
inline constexpr FOURCC kStreamFormat = FourCC("strf");
inline constexpr FOURCC kMovieList = FourCC("movi");
inline constexpr FOURCC kRecordList = FourCC("rec ");
inline constexpr FOURCC kLegacyIndex = FourCC("idx1");
inline constexpr FOURCC kSuperIndex = FourCC("indx");  // in a stream list of an OpenDML file
inline constexpr FOURCC kJunk = FourCC("JUNK");
inline constexpr FOURCC kVideoStream = FourCC("vids");
inline constexpr FOURCC kAudioStream = FourCC("auds");
inline constexpr FOURCC kUncompressedHandler = FourCC("DIB ");  // a video stream's handler code
inline constexpr FOURCC kYuy2Compression = FourCC("YUY2");      // a bitmap's compression code

inline constexpr size_t kMainHeaderBytes = 56;    // 'avih'
inline constexpr size_t kStreamHeaderBytes = 64;  // 'strh'

}  // namespace zedadu::avi
