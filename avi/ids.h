// The identifiers and fixed sizes of the AVI layout that reader and writer share.
#pragma once

#include <cstddef>

#include "platform/mmio/mmio.h"
#include "platform/win32/types.h"

namespace zedadu::avi {

inline constexpr FOURCC kRiffChunk = FOURCC_RIFF;
inline constexpr FOURCC kListChunk = FOURCC_LIST;
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
inline constexpr FOURCC kSuperIndex = FourCC("indx");   // in a stream list of an OpenDML file
inline constexpr FOURCC kOpenDmlList = FourCC("odml");  // the OpenDML extended header list
inline constexpr FOURCC kOpenDmlHeader = FourCC("dmlh");
inline constexpr FOURCC kJunk = FourCC("JUNK");
inline constexpr FOURCC kVideoStream = FourCC("vids");
inline constexpr FOURCC kAudioStream = FourCC("auds");
inline constexpr FOURCC kUncompressedHandler = FourCC("DIB ");  // a video stream's handler code
inline constexpr FOURCC kYuy2Compression = FourCC("YUY2");      // a bitmap's compression code

inline constexpr uint64_t kChunkHeaderBytes = 8;  // its id and size
inline constexpr uint64_t kListHeaderBytes = 12;  // a RIFF or LIST header with its type
inline constexpr size_t kMainHeaderBytes = 56;    // 'avih'
inline constexpr size_t kStreamHeaderBytes = 64;  // 'strh'

// Flags of the main header: the file has an index, its chunks are interleaved.
inline constexpr uint32_t kMainHeaderHasIndex = 0x10;
inline constexpr uint32_t kMainHeaderInterleaved = 0x100;

// The two-character types of stream chunks: compressed video ("00dc") and audio ("01wb").
inline constexpr uint16_t kCompressedVideoType = 'd' | 'c' << 8;
inline constexpr uint16_t kAudioDataType = 'w' | 'b' << 8;

// Bit 31 of the size in a standard index entry: the chunk is no key frame.
inline constexpr uint32_t kStandardIndexNotKeyFrame = 0x80000000;
// The two characters that begin a standard index's id, "ix" and the stream's two digits.
inline constexpr uint16_t kStandardIndexPrefix = 'i' | 'x' << 8;

// The id of a stream's chunk: two characters and the stream's two digits ("ix01"), or the two
// digits and a two-character type ("01wb").
inline constexpr uint16_t StreamDigits(int stream) {
    return uint16_t(uint16_t('0' + stream / 10) | uint16_t('0' + stream % 10) << 8);
}
inline constexpr FOURCC StandardIndexId(int stream) {
    return kStandardIndexPrefix | FOURCC(StreamDigits(stream)) << 16;
}
inline constexpr FOURCC StreamChunkId(int stream, uint16_t type) {
    return StreamDigits(stream) | FOURCC(type) << 16;
}

// The stream a chunk id of two decimal digits and a two-character type names ("01wb" is stream
// 1), or -1 for any other id.
inline constexpr int TwoDigitStream(FOURCC id) {
    const int tens = int(id & 0xFF) - '0';
    const int units = int((id >> 8) & 0xFF) - '0';
    if (tens < 0 || tens > 9 || units < 0 || units > 9) {
        return -1;
    }
    return tens * 10 + units;
}

// Chunk ids and list types are four printable characters.
inline constexpr bool PrintableCode(FOURCC code) {
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = uint8_t(code >> shift);
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

}  // namespace zedadu::avi
