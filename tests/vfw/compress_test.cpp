// Compression through the built-in compressors, decoded back with libavcodec.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/opt.h>
}

#include "platform/vfw/ffmpeg/state.h"
#include "tests/vfw/vfw_test_support.h"

namespace zedadu::test {
namespace {

struct EncodeCase {
    const char* name;
    FOURCC handler;
    WORD inputBits;
    DWORD inputCompression;
    int width;
    int height;
    double psnrFloor;  // decibels over the input's samples; 0 means lossless: exact
};

// Floors sit 1 to 3 dB below what the default quality gives on these noisy test pictures.
const EncodeCase kEncodeCases[] = {
    {"MSVC", FourCC("MSVC"), 24, BI_RGB, 64, 48, 25},
    {"MSVC_rgb16", FourCC("MSVC"), 16, BI_RGB, 64, 48, 25},
    {"CVID", FourCC("CVID"), 24, BI_RGB, 64, 48, 27},
    {"MJPG", FourCC("MJPG"), 24, BI_RGB, 64, 48, 27},
    {"MJPG_yuy2", FourCC("MJPG"), 16, kYuy2, 64, 48, 33},
    {"dvsd_ntsc", FourCC("dvsd"), 24, BI_RGB, 720, 480, 27},
    {"dvsd_pal", FourCC("dvsd"), 32, BI_RGB, 720, 576, 28},
    {"HFYU", FourCC("HFYU"), 24, BI_RGB, 64, 48, 0},
    {"HFYU_rgb32", FourCC("HFYU"), 32, BI_RGB, 64, 48, 0},
    {"HFYU_rgb16", FourCC("HFYU"), 16, BI_RGB, 64, 48, 0},
    {"HFYU_yuy2", FourCC("HFYU"), 16, kYuy2, 64, 48, 0},
    {"FFV1", FourCC("FFV1"), 24, BI_RGB, 64, 48, 0},
    {"FFV1_rgb32", FourCC("FFV1"), 32, BI_RGB, 63, 47, 0},
    {"FFV1_yuy2", FourCC("FFV1"), 16, kYuy2, 64, 48, 0},
    {"XVID", FourCC("XVID"), 24, BI_RGB, 64, 48, 25},
    {"ZMBV", FourCC("ZMBV"), 24, BI_RGB, 64, 48, 0},
    {"ZMBV_rgb16", FourCC("ZMBV"), 16, BI_RGB, 64, 48, 0},
    {"ULRG", FourCC("ULRG"), 24, BI_RGB, 64, 48, 0},
    {"ULY2", FourCC("ULY2"), 16, kYuy2, 64, 48, 0},
    {"ULY2_rgb24", FourCC("ULY2"), 24, BI_RGB, 64, 48, 29},
    {"MPNG", FourCC("MPNG"), 24, BI_RGB, 65, 48, 0},
};

constexpr int kFrames = 10;
constexpr int kKeyInterval = 4;
constexpr int kNoiseFrame = 9;  // every byte random: the largest chunks

uint32_t NextRandom(uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
}

void PutPixel(uint8_t* at, AVPixelFormat format, uint8_t b, uint8_t g, uint8_t r) {
    if (format == AV_PIX_FMT_RGB555LE) {
        const auto pixel = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        memcpy(at, &pixel, 2);
    } else if (format == AV_PIX_FMT_YUYV422) {
        at[0] = uint8_t(16 + g * 3 / 4);
        at[1] = uint8_t(64 + r / 2);
    } else {
        const uint8_t pixel[] = {b, g, r, 255};
        memcpy(at, pixel, size_t(BytesPerPixel(format)));
    }
}

// A moving gradient with a bright square and a little noise, or pure noise, in the input layout.
std::vector<uint8_t> MakeFrame(const BitmapLayout& layout, int index) {
    std::vector<uint8_t> bitmap(layout.ImageSize());
    uint32_t seed = uint32_t(index) * 7919u + 1;
    const int bytes = BytesPerPixel(layout.pixelFormat);
    for (int y = 0; y < layout.height; ++y) {
        uint8_t* row = bitmap.data() + size_t(y) * layout.stride;
        for (int x = 0; x < layout.width; ++x) {
            const bool square = std::abs(x - 10 - 2 * index) < 6 && std::abs(y - 20) < 6;
            const auto jitter = int(NextRandom(seed) % 5);
            auto channel = [&](int base) {
                return index == kNoiseFrame ? uint8_t(NextRandom(seed))
                                            : uint8_t(square ? 230 : base + jitter);
            };
            const uint8_t b = channel((x * 3 + index * 4) & 127);
            const uint8_t g = channel((y * 4 + 40) & 127);
            const uint8_t r = channel(((x + y) * 2 + index * 8) & 127);
            PutPixel(row + bytes * x, layout.pixelFormat, b, g, r);
        }
    }
    return bitmap;
}

// Samples of a picture as bytes: 5-5-5 pixels split into their three channels.
std::vector<uint8_t> Samples(const std::vector<uint8_t>& rows, AVPixelFormat format) {
    if (format != AV_PIX_FMT_RGB555LE) {
        return rows;
    }
    std::vector<uint8_t> samples;
    for (size_t i = 0; i + 1 < rows.size(); i += 2) {
        const int pixel = rows[i] | rows[i + 1] << 8;
        for (int shift : {10, 5, 0}) {
            samples.push_back(uint8_t((pixel >> shift & 31) << 3));
        }
    }
    return samples;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        squares += double(a[i] - b[i]) * double(a[i] - b[i]);
    }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / squares);
}

struct Chunk {
    std::vector<uint8_t> bytes;
    DWORD flags;
};

// A compressor started for one input format, as the writer starts it, and ended when it goes.
class Session {
  public:
    Session(CompressorInstance* compressor, const BITMAPINFOHEADER& input, int dataRate = 0)
        : compressor_(compressor), input_(input) {
        if (!compressor_ || ICSendMessage(compressor_, ICM_COMPRESS_QUERY, DWORD_PTR(&input_), 0)) {
            return;
        }
        bound_ = ICSendMessage(compressor_, ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input_), 0);
        format_.resize(ICSendMessage(compressor_, ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input_), 0));
        ICSendMessage(compressor_, ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input_),
                      DWORD_PTR(format_.data()));
        ICCOMPRESSFRAMES frames{};
        frames.lpbiOutput = &Output();
        frames.lpbiInput = &input_;
        frames.lFrameCount = kFrames;
        frames.lQuality = -1;
        frames.lDataRate = dataRate;
        frames.lKeyRate = kKeyInterval;
        frames.dwRate = 10;
        frames.dwScale = 1;
        ICSendMessage(compressor_, ICM_COMPRESS_FRAMES_INFO, DWORD_PTR(&frames), sizeof frames);
        begun_ = ICSendMessage(compressor_, ICM_COMPRESS_BEGIN, DWORD_PTR(&input_),
                               DWORD_PTR(format_.data())) == ICERR_OK;
    }
    ~Session() { ICSendMessage(compressor_, ICM_COMPRESS_END, 0, 0); }

    bool Begun() const { return begun_; }
    BITMAPINFOHEADER& Output() { return *reinterpret_cast<BITMAPINFOHEADER*>(format_.data()); }

    Chunk Compress(const std::vector<uint8_t>& picture, bool key, DWORD quality = ICQUALITY_DEFAULT,
                   DWORD frameSize = 0) {
        std::vector<uint8_t> buffer(static_cast<size_t>(bound_));
        DWORD chunkId = 0;
        Chunk chunk{{}, 0xFFFF};
        ICCOMPRESS request{key ? ICCOMPRESS_KEYFRAME : 0,
                           &Output(),
                           buffer.data(),
                           &input_,
                           const_cast<uint8_t*>(picture.data()),
                           &chunkId,
                           &chunk.flags,
                           frame_++,
                           frameSize,
                           quality,
                           nullptr,
                           nullptr};
        Output().biSizeImage = DWORD(bound_);
        EXPECT_EQ(ICSendMessage(compressor_, ICM_COMPRESS, DWORD_PTR(&request), sizeof request),
                  ICERR_OK);
        EXPECT_EQ(chunkId, cktypeDIBcompressed);
        EXPECT_LE(Output().biSizeImage, DWORD(bound_)) << "the size bound holds";
        chunk.bytes.assign(buffer.begin(), buffer.begin() + Output().biSizeImage);
        return chunk;
    }

  private:
    CompressorInstance* compressor_;
    BITMAPINFOHEADER input_;
    std::vector<uint8_t> format_;
    LRESULT bound_ = 0;
    bool begun_ = false;
    LONG frame_ = 0;
};

// A decoded picture in the input's layout, top row first, without row padding.
std::vector<uint8_t> InInputLayout(const AVFrame& frame, const BitmapLayout& layout) {
    return ConvertFrame(frame, layout.pixelFormat, layout.width, layout.height,
                        layout.width * BytesPerPixel(layout.pixelFormat));
}

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, ForcedKeyFramesDecodeAloneAndPicturesSurviveTheRoundTrip) {
    const EncodeCase& encodeCase = GetParam();
    const BITMAPINFOHEADER input = UncompressedHeader(
        encodeCase.width, encodeCase.height, encodeCase.inputBits, encodeCase.inputCompression);
    const BitmapLayout layout = *UncompressedLayout(input);
    const int rowBytes = layout.width * BytesPerPixel(layout.pixelFormat);
    Compressor compressor = OpenCompressor(encodeCase.handler, ICMODE_COMPRESS);
    Session session(compressor.get(), input);
    ASSERT_TRUE(session.Begun());
    std::vector<Chunk> chunks;
    std::vector<std::vector<uint8_t>> originals;
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<uint8_t> picture = MakeFrame(layout, i);
        originals.push_back(TopDownRows(picture, layout, rowBytes));
        chunks.push_back(session.Compress(picture, i % kKeyInterval == 0));
        if (i % kKeyInterval == 0) {
            EXPECT_TRUE(chunks.back().flags & AVIIF_KEYFRAME) << "forced key frame " << i;
        }
    }
    CodecContext decoder = OpenDecoderForFormat(session.Output());
    ASSERT_TRUE(decoder);
    std::vector<std::vector<uint8_t>> decoded;
    for (int i = 0; i < kFrames; ++i) {
        const bool key = chunks[i].flags & AVIIF_KEYFRAME;
        Frame frame = DecodeChunk(decoder.get(), chunks[i].bytes, key);
        ASSERT_TRUE(frame) << "one chunk in, one picture out: chunk " << i;
        decoded.push_back(InInputLayout(*frame, layout));
        if (encodeCase.psnrFloor == 0) {
            EXPECT_TRUE(decoded[i] == originals[i]) << "lossless frame " << i;
        } else if (i != kNoiseFrame) {
            EXPECT_GT(Psnr(Samples(decoded[i], layout.pixelFormat),
                           Samples(originals[i], layout.pixelFormat)),
                      encodeCase.psnrFloor)
                << "frame " << i;
        }
    }
    for (int i = 0; i < kFrames; ++i) {
        if (chunks[i].flags & AVIIF_KEYFRAME) {
            CodecContext alone = OpenDecoderForFormat(session.Output());
            Frame frame = DecodeChunk(alone.get(), chunks[i].bytes, true);
            ASSERT_TRUE(frame);
            EXPECT_TRUE(InInputLayout(*frame, layout) == decoded[i]) << "key chunk " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Compressors, EncodeTest, ::testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The bytes of eight frames, key frames forced as the encode test forces them.
size_t TotalSize(const char* code, DWORD quality, int dataRate = 0) {
    const BITMAPINFOHEADER input = UncompressedHeader(64, 48, 24);
    Compressor compressor = OpenCompressor(Code(code), ICMODE_COMPRESS);
    Session session(compressor.get(), input, dataRate);
    const BitmapLayout layout = *UncompressedLayout(input);
    size_t total = 0;
    for (int i = 0; i < 8; ++i) {
        total +=
            session.Compress(MakeFrame(layout, i), i % kKeyInterval == 0, quality).bytes.size();
    }
    return total;
}

// Quality where the compressor claims it, data rate where it has rate control or a byte budget.
TEST(EncodeControlTest, QualityAndDataRateMoveTheOutputSize) {
    for (const char* code : {"CVID", "MJPG", "XVID"}) {
        EXPECT_LT(TotalSize(code, 2000), TotalSize(code, 9000)) << code;
    }
    for (const char* code : {"MJPG", "XVID"}) {
        EXPECT_LT(TotalSize(code, ICQUALITY_DEFAULT, 3000),
                  TotalSize(code, ICQUALITY_DEFAULT, 60000))
            << code;
    }
}

TEST(EncodeControlTest, MotionJpegMeetsTheFrameBudget) {
    const BITMAPINFOHEADER input = UncompressedHeader(64, 48, 24);
    const BitmapLayout layout = *UncompressedLayout(input);
    Compressor compressor = OpenCompressor(FourCC("MJPG"), ICMODE_COMPRESS);
    Session session(compressor.get(), input);
    const std::vector<uint8_t> picture = MakeFrame(layout, 1);
    const size_t free = session.Compress(picture, true, 10000).bytes.size();
    const auto budget = DWORD(free / 2);
    EXPECT_LE(session.Compress(picture, true, 10000, budget).bytes.size(), budget);
    // A budget below the coarsest frame gets the coarsest frame.
    const size_t coarsest = session.Compress(picture, true, 0).bytes.size();
    EXPECT_EQ(session.Compress(picture, true, 10000, 10).bytes.size(), coarsest);
}

std::vector<uint8_t> StateBlock(FOURCC handler, uint16_t version,
                                std::vector<std::pair<uint32_t, int32_t>> entries) {
    std::vector<uint8_t> block(12 + 8 * entries.size());
    const uint16_t count = uint16_t(entries.size());
    memcpy(block.data(), "zvcs", 4);
    memcpy(block.data() + 4, &version, 2);
    memcpy(block.data() + 6, &count, 2);
    memcpy(block.data() + 8, &handler, 4);
    for (size_t i = 0; i < entries.size(); ++i) {
        memcpy(block.data() + 12 + 8 * i, &entries[i].first, 4);
        memcpy(block.data() + 16 + 8 * i, &entries[i].second, 4);
    }
    return block;
}

std::vector<uint8_t> State(CompressorInstance* compressor) {
    std::vector<uint8_t> state(size_t(ICSendMessage(compressor, ICM_GETSTATE, 0, 0)));
    EXPECT_EQ(ICSendMessage(compressor, ICM_GETSTATE, DWORD_PTR(state.data()), state.size()),
              LRESULT(state.size()));
    return state;
}

// The state holds the options that differ from the encoder's defaults; blocks for another
// handler or version change nothing.
TEST(CompressorStateTest, StateBlocksRoundTripAndForeignBlocksAreIgnored) {
    const BITMAPINFOHEADER input = UncompressedHeader(64, 48, 24);
    const std::vector<uint8_t> picture = MakeFrame(*UncompressedLayout(input), 1);
    Compressor compressor = OpenCompressor(FourCC("ZMBV"), ICMODE_COMPRESS);
    const auto compressedSize = [&] {
        return Session(compressor.get(), input).Compress(picture, true).bytes.size();
    };
    EXPECT_EQ(State(compressor.get()), StateBlock(FourCC("ZMBV"), 1, {}));
    const size_t defaultSize = compressedSize();

    const std::vector<uint8_t> stored = StateBlock(FourCC("zmbv"), 1, {{1, 0}, {9, 3}});
    EXPECT_EQ(
        ICSendMessage(compressor.get(), ICM_SETSTATE, DWORD_PTR(stored.data()), stored.size()),
        LRESULT(stored.size()));
    EXPECT_EQ(State(compressor.get()), StateBlock(FourCC("ZMBV"), 1, {{1, 0}}));
    EXPECT_GT(compressedSize(), defaultSize) << "compression level 0 stores";

    std::vector<uint8_t> cut = StateBlock(FourCC("ZMBV"), 1, {{1, 5}, {1, 6}});
    cut.resize(27);
    for (const auto& foreign :
         {StateBlock(FourCC("MJPG"), 1, {{1, 5}}), StateBlock(FourCC("ZMBV"), 2, {{1, 5}}), cut}) {
        EXPECT_EQ(ICSendMessage(compressor.get(), ICM_SETSTATE, DWORD_PTR(foreign.data()),
                                foreign.size()),
                  0);
    }
    EXPECT_EQ(State(compressor.get()), StateBlock(FourCC("ZMBV"), 1, {{1, 0}}));
    ICSendMessage(compressor.get(), ICM_SETSTATE, 0, 0);
    EXPECT_EQ(State(compressor.get()), StateBlock(FourCC("ZMBV"), 1, {}));
    EXPECT_EQ(compressedSize(), defaultSize);
}

// One frame of a fixed pattern through libavcodec directly, with one option set outright or none.
std::vector<uint8_t> EncodeWithOption(const vfw::ffmpeg::CompressorSpec& entry, const char* option,
                                      int value) {
    const BitmapLayout input = *UncompressedLayout(UncompressedHeader(64, 48, 24));
    const AVCodec* codec = avcodec_find_encoder_by_name(entry.encoderName);
    CodecContext context(avcodec_alloc_context3(codec));
    context->width = input.width;
    context->height = input.height;
    context->pix_fmt = entry.encoderFormat(input);
    context->time_base = {1, 25};
    context->thread_count = 1;
    if (option) {
        av_opt_set_int(context.get(), option, value, AV_OPT_SEARCH_CHILDREN);
    }
    EXPECT_EQ(avcodec_open2(context.get(), codec, nullptr), 0) << entry.encoderName;
    Frame frame(av_frame_alloc());
    frame->format = context->pix_fmt;
    frame->width = input.width;
    frame->height = input.height;
    av_frame_get_buffer(frame.get(), 0);
    for (int plane = 0; plane < 4 && frame->buf[plane]; ++plane) {
        for (size_t i = 0; i < frame->buf[plane]->size; ++i) {
            frame->buf[plane]->data[i] = uint8_t(i * 7 + (i >> 6) * 3);
        }
    }
    Packet packet(av_packet_alloc());
    avcodec_send_frame(context.get(), frame.get());
    avcodec_receive_packet(context.get(), packet.get());
    return {packet->data, packet->data + packet->size};
}

// The options box shows each option as the encoder uses it, inside the stated range: setting
// the shown value outright codes the same bytes as leaving the option alone.
TEST(CompressorStateTest, ShownOptionValuesAreTheOnesTheEncoderUses) {
    for (const vfw::ffmpeg::CompressorSpec& entry : vfw::ffmpeg::Compressors()) {
        const vfw::ffmpeg::CompressorState state(entry);
        for (const vfw::ffmpeg::EncoderOption& option : entry.options) {
            SCOPED_TRACE(std::string(entry.encoderName) + " " + option.name);
            const int shown = state.Value(option);
            EXPECT_GE(shown, option.minimum);
            EXPECT_LE(shown, option.maximum);
            EXPECT_EQ(EncodeWithOption(entry, option.name, shown),
                      EncodeWithOption(entry, nullptr, 0));
        }
    }
}

}  // namespace
}  // namespace zedadu::test
