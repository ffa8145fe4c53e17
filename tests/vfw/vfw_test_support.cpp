#include "tests/vfw/vfw_test_support.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zedadu::test {
namespace {

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

bool IsVideoChunk(uint32_t id) {
    return id == FourCC("00dc") || id == FourCC("00db");
}

// Walks the chunks between two offsets, descending into the lists that matter here.
void Walk(const std::vector<uint8_t>& bytes, size_t at, size_t end, AviVideo& video,
          bool& inVideoStream) {
    while (at + 8 <= end) {
        const uint32_t id = Little32(bytes, at);
        const size_t size = Little32(bytes, at + 4);
        const size_t body = at + 8;
        if (size > end - body) {
            return;
        }
        const uint32_t listType = size >= 4 ? Little32(bytes, body) : 0;
        if (id == FourCC("LIST") && listType != FourCC("INFO")) {
            Walk(bytes, body + 4, body + size, video, inVideoStream);
        } else if (id == FourCC("strh") && size >= 4) {
            inVideoStream = listType == FourCC("vids");
        } else if (id == FourCC("strf") && inVideoStream && video.format.empty()) {
            video.format.assign(bytes.begin() + long(body), bytes.begin() + long(body + size));
        } else if (IsVideoChunk(id)) {
            video.chunks.emplace_back(bytes.begin() + long(body),
                                      bytes.begin() + long(body + size));
        } else if (id == FourCC("idx1")) {
            for (size_t entry = body; entry + 16 <= body + size; entry += 16) {
                if (IsVideoChunk(Little32(bytes, entry))) {
                    video.flags.push_back(Little32(bytes, entry + 4));
                }
            }
        }
        at = body + size + (size & 1);
    }
}

}  // namespace

Compressor OpenCompressor(FOURCC handler, UINT mode) {
    return Compressor(ICOpen(ICTYPE_VIDEO, handler, mode));
}

AviVideo ReadAviVideo(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    AviVideo video;
    bool inVideoStream = false;
    if (bytes.size() >= 12) {
        Walk(bytes, 12, bytes.size(), video, inVideoStream);
    }
    if (video.flags.size() != video.chunks.size()) {
        video.flags.assign(video.chunks.size(), AVIIF_KEYFRAME);
    }
    // The reader keeps a stream's format in a buffer of 1120 bytes: header and colour table.
    if (video.format.size() < 1120) {
        video.format.resize(1120);
    }
    return video;
}

CodecContext OpenDecoderForFile(const std::string& path) {
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    CodecContext decoder;
    const AVCodec* codec = nullptr;
    if (avformat_find_stream_info(file, nullptr) >= 0) {
        const int stream = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream >= 0) {
            decoder.reset(avcodec_alloc_context3(codec));
            avcodec_parameters_to_context(decoder.get(), file->streams[stream]->codecpar);
        }
    }
    avformat_close_input(&file);
    if (!decoder) {
        return nullptr;
    }
    decoder->thread_count = 1;
    return avcodec_open2(decoder.get(), codec, nullptr) >= 0 ? std::move(decoder) : nullptr;
}

CodecContext OpenDecoderForFormat(const BITMAPINFOHEADER& format) {
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    const AVCodec* codec = avcodec_find_decoder(av_codec_get_id(tables, format.biCompression));
    if (!codec) {
        return nullptr;
    }
    CodecContext decoder(avcodec_alloc_context3(codec));
    decoder->codec_tag = format.biCompression;
    decoder->width = format.biWidth;
    decoder->height = std::abs(format.biHeight);
    decoder->bits_per_coded_sample = format.biBitCount;
    decoder->thread_count = 1;
    const size_t extra = format.biSize - sizeof format;
    if (extra > 0) {
        decoder->extradata =
            static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(decoder->extradata, reinterpret_cast<const uint8_t*>(&format) + sizeof format,
               extra);
        decoder->extradata_size = int(extra);
    }
    return avcodec_open2(decoder.get(), codec, nullptr) >= 0 ? std::move(decoder) : nullptr;
}

Frame DecodeChunk(AVCodecContext* decoder, const std::vector<uint8_t>& chunk, bool key) {
    if (chunk.empty()) {
        return nullptr;
    }
    Packet packet(av_packet_alloc());
    av_new_packet(packet.get(), int(chunk.size()));
    memcpy(packet->data, chunk.data(), chunk.size());
    packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    avcodec_send_packet(decoder, packet.get());
    Frame latest;
    for (Frame frame(av_frame_alloc()); avcodec_receive_frame(decoder, frame.get()) == 0;
         frame.reset(av_frame_alloc())) {
        latest = std::move(frame);
    }
    return latest;
}

std::vector<uint8_t> ConvertFrame(const AVFrame& frame, AVPixelFormat format, int width, int height,
                                  int rowBytes) {
    const auto source = AVPixelFormat(frame.format);
    const int flags =
        vfw::ffmpeg::ScaleFlags(source, frame.width, frame.height, format, width, height);
    const std::unique_ptr<SwsContext, void (*)(SwsContext*)> scaler(
        sws_getContext(frame.width, frame.height, source, width, height, format, flags, nullptr,
                       nullptr, nullptr),
        sws_freeContext);
    vfw::ffmpeg::SetFrameColorDetails(scaler.get(), frame);
    // libswscale leaves the last pixels of a row unwritten when its vectors would overshoot the
    // stride, and writes past the row otherwise: the reference rows get room behind them.
    const int stride = (rowBytes + 63) / 64 * 64 + 64;
    std::vector<uint8_t> converted(size_t(stride) * height);
    uint8_t* planes[4] = {converted.data()};
    int strides[4] = {stride};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    std::vector<uint8_t> rows;
    for (int y = 0; y < height; ++y) {
        rows.insert(rows.end(), converted.begin() + long(y) * stride,
                    converted.begin() + long(y) * stride + rowBytes);
    }
    return rows;
}

BITMAPINFOHEADER UncompressedHeader(int width, int height, WORD bitCount, DWORD compression) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    header.biSizeImage = DWORD((bitCount * width + 31) / 32 * 4 * std::abs(height));
    return header;
}

int BytesPerPixel(AVPixelFormat format) {
    return format == AV_PIX_FMT_BGR24 ? 3 : format == AV_PIX_FMT_BGRA ? 4 : 2;
}

std::vector<uint8_t> TopDownRows(const std::vector<uint8_t>& bitmap, const BitmapLayout& layout,
                                 int rowBytes) {
    std::vector<uint8_t> rows;
    for (int y = 0; y < layout.height; ++y) {
        const int stored = layout.bottomUp ? layout.height - 1 - y : y;
        const auto row = bitmap.begin() + long(stored) * layout.stride;
        rows.insert(rows.end(), row, row + rowBytes);
    }
    return rows;
}

}  // namespace zedadu::test
