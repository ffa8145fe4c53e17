// What the built-in drivers know about codecs: the compressors with their encoder settings, the
// handler codes libavcodec decodes, and the names shown for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/pixfmt.h>
}

#include "platform/system/system.h"  // SameFourCCIgnoringCase, how handler codes are found
#include "platform/vfw/ffmpeg/bitmap.h"
#include "platform/vfw/vfw.h"

namespace zedadu::vfw::ffmpeg {

// How the quality 0..10000 of the compressor messages reaches an encoder.
enum class QualityScale {
    None,       // quality does not change the output
    Quantiser,  // 10000 is quantiser 1, 0 is quantiser 31, per frame
    Lambda,     // rate-distortion weight, per frame
};

// An encoder option that the compressor state carries: a stable id, the option's name as
// libavcodec knows it, and the values the state may hold. Where libavcodec's default is a marker
// outside that range ("-1: the codec's choice"), the value the codec then uses is given here.
struct EncoderOption {
    uint32_t id;
    const char* name;
    int minimum;
    int maximum;
    int markedDefault = 0;
};

struct FrameSize {
    int width;
    int height;
    bool operator==(const FrameSize&) const = default;
};

// How the layer meets an encoder's rule on frame sizes where the format allows it.
enum class SizeFit {
    Exact,  // the encoder codes the frame as it is
    // The format codes 4x4 blocks, and its decoders show the whole blocks of the frame from the top
    // left, leaving the last width % 4 columns and height % 4 rows uncoded: the encoder gets the
    // frame cropped to its whole blocks.
    WholeBlocks,
    // The format codes 4x4 blocks, and its decoders crop the picture to the stream's size: the
    // encoder gets the frame padded to whole blocks by repeating its last column and row.
    PaddedBlocks,
};

// The frame sizes a compressor takes: at least the minimum, multiples of the step, and only those
// listed when the format fixes its sizes.
struct SizeRule {
    SizeFit fit = SizeFit::Exact;
    FrameSize minimum{1, 1};
    FrameSize step{1, 1};
    std::span<const FrameSize> only = {};
};

struct CompressorSpec {
    FOURCC handler;      // as the driver list names it
    FOURCC compression;  // the compression code of the frames it writes
    const char* encoderName;
    const char16_t* description;
    DWORD flags;  // VIDCF_*
    QualityScale quality;
    bool bitRateControl;  // a data rate drives the encoder's rate control
    // keyint_min for an encoder that keys every N frames is N plus this (one encoder keys every
    // keyint_min + 1 frames).
    int keyIntMinOffset;
    // What the encoder is given for an input layout the layer accepts.
    AVPixelFormat (*encoderFormat)(const BitmapLayout& input);
    // The largest frame the encoder can produce for that size; a true bound.
    size_t (*maxFrameBytes)(int width, int height);
    std::span<const EncoderOption> options;
    SizeRule sizes;
    int level;  // the format version the encoder writes; 0 for the encoder's default
    // The slices the encoder cuts a frame of that size into; null for the encoder's default.
    int (*slices)(int width, int height);
};

// The side of the square blocks of SizeFit::WholeBlocks and SizeFit::PaddedBlocks.
inline constexpr int kBlockSide = 4;

// Whether the compressor takes frames of that size at all.
bool TakesSize(const CompressorSpec& entry, int width, int height);
// The size the encoder codes for a frame of that size: cropped or padded to whole blocks.
FrameSize CodedSize(const CompressorSpec& entry, int width, int height);

// In the order the driver list shows them.
std::span<const CompressorSpec> Compressors();
const CompressorSpec* FindCompressor(FOURCC handler);

// The codec that decodes a compression code, by libavformat's RIFF tag table (which also maps
// 0 to raw bitmaps and 1, 2 to run-length bitmaps) and then, as libavformat's AVI reader does, its
// QuickTime table, then the codes it recognises by probing the data (H.265); AV_CODEC_ID_NONE when
// libavcodec has no decoder for it, and always for "DIB ", which names no driver.
AVCodecID DecodingCodec(FOURCC compression);

struct DecoderCode {
    FOURCC handler;
    const char* decoderName;
};
// One handler code per codec that libavcodec decodes and no compressor covers: the codec's first
// code in the RIFF table (else in the probed codes) when it is four letters or digits, in
// libavcodec's order.
std::span<const DecoderCode> DecoderCodes();

// "Cinepak", "Motion JPEG", or for decoders a neutral codec name with the code: "H.264 (H264)".
std::u16string Description(FOURCC handler);
// The codec's short name (at most 15 characters), for ICINFO's szName.
std::u16string ShortName(FOURCC handler);
// "libavcodec:<codec>", the driver as the driver list and ICINFO's szDriver name it.
std::string DriverName(FOURCC handler);

}  // namespace zedadu::vfw::ffmpeg
