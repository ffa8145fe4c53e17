// The compressor layer of Video for Windows: installable compressors found by type and handler
// code, driven by messages. Compressors are driver procedures; the built-in ones run on FFmpeg's
// libraries, and tests install their own with ICInstall.
//
// What the built-in drivers do:
// - Every video code of AVI files that libavcodec decodes opens for decompression (found through
//   libavformat's RIFF and QuickTime code tables, ignoring case; "DIB " names no driver). The
//   codec follows the input format's biCompression; a run-length handler ("MRLE") also takes
//   run-length data labelled BI_RGB. Extra format bytes are those between 40 and biSize (at most
//   64 KiB); 1- to 8-bit formats carry their colour table at biSize (biClrUsed entries, at most
//   256, or all 2^biBitCount when 0). The caller's format must hold all of those bytes: they are
//   read as the header says, since a format comes without its length.
// - Decompression delivers BI_RGB 16 (5-5-5), 24 and 32 bits (bottom-up, or top-down for a
//   negative biHeight; rows padded to 4 bytes) and YUY2 (top-down), at any size: libswscale
//   scales. ICM_DECOMPRESS_GET_FORMAT proposes the source size in the layout the output format
//   already names, else 24-bit RGB. ICDecompress takes the chunk's size from the input's
//   biSizeImage; a 0-byte chunk leaves the picture as it was. With ICDECOMPRESS_HURRYUP or
//   ICDECOMPRESS_PREROLL the chunk is decoded and nothing drawn (the frames a key-frame walk
//   passes); ICDECOMPRESS_UPDATE with a 0-byte chunk draws the newest picture again, decoding
//   nothing. The bitmap gets exactly its rows: no byte before, after or between them (the row
//   padding) is written. One chunk gives at most one picture: a codec that reorders pictures
//   (B-frames) releases each one a call or more late, meanwhile the newest picture released so far
//   is delivered again and the call answers ICERR_DONTDRAW; ICM_DECOMPRESS_HELD_BACK says how
//   late, ICM_DECOMPRESS_DRAIN releases the last ones. A chunk that libavcodec refuses or reports
//   as damaged (an error result, a picture flagged damaged or concealed, an error in its log, as
//   Motion JPEG reports entropy-coded data it cannot decode) answers ICERR_ERROR, also when hurried
//   or prerolled, after its picture, or the newest one before it, is drawn; while the codec holds
//   pictures back a damaged chunk that released none answers ICERR_DONTDRAW instead. Codecs that
//   libavcodec decodes on slice threads (DV, FFV1 with slices, MagicYUV, ...) use one thread per
//   core, at most 16; decodes on slice threads take turns, so that together they never run more
//   threads than there are cores.
// - ICM_DECOMPRESS_KEYFRAME_QUERY answers for every chunk at once for codecs that code every
//   picture alone; otherwise from the picture type that libavcodec's parser reads (MPEG-4, H.264,
//   H.265, MPEG-1 and 2), else by decoding the chunks in order and comparing each picture that is
//   not marked as depending on others with a fresh decode of its chunk alone.
// - Compressors: "MSVC", "CVID", "MJPG", "dvsd", "HFYU", "FFV1", "XVID", "ZMBV", "ULRG", "ULY2",
//   "MPNG" (other codes of those codecs only decode). Inputs are BI_RGB 16 (5-5-5), 24 and 32
//   bits and YUY2 (even width), at every size with three exceptions: DV takes only 720x480 and
//   720x576, Video 1 at least 4x4 (it codes the whole 4x4 blocks of the frame; Cinepak pads the
//   frame to whole blocks), Ut Video's ULY2 only even widths.
//   ICM_COMPRESS_QUERY answers ICERR_BADFORMAT exactly where the encoder refuses, and so do
//   ICM_COMPRESS_GET_FORMAT and ICM_COMPRESS_GET_SIZE; ICM_COMPRESS_FRAME_SIZES says which sizes
//   work. ICM_COMPRESS takes inputs of the size it began with. The output format carries the
//   encoder's extra data (at most 1024 bytes) and the largest frame as biSizeImage, which
//   ICM_COMPRESS_GET_SIZE also answers: a true bound. ICM_COMPRESS fills the output's biSizeImage,
//   *lpckid = cktypeDIBcompressed and *lpdwFlags = AVIIF_KEYFRAME exactly when the chunk decodes
//   alone; ICCOMPRESS_KEYFRAME always gives one. Quality (ICM_SETQUALITY, ICCOMPRESS.dwQuality,
//   ICCOMPRESSFRAMES.lQuality; default 7500) reaches Motion JPEG, MPEG-4 and Cinepak; the data
//   rate of ICM_COMPRESS_FRAMES_INFO drives MPEG-4's rate control and Motion JPEG's per-frame
//   budget, which is met by re-encoding coarser (the coarsest frame when nothing fits).
// - ICM_GETSTATE/ICM_SETSTATE carry the encoder options that differ from their defaults as a
//   versioned little-endian block; a block for another handler or version changes nothing, no
//   block restores the defaults. ICM_CONFIGURE shows a box of the encoder options the state
//   carries (through the dialog layer) for compressors that have such options, and its query form
//   answers ICERR_OK for them only; ICM_ABOUT shows a message box naming the codec and the library
//   that implements it, for every driver.
#pragma once

#include "platform/win32/types.h"

struct CompressorInstance;
using HIC = CompressorInstance*;
struct HDRVR__;
using HDRVR = HDRVR__*;

inline constexpr FOURCC ICTYPE_VIDEO = FourCC("vidc");

constexpr UINT ICMODE_COMPRESS = 1;
constexpr UINT ICMODE_DECOMPRESS = 2;
constexpr UINT ICMODE_QUERY = 4;

// Results.
constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_DONTDRAW = 1;
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADFLAGS = -5;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_BADSIZE = -7;
constexpr LRESULT ICERR_BADHANDLE = -8;
constexpr LRESULT ICERR_ABORT = -10;
constexpr LRESULT ICERR_ERROR = -100;

// Driver messages sent around the life of an instance.
constexpr UINT DRV_LOAD = 0x0001;
constexpr UINT DRV_ENABLE = 0x0002;
constexpr UINT DRV_OPEN = 0x0003;
constexpr UINT DRV_CLOSE = 0x0004;
constexpr UINT DRV_DISABLE = 0x0005;
constexpr UINT DRV_FREE = 0x0006;

// Compressor messages.
constexpr UINT ICM_USER = 0x4000;
constexpr UINT ICM_RESERVED = 0x5000;
constexpr UINT ICM_GETSTATE = ICM_RESERVED + 0;
constexpr UINT ICM_SETSTATE = ICM_RESERVED + 1;
constexpr UINT ICM_GETINFO = ICM_RESERVED + 2;
constexpr UINT ICM_CONFIGURE = ICM_RESERVED + 10;
constexpr UINT ICM_ABOUT = ICM_RESERVED + 11;
constexpr UINT ICM_GETDEFAULTQUALITY = ICM_RESERVED + 30;
constexpr UINT ICM_GETQUALITY = ICM_RESERVED + 31;
constexpr UINT ICM_SETQUALITY = ICM_RESERVED + 32;
constexpr UINT ICM_COMPRESS_GET_FORMAT = ICM_USER + 4;
constexpr UINT ICM_COMPRESS_GET_SIZE = ICM_USER + 5;
constexpr UINT ICM_COMPRESS_QUERY = ICM_USER + 6;
constexpr UINT ICM_COMPRESS_BEGIN = ICM_USER + 7;
constexpr UINT ICM_COMPRESS = ICM_USER + 8;
constexpr UINT ICM_COMPRESS_END = ICM_USER + 9;
constexpr UINT ICM_DECOMPRESS_GET_FORMAT = ICM_USER + 10;
constexpr UINT ICM_DECOMPRESS_QUERY = ICM_USER + 11;
constexpr UINT ICM_DECOMPRESS_BEGIN = ICM_USER + 12;
constexpr UINT ICM_DECOMPRESS = ICM_USER + 13;
constexpr UINT ICM_DECOMPRESS_END = ICM_USER + 14;
constexpr UINT ICM_COMPRESS_FRAMES_INFO = ICM_USER + 70;
// This platform's addition, for readers that rebuild the index of a file that lost its own:
// whether a chunk decodes without the chunks before it. The first argument is the stream's format
// with biSizeImage the chunk's size, the second the chunk's bytes, or 0 to ask whether every chunk
// of the format does. Chunks go in stream order, each once, on an instance of their own. Answers 1
// (it does), 0 (it needs earlier chunks; for 0, ask chunk by chunk) or an ICERR_ code.
constexpr UINT ICM_DECOMPRESS_KEYFRAME_QUERY = ICM_USER + 100;
// This platform's additions for decompressors that hold pictures back (B-frames put out in
// display order). A decompress call whose chunk released no picture answers ICERR_DONTDRAW (the
// newest picture released before is drawn again); a reader that feeds ahead asks after the begin
// and again whenever a call released no picture:
// ICM_DECOMPRESS_HELD_BACK (0, 0): how many chunks the begun decompression holds back now: the
// picture shown at frame n is released by the call that decodes chunk n plus the answer, so a
// reader feeds that many chunks ahead. 0 for decompressors that put out one picture a chunk. A
// caller that asks may see the answer grow: reading on, the built-in drivers move onto frame
// threads at a key frame (one chunk more a thread); ICM_DECOMPRESS_BEGIN leaves them again.
constexpr UINT ICM_DECOMPRESS_HELD_BACK = ICM_USER + 101;
// ICM_DECOMPRESS_DRAIN (an ICDECOMPRESS without a chunk, its size): the stream has ended; releases
// the next picture still held back and draws it (not with ICDECOMPRESS_PREROLL). ICERR_OK for a
// picture, ICERR_DONTDRAW when none is left. ICM_DECOMPRESS_BEGIN, like the next chunk after a
// drain, forgets what is held back so that decoding starts afresh at a key frame.
constexpr UINT ICM_DECOMPRESS_DRAIN = ICM_USER + 102;
// A message of this platform's compressors, outside the standard set: which frame sizes the
// compressor takes, for the dialogs and hosts that tell the user. The first argument is an input
// format (its size is not looked at) or 0, the second an ICFRAMESIZES to fill; ICERR_OK, or
// ICERR_UNSUPPORTED from compressors that do not say.
constexpr UINT ICM_COMPRESS_FRAME_SIZES = ICM_USER + 0x800;

// The query form of ICM_CONFIGURE and ICM_ABOUT: the first argument is this value instead of a
// window, and the reply ICERR_OK means the compressor has such a box.
inline const LPARAM ICQUERYBOX = -1;

// Capability flags of ICINFO.
constexpr DWORD VIDCF_QUALITY = 0x0001;
constexpr DWORD VIDCF_CRUNCH = 0x0002;
constexpr DWORD VIDCF_TEMPORAL = 0x0004;
constexpr DWORD VIDCF_COMPRESSFRAMES = 0x0008;
constexpr DWORD VIDCF_FASTTEMPORALC = 0x0020;
constexpr DWORD VIDCF_FASTTEMPORALD = 0x0080;

constexpr DWORD ICCOMPRESS_KEYFRAME = 0x00000001;
constexpr DWORD ICCOMPRESSFRAMES_PADDING = 0x00000001;
constexpr DWORD ICDECOMPRESS_HURRYUP = 0x80000000;
constexpr DWORD ICDECOMPRESS_UPDATE = 0x40000000;
constexpr DWORD ICDECOMPRESS_PREROLL = 0x20000000;
constexpr DWORD ICDECOMPRESS_NOTKEYFRAME = 0x08000000;
constexpr DWORD AVIIF_LIST = 0x00000001;
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;

// Quality runs from 0 to 10000; this value asks for the compressor's default.
constexpr DWORD ICQUALITY_LOW = 0;
constexpr DWORD ICQUALITY_HIGH = 10000;
constexpr DWORD ICQUALITY_DEFAULT = 0xFFFFFFFF;

// The two-character code of a chunk ("dc" in "00dc"), first character in the low byte.
constexpr DWORD aviTWOCC(char a, char b) {
    return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8;
}
// What ICM_COMPRESS reports through lpckid for every compressed frame.
constexpr DWORD cktypeDIBcompressed = aviTWOCC('d', 'c');

// The information record; its texts are 16-bit characters, as on the platform.
struct ICINFO {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwVersion;
    DWORD dwVersionICM;
    char16_t szName[16];
    char16_t szDescription[128];
    char16_t szDriver[128];
};
static_assert(sizeof(ICINFO) == 568);

// Passed with DRV_OPEN as the second argument.
struct ICOPEN {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwVersion;
    DWORD dwFlags;  // the ICMODE_* the instance is opened with
    LRESULT dwError;
    void* pV1Reserved;
    void* pV2Reserved;
    DWORD dnDevNode;
};

struct ICCOMPRESS {
    DWORD dwFlags;
    BITMAPINFOHEADER* lpbiOutput;
    void* lpOutput;
    BITMAPINFOHEADER* lpbiInput;
    void* lpInput;
    DWORD* lpckid;
    DWORD* lpdwFlags;
    LONG lFrameNum;
    DWORD dwFrameSize;
    DWORD dwQuality;
    BITMAPINFOHEADER* lpbiPrev;
    void* lpPrev;
};
static_assert(sizeof(ICCOMPRESS) == (sizeof(void*) == 4 ? 48 : 88));

struct ICCOMPRESSFRAMES {
    DWORD dwFlags;
    BITMAPINFOHEADER* lpbiOutput;
    LPARAM lReserved;
    BITMAPINFOHEADER* lpbiInput;
    LPARAM Reserved;
    LONG lStartFrame;
    LONG lFrameCount;
    LONG lQuality;
    LONG lDataRate;
    LONG lKeyRate;
    DWORD dwRate;
    DWORD dwScale;
    DWORD dwOverheadPerFrame;
    DWORD dwReserved2;
    LONG (*GetData)(LPARAM, LONG, void*, LONG);
    LONG (*PutData)(LPARAM, LONG, void*, LONG);
};
static_assert(sizeof(ICCOMPRESSFRAMES) == (sizeof(void*) == 4 ? 64 : 96));

// What ICM_COMPRESS_FRAME_SIZES fills: the sizes taken are at least the minimum, multiples of the
// steps (1: any), and, when the format fixes its sizes (cListed above 0), only those listed.
struct ICFRAMESIZES {
    DWORD dwSize;  // set by the caller
    DWORD cListed;
    struct {
        LONG cx;
        LONG cy;
    } listed[8];
    LONG cxMin;
    LONG cyMin;
    LONG cxStep;
    LONG cyStep;
};

// What ICDecompress sends with ICM_DECOMPRESS.
struct ICDECOMPRESS {
    DWORD dwFlags;
    BITMAPINFOHEADER* lpbiInput;
    void* lpInput;
    BITMAPINFOHEADER* lpbiOutput;
    void* lpOutput;
    DWORD ckid;
};

// A compressor: called with the id it answered to DRV_OPEN (0 before that), the instance, the
// message and its two arguments.
using DRIVERPROC = LRESULT (*)(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM lParam1,
                               LPARAM lParam2);

constexpr UINT ICINSTALL_FUNCTION = 0x0001;

// Installs a driver procedure (passed as lParam) for a type and handler code; it takes precedence
// over a built-in compressor of the same code. Returns TRUE on success.
BOOL ICInstall(DWORD fccType, DWORD fccHandler, LPARAM lParam, const char* description, UINT flags);
BOOL ICRemove(DWORD fccType, DWORD fccHandler, UINT flags);

// Handler codes are found ignoring case. Null when no compressor of that code opens in that mode.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode);
LRESULT ICClose(HIC compressor);
LRESULT ICSendMessage(HIC compressor, UINT message, DWORD_PTR argument1, DWORD_PTR argument2);
// Fills up to cb bytes of the information record; returns the bytes filled, 0 on failure.
LRESULT ICGetInfo(HIC compressor, ICINFO* info, DWORD cb);
DWORD ICDecompress(HIC compressor, DWORD flags, BITMAPINFOHEADER* inputFormat, void* input,
                   BITMAPINFOHEADER* outputFormat, void* output);

namespace zedadu::vfw {

// The installed compressors as the platform presents them: "system.ini" in the Windows directory
// (GetWindowsDirectoryA), with an empty section "drivers" and a section "drivers32" holding one
// key "VIDC.<handler>=libavcodec:<codec>" per built-in driver, compressors first, in the order of
// BuiltInCompressors(). Writes the file when it is missing and leaves an existing one alone, so a
// test (or a user) may provide its own list. The compressor enumeration calls this before it
// reads the two sections. When the file cannot be written, the list is kept in memory and read
// in its place (the platform's profile layer answers for the missing file), and a message box
// says once where it could not be saved and why; the result is then false.
bool EnsureDriverList();

}  // namespace zedadu::vfw
