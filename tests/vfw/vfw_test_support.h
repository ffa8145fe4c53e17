// Helpers of the compressor-layer tests: owned libav objects, ffmpeg-made clips and their chunks,
// owned compressor instances and bitmap headers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "platform/vfw/ffmpeg/bitmap.h"
#include "platform/vfw/vfw.h"

namespace zedadu::test {

using vfw::ffmpeg::BitmapLayout;
using vfw::ffmpeg::kYuy2;
using vfw::ffmpeg::UncompressedLayout;

// Owners of libav objects (freed through their address) and of compressor instances.
template <auto free>
struct FreeThroughAddress {
    template <typename Object>
    void operator()(Object* object) const {
        free(&object);
    }
};
struct CompressorClose {
    void operator()(CompressorInstance* compressor) const { ICClose(compressor); }
};
using CodecContext = std::unique_ptr<AVCodecContext, FreeThroughAddress<avcodec_free_context>>;
using Frame = std::unique_ptr<AVFrame, FreeThroughAddress<av_frame_free>>;
using Packet = std::unique_ptr<AVPacket, FreeThroughAddress<av_packet_free>>;
using Compressor = std::unique_ptr<CompressorInstance, CompressorClose>;

inline FOURCC Code(const char* text) {
    return mmioFOURCC(text[0], text[1], text[2], text[3]);
}
Compressor OpenCompressor(FOURCC handler, UINT mode);

// The first video stream of an AVI file as the reader meets it: the 'strf' bytes (padded with
// zeros to the size of the reader's format buffer) and the chunks with their index flags.
struct AviVideo {
    std::vector<uint8_t> format;
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<uint32_t> flags;

    BITMAPINFOHEADER& Header() { return *reinterpret_cast<BITMAPINFOHEADER*>(format.data()); }
};
AviVideo ReadAviVideo(const std::string& path);

// The decoding parameters libavformat derives for the first video stream of a file.
CodecContext OpenDecoderForFile(const std::string& path);
// A decoder set up from a compressed bitmap header the way a plain libavcodec user would.
CodecContext OpenDecoderForFormat(const BITMAPINFOHEADER& format);

// Sends one chunk (with padding) and takes every picture the decoder releases; returns the last
// one, or null when none came.
Frame DecodeChunk(AVCodecContext* decoder, const std::vector<uint8_t>& chunk, bool key);

// The frame converted by libswscale, top-down and packed, in the given pixel format and size,
// with the colour details the layer applies; every pixel of every row written.
std::vector<uint8_t> ConvertFrame(const AVFrame& frame, AVPixelFormat format, int width, int height,
                                  int rowBytes);

BITMAPINFOHEADER UncompressedHeader(int width, int height, WORD bitCount, DWORD compression = 0);
// Bytes of a pixel of the four uncompressed layouts.
int BytesPerPixel(AVPixelFormat format);

// The rows of a bitmap with its padding removed, top row first.
std::vector<uint8_t> TopDownRows(const std::vector<uint8_t>& bitmap, const BitmapLayout& layout,
                                 int rowBytes);

}  // namespace zedadu::test
