// The audio decoding layer: tracks that are not 8- or 16-bit PCM decoded to 16-bit interleaved
// samples at the track's own rate and channel count. These operations are this platform's own,
// shaped for a reader that reads chunk by chunk. The decoder is libavcodec's for the stream
// format's tag (libavformat's RIFF audio table), set up from the format's extra bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zedadu::audio {

inline constexpr uint16_t kWaveFormatPcm = 0x0001;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// What the first 16 bytes of a stream format and its extension say, read by offset.
struct WaveFormat {
    // For WAVE_FORMAT_EXTENSIBLE the tag its sub-format's GUID carries, 0 for a GUID of a codec
    // without a tag (subFormat names it).
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t channelMask = 0;             // WAVE_FORMAT_EXTENSIBLE only
    std::array<uint8_t, 16> subFormat{};  // WAVE_FORMAT_EXTENSIBLE only: the sub-format's GUID
    std::span<const uint8_t> extra;       // the codec's setup bytes, within the format's bytes
};

// Reads a stream format. Fails on fewer than 16 bytes; extra bytes are taken only as far as
// cbSize says and the format's bytes hold.
bool ReadWaveFormat(std::span<const uint8_t> bytes, WaveFormat& format);

// Whether samples are stored as 8- or 16-bit integer PCM, which needs no decoder.
bool IsPlainPcm(const WaveFormat& format);

class AudioDecoder {
  public:
    // A decoder for the format, or null when libavcodec has none for its tag, the format is
    // malformed (no channels, no rate, setup bytes the decoder refuses) or too wide to handle.
    static std::unique_ptr<AudioDecoder> Open(std::span<const uint8_t> formatBytes);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Decodes the bytes of one chunk, appending what the decoder puts out for it as 16-bit
    // interleaved sample frames. A chunk the decoder fails on appends nothing and returns false;
    // decoding goes on with the next chunk.
    bool Decode(std::span<const uint8_t> chunk, std::vector<int16_t>& out);

    // Forgets every chunk decoded so far: the next chunk is decoded as a first one. False when the
    // decoder cannot be set up again; it must not be used then.
    bool Restart();

    // After the track's last chunk: decodes what the codec's parser still holds and what the
    // decoder holds back. Restart before decoding again.
    bool Finish(std::vector<int16_t>& out);

    // Where chunks may split frames, the codec's parser finds them without decoding them: the
    // sample frames of the frames a chunk completes, which is what decoding it would put out, and
    // after the last chunk those of what the parser still holds. Parsing moves on the same state
    // as decoding: restart before decoding.
    bool countsByParsing() const;
    uint64_t CountByParsing(std::span<const uint8_t> chunk);
    uint64_t CountWhatIsHeld();

    // What the decoder delivers. A stream may say otherwise than its format: AAC with spectral
    // band replication decodes at twice the rate of its configuration, and parametric stereo
    // makes mono stereo. Until learned from the stream, what the format says.
    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }

    // Learning: the next frame decoded sets the channels, the rate and, where every chunk holds one
    // frame, that frame's length, whatever the format said. Restart() ends it.
    void StartLearning() { learning_ = true; }
    bool learning() const { return learning_; }

    // Chunks decoded after a restart before the output equals a decode from the track's start.
    int warmUpChunks() const { return warmUpChunks_; }

    // Whether the sample frames a chunk decodes to follow from its size alone: fixed-size blocks
    // (PCM of any width, A-law, µ-law, IMA and MS ADPCM), or one coded frame of a fixed length
    // in every chunk (MPEG audio stored with the frame's samples as its block alignment, AC-3
    // with a block alignment, AAC with its configuration).
    bool countsFromSizes() const { return blockBytes_ != 0 || samplesPerFrame_ != 0; }

    // The sample frames a chunk of so many bytes decodes to, where countsFromSizes() holds.
    uint32_t SamplesOfChunk(uint32_t chunkBytes) const;

    struct State;

  private:
    explicit AudioDecoder(std::unique_ptr<State> state);
    bool Parse(std::span<const uint8_t> chunk, std::vector<int16_t>* out, uint64_t& counted);
    bool DecodePacket(const uint8_t* data, size_t size, std::vector<int16_t>& out);
    bool ReceiveFrames(std::vector<int16_t>& out);
    bool Convert(std::vector<int16_t>& out);
    void Learn(int channels, int sampleRate, int samples);
    std::unique_ptr<State> state_;
    int channels_ = 0;
    int sampleRate_ = 0;
    int warmUpChunks_ = 0;
    uint32_t blockBytes_ = 0;       // fixed-size blocks, each decoded alone
    bool pcmLike_ = false;          // blocks of single sample frames
    uint32_t samplesPerFrame_ = 0;  // one coded frame of this length in every non-empty chunk
    uint32_t samplesPerBlock_ = 0;
    bool learning_ = false;
};

}  // namespace zedadu::audio
