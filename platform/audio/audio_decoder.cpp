#include "platform/audio/audio_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "platform/win32/byte_order.h"

namespace zedadu::audio {
namespace {

// Far beyond any real track; keeps hostile formats from sizing the resampler's buffers.
constexpr uint16_t kMaxChannels = 64;
constexpr uint32_t kMaxSampleRate = 768000;
constexpr size_t kMaxExtraBytes = 64 * 1024;

// MPEG audio's bit reservoir reaches back up to 511 bytes of earlier frames, and every frame's
// synthesis overlaps the one before; eight frames cover both at any bit rate.
constexpr int kMpegWarmUp = 8;
// Transform codecs overlap each block with the one before.
constexpr int kTransformWarmUp = 2;

// The PCM codec for integer or floating-point samples of a width, as libavformat's RIFF reader
// chooses it: 8-bit integer samples are unsigned, wider ones signed.
AVCodecID WidePcmCodec(AVCodecID id, uint16_t bits) {
    if (id == AV_CODEC_ID_PCM_S16LE) {
        switch (bits) {
            case 8:
                return AV_CODEC_ID_PCM_U8;
            case 16:
                return AV_CODEC_ID_PCM_S16LE;
            case 24:
                return AV_CODEC_ID_PCM_S24LE;
            case 32:
                return AV_CODEC_ID_PCM_S32LE;
            case 64:
                return AV_CODEC_ID_PCM_S64LE;
            default:
                return AV_CODEC_ID_NONE;
        }
    }
    if (id == AV_CODEC_ID_PCM_F32LE) {
        return bits == 32   ? AV_CODEC_ID_PCM_F32LE
               : bits == 64 ? AV_CODEC_ID_PCM_F64LE
                            : AV_CODEC_ID_NONE;
    }
    return id;
}

// The platform shows no library diagnostics; a chunk that does not decode is silence, not news.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// The sub-formats without a tag that libavformat's RIFF reader knows by their GUID.
struct SubFormatCodec {
    const char* guid;
    AVCodecID id;
};
constexpr SubFormatCodec kSubFormatCodecs[] = {
    {"E06D802C-DB46-11CF-B4D1-00805F6CBBEA", AV_CODEC_ID_AC3},
    {"E923AABF-CB58-4471-A119-FFFA01E4CE62", AV_CODEC_ID_ATRAC3P},
    {"A7FB87AF-2D02-42FB-A4D4-05CD93843BDD", AV_CODEC_ID_EAC3},
    {"E06D802B-DB46-11CF-B4D1-00805F6CBBEA", AV_CODEC_ID_MP2},
};

// A GUID as it is written: its first three fields are stored little-endian.
std::string GuidText(const std::array<uint8_t, 16>& guid) {
    char text[40];
    snprintf(text, sizeof text, "%08X-%04X-%04X-", unsigned(LoadU32(guid.data())),
             unsigned(LoadU16(guid.data() + 4)), unsigned(LoadU16(guid.data() + 6)));
    std::string written = text;
    for (size_t i = 8; i < guid.size(); ++i) {
        snprintf(text, sizeof text, i == 10 ? "-%02X" : "%02X", unsigned(guid[i]));
        written += text;
    }
    return written;
}

AVCodecID CodecOf(const WaveFormat& format) {
    const std::string subFormat = GuidText(format.subFormat);
    for (const SubFormatCodec& known : kSubFormatCodecs) {
        if (subFormat == known.guid) {
            return known.id;
        }
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return WidePcmCodec(av_codec_get_id(tables, format.tag), format.bitsPerSample);
}

bool IsPcmLike(AVCodecID id) {
    return (id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT) ||
           id == AV_CODEC_ID_PCM_ALAW || id == AV_CODEC_ID_PCM_MULAW;
}

// ADPCM codings whose every block starts afresh from its own header.
bool HasSelfContainedBlocks(AVCodecID id) {
    return id == AV_CODEC_ID_ADPCM_IMA_WAV || id == AV_CODEC_ID_ADPCM_MS;
}

// Whether chunks go through the codec's parser, as libavformat's AVI reader sends them: it hands
// FLAC chunks to the decoder whole, and the Vorbis parser only times packets, by durations that
// differ from what the decoder puts out at the start. Those are counted by decoding.
bool ParsedLikeLibavformat(AVCodecID id) {
    return id != AV_CODEC_ID_FLAC && id != AV_CODEC_ID_VORBIS;
}

bool IsMpegAudio(AVCodecID id) {
    return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3;
}

}  // namespace

struct AudioDecoder::State {
    AVCodecContext* context = nullptr;
    AVCodecParserContext* parser = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int sampleFormat = -1;  // the sample format the resampler was made for
    AVCodecID id = AV_CODEC_ID_NONE;
    WaveFormat format;           // its extra bytes point into extra
    std::vector<uint8_t> extra;  // the setup bytes, kept for a fresh decoder
    std::vector<uint8_t> input;  // a chunk with the padding a parser reads into

    ~State() {
        av_parser_close(parser);
        swr_free(&resampler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

namespace {

void SetChannels(AVCodecContext& context, const WaveFormat& format) {
    if (format.channelMask != 0 && av_popcount(format.channelMask) == format.channels) {
        av_channel_layout_from_mask(&context.ch_layout, format.channelMask);
    } else {
        av_channel_layout_default(&context.ch_layout, format.channels);
    }
}

// The decoder set up as libavformat's AVI reader sets it up from the stream format, with a copy of
// the setup bytes that the codec context owns.
bool OpenCodec(AudioDecoder::State& state) {
    const WaveFormat& format = state.format;
    const AVCodec* codec = avcodec_find_decoder(state.id);
    if (codec == nullptr || (state.context = avcodec_alloc_context3(codec)) == nullptr) {
        return false;
    }
    AVCodecContext& context = *state.context;
    context.sample_rate = int(format.sampleRate);
    SetChannels(context, format);
    context.block_align = format.blockAlign;
    context.bit_rate = int64_t(format.bytesPerSecond) * 8;
    context.bits_per_coded_sample = format.bitsPerSample;
    if (!format.extra.empty()) {
        context.extradata =
            static_cast<uint8_t*>(av_mallocz(format.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context.extradata == nullptr) {
            return false;
        }
        std::copy(format.extra.begin(), format.extra.end(), context.extradata);
        context.extradata_size = int(format.extra.size());
    }
    context.thread_count = 1;
    return avcodec_open2(&context, codec, nullptr) >= 0;
}

// The sample frames one block decodes to, as libavcodec counts them for a packet of one block.
uint32_t SamplesPerBlock(AVCodecContext& context) {
    const int samples = av_get_audio_frame_duration(&context, context.block_align);
    return samples > 0 ? uint32_t(samples) : 0;
}

// The resampler only converts the sample format and interleaves: rate and channels stay.
bool OpenResampler(AudioDecoder::State& state, AVFrame& frame) {
    AVChannelLayout& layout = frame.ch_layout;
    return swr_alloc_set_opts2(&state.resampler, &layout, AV_SAMPLE_FMT_S16, frame.sample_rate,
                               &layout, AVSampleFormat(frame.format), frame.sample_rate, 0,
                               nullptr) >= 0 &&
           swr_init(state.resampler) >= 0;
}

// AAC's frame length from its configuration: 1024 sample frames, 960 where the frame length flag
// of a plain configuration (no escaped object type or rate) says so.
uint32_t AacFrameSamples(std::span<const uint8_t> config) {
    constexpr uint32_t kEscapedType = 31;
    constexpr uint32_t kEscapedRate = 15;
    if (config.size() < 2) {
        return 0;
    }
    const uint32_t bits = uint32_t(config[0]) << 8 | config[1];
    if (bits >> 11 == kEscapedType || (bits >> 7 & 0xF) == kEscapedRate) {
        return 0;
    }
    return (bits >> 2 & 1) ? 960 : 1024;
}

// The samples of every frame where each non-empty chunk holds one frame: MPEG audio stored as
// its variable-bit-rate convention has it (the block alignment is a frame's samples), AC-3 stored
// frame by frame (a block alignment above one byte), AAC with its configuration.
uint32_t FrameSamplesPerChunk(AVCodecID id, const WaveFormat& format) {
    constexpr uint32_t kMpegLayer1 = 384;
    constexpr uint32_t kMpegLayer2 = 1152;
    constexpr uint32_t kMpegLayer3 = 1152;
    constexpr uint32_t kMpegLayer3LowRates = 576;
    constexpr uint32_t kAc3 = 1536;
    constexpr uint32_t kLowRatesBelow = 32000;
    const bool lowRates = format.sampleRate < kLowRatesBelow;
    const uint32_t mpeg = id == AV_CODEC_ID_MP1   ? kMpegLayer1
                          : id == AV_CODEC_ID_MP2 ? kMpegLayer2
                          : lowRates              ? kMpegLayer3LowRates
                                                  : kMpegLayer3;
    if (IsMpegAudio(id)) {
        return format.blockAlign == mpeg ? mpeg : 0;
    }
    if (id == AV_CODEC_ID_AC3) {
        return format.blockAlign > 1 ? kAc3 : 0;
    }
    if (id == AV_CODEC_ID_AAC) {
        return AacFrameSamples(format.extra);
    }
    return 0;
}

}  // namespace

AudioDecoder::AudioDecoder(std::unique_ptr<State> state) : state_(std::move(state)) {}

AudioDecoder::~AudioDecoder() = default;

std::unique_ptr<AudioDecoder> AudioDecoder::Open(std::span<const uint8_t> formatBytes) {
    WaveFormat format;
    if (!ReadWaveFormat(formatBytes, format) || IsPlainPcm(format) || format.channels == 0 ||
        format.channels > kMaxChannels || format.sampleRate == 0 ||
        format.sampleRate > kMaxSampleRate || format.extra.size() > kMaxExtraBytes) {
        return nullptr;
    }
    QuietLibraries();
    const AVCodecID id = CodecOf(format);
    auto state = std::make_unique<State>();
    state->id = id;
    state->extra.assign(format.extra.begin(), format.extra.end());
    state->format = format;
    state->format.extra = std::span(state->extra).first(format.extra.size());
    if (id == AV_CODEC_ID_NONE || !OpenCodec(*state) ||
        (state->packet = av_packet_alloc()) == nullptr ||
        (state->frame = av_frame_alloc()) == nullptr) {
        return nullptr;
    }
    std::unique_ptr<AudioDecoder> decoder(new AudioDecoder(std::move(state)));
    decoder->channels_ = format.channels;
    decoder->sampleRate_ = int(format.sampleRate);
    const bool blocks = IsPcmLike(id) || HasSelfContainedBlocks(id);
    decoder->blockBytes_ = blocks ? format.blockAlign : 0;
    decoder->pcmLike_ = IsPcmLike(id);
    if (blocks && format.blockAlign == 0) {
        return nullptr;
    }
    decoder->samplesPerBlock_ = blocks ? SamplesPerBlock(*decoder->state_->context) : 0;
    if (blocks && decoder->samplesPerBlock_ == 0) {
        return nullptr;
    }
    decoder->samplesPerFrame_ = blocks ? 0 : FrameSamplesPerChunk(id, format);
    decoder->warmUpChunks_ = blocks ? 0 : IsMpegAudio(id) ? kMpegWarmUp : kTransformWarmUp;
    // Chunks of any other size may split frames: the codec's parser finds them, as the AVI reader
    // of libavformat does.
    if (!decoder->countsFromSizes() && ParsedLikeLibavformat(id)) {
        decoder->state_->parser = av_parser_init(id);
    }
    return decoder;
}

// A fresh decoder rather than a flushed one: a flush keeps state that a decoder starting at the
// track's first chunk does not have (the place in MPEG audio's synthesis ring), and the output
// would differ from a decode from the start in its last bit.
bool AudioDecoder::Restart() {
    learning_ = false;
    avcodec_free_context(&state_->context);
    if (!OpenCodec(*state_)) {
        return false;
    }
    if (state_->parser != nullptr) {
        av_parser_close(state_->parser);
        state_->parser = av_parser_init(state_->id);
    }
    return true;
}

// What the parser still holds, then what the decoder holds back (WMA's last overlap), which it
// gives up when told that the track has ended, as ffmpeg tells it.
bool AudioDecoder::Finish(std::vector<int16_t>& out) {
    uint64_t unused = 0;
    const bool parsed = state_->parser == nullptr || Parse({}, &out, unused);
    return state_->context != nullptr && avcodec_send_packet(state_->context, nullptr) >= 0 &&
           ReceiveFrames(out) && parsed;
}

bool AudioDecoder::countsByParsing() const {
    return state_->parser != nullptr;
}

uint32_t AudioDecoder::SamplesOfChunk(uint32_t chunkBytes) const {
    if (blockBytes_ != 0) {
        return chunkBytes / blockBytes_ * samplesPerBlock_;
    }
    return chunkBytes > 0 ? samplesPerFrame_ : 0;
}

bool AudioDecoder::Decode(std::span<const uint8_t> chunk, std::vector<int16_t>& out) {
    const size_t before = out.size();
    bool decoded = true;
    if (blockBytes_ != 0) {
        // PCM goes over in one packet of the chunk's whole blocks, ADPCM block by block; a partial
        // block at the chunk's end holds no whole sample frame of the coding and is left.
        const size_t whole = chunk.size() / blockBytes_ * blockBytes_;
        const size_t step = pcmLike_ ? whole : blockBytes_;
        for (size_t at = 0; at < whole && decoded; at += step) {
            decoded = DecodePacket(chunk.data() + at, step, out);
        }
    } else if (state_->parser == nullptr) {
        // An empty chunk is no packet: an empty packet would tell the decoder the track ended.
        decoded = chunk.empty() || DecodePacket(chunk.data(), chunk.size(), out);
    } else if (!chunk.empty()) {
        uint64_t unused = 0;
        decoded = Parse(chunk, &out, unused);
    }
    if (!decoded) {
        out.resize(before);
    }
    return decoded;
}

// Each frame the parser finds is decoded into out, or only counted when there is no out. No bytes
// at all ask the parser for what it holds.
bool AudioDecoder::Parse(std::span<const uint8_t> chunk, std::vector<int16_t>* out,
                         uint64_t& counted) {
    if (state_->parser == nullptr || state_->context == nullptr) {
        return false;
    }
    // Parsers read ahead of the bytes they are given, into padding that must be there.
    std::vector<uint8_t>& input = state_->input;
    input.assign(chunk.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    if (!chunk.empty()) {
        memcpy(input.data(), chunk.data(), chunk.size());
    }
    const uint8_t* data = chunk.empty() ? nullptr : input.data();
    int left = int(chunk.size());
    bool decoded = true;
    bool flush = chunk.empty();
    while (left > 0 || flush) {
        flush = false;
        uint8_t* frame = nullptr;
        int frameSize = 0;
        const int used = av_parser_parse2(state_->parser, state_->context, &frame, &frameSize, data,
                                          left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || (used == 0 && frameSize == 0 && left > 0)) {
            return false;
        }
        data += used;
        left -= used;
        if (frameSize > 0 && out != nullptr) {
            decoded = DecodePacket(frame, size_t(frameSize), *out) && decoded;
        } else if (frameSize > 0) {
            counted += uint64_t(std::max(state_->parser->duration, 0));
        }
    }
    return decoded;
}

uint64_t AudioDecoder::CountByParsing(std::span<const uint8_t> chunk) {
    uint64_t counted = 0;
    Parse(chunk, nullptr, counted);
    return counted;
}

uint64_t AudioDecoder::CountWhatIsHeld() {
    uint64_t counted = 0;
    Parse({}, nullptr, counted);
    return counted;
}

bool AudioDecoder::DecodePacket(const uint8_t* data, size_t size, std::vector<int16_t>& out) {
    if (state_->context == nullptr) {
        return false;
    }
    AVPacket& packet = *state_->packet;
    if (av_new_packet(&packet, int(size)) < 0) {
        return false;
    }
    std::copy(data, data + size, packet.data);
    const int sent = avcodec_send_packet(state_->context, &packet);
    av_packet_unref(&packet);
    return sent >= 0 && ReceiveFrames(out);
}

bool AudioDecoder::ReceiveFrames(std::vector<int16_t>& out) {
    bool converted = true;
    while (avcodec_receive_frame(state_->context, state_->frame) >= 0) {
        converted = Convert(out) && converted;
        av_frame_unref(state_->frame);
    }
    return converted;
}

// A frame out of bounds teaches nothing: the format's word stands.
void AudioDecoder::Learn(int channels, int sampleRate, int samples) {
    learning_ = false;
    if (channels <= 0 || channels > kMaxChannels || sampleRate <= 0 ||
        uint32_t(sampleRate) > kMaxSampleRate || samples <= 0) {
        return;
    }
    channels_ = channels;
    sampleRate_ = sampleRate;
    if (samplesPerFrame_ != 0) {
        samplesPerFrame_ = uint32_t(samples);
    }
}

// A frame of another channel count or rate than the track's would move everything after it.
bool AudioDecoder::Convert(std::vector<int16_t>& out) {
    AVFrame& frame = *state_->frame;
    if (learning_) {
        Learn(frame.ch_layout.nb_channels, frame.sample_rate, frame.nb_samples);
    }
    if (frame.ch_layout.nb_channels != channels_ || frame.sample_rate != sampleRate_ ||
        frame.nb_samples <= 0) {
        return false;
    }
    if (state_->resampler == nullptr || state_->sampleFormat != frame.format) {
        swr_free(&state_->resampler);
        state_->sampleFormat = frame.format;
        if (!OpenResampler(*state_, frame)) {
            return false;
        }
    }
    const size_t at = out.size();
    out.resize(at + size_t(frame.nb_samples) * size_t(channels_));
    uint8_t* target = reinterpret_cast<uint8_t*>(out.data() + at);
    const int done =
        swr_convert(state_->resampler, &target, frame.nb_samples,
                    const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
    if (done != frame.nb_samples) {
        out.resize(at);
        return false;
    }
    return true;
}

}  // namespace zedadu::audio
