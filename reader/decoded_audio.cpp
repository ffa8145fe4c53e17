// Audio that is not 8/16-bit PCM, decoded to 16-bit PCM: its length from the index where the coding
// allows, else from one pass over the chunks at open, and runs decoded from a few chunks before
// them.
#include <algorithm>
#include <optional>
#include <vector>

#include "reader/file_bytes.h"
#include "reader/internal.h"

namespace zedadu::reader {
namespace {

size_t ChannelsOf(const ReadingFile& reading) {
    return size_t(reading.audioDecoding.decoder->channels());
}

// A chunk larger than any the file can hold is not read and counts for nothing, so that a size
// an index claims sizes no buffer, neither of its bytes nor of its silence.
bool FitsInTheFile(const ReadingFile& reading, uint32_t chunkBytes) {
    return chunkBytes <= uint32_t(std::max(reading.index.maxAudioChunk, 0));
}

bool ReadChunkBytes(ReadingFile& reading, size_t chunk, std::vector<uint8_t>& bytes) {
    const ChunkPlace place = ChunkAt(reading.index, Stream::Audio, chunk);
    if (!FitsInTheFile(reading, place.size)) {
        return false;
    }
    bytes.resize(place.size);
    return place.position >= 0 && ReadAt(reading.file.get(), uint64_t(place.position), bytes.data(),
                                         bytes.size()) == bytes.size();
}

// Appends what the chunk decodes to, and after the track's last chunk what the decoder still
// holds. False when the chunk cannot be read or decoded; nothing is appended for it then.
bool DecodeChunk(ReadingFile& reading, size_t chunk, std::vector<uint8_t>& bytes,
                 std::vector<int16_t>& out) {
    audio::AudioDecoder& decoder = *reading.audioDecoding.decoder;
    const bool decoded = ReadChunkBytes(reading, chunk, bytes) && decoder.Decode(bytes, out);
    if (chunk + 1 == reading.index.audio.size()) {
        decoder.Finish(out);
    }
    return decoded;
}

// What a chunk of a track whose chunks may split frames comes to: its frames found by the codec's
// parser, or where the codec has none, decoded.
uint64_t CountChunk(ReadingFile& reading, size_t chunk, std::vector<uint8_t>& bytes,
                    std::vector<int16_t>& out) {
    audio::AudioDecoder& decoder = *reading.audioDecoding.decoder;
    const bool last = chunk + 1 == reading.index.audio.size();
    if (!decoder.countsByParsing()) {
        out.clear();
        DecodeChunk(reading, chunk, bytes, out);
        return out.size() / ChannelsOf(reading);
    }
    const uint64_t counted =
        ReadChunkBytes(reading, chunk, bytes) ? decoder.CountByParsing(bytes) : 0;
    return counted + (last ? decoder.CountWhatIsHeld() : 0);
}

// Codings whose chunks may split frames are gone through once at open, in order, and each chunk
// counted for the frames it completes.
void CountOnce(ReadingFile& reading, std::vector<uint64_t>& before) {
    const size_t chunks = reading.index.audio.size();
    std::vector<uint8_t> bytes;
    std::vector<int16_t> out;
    uint64_t total = 0;
    const bool opened = EnsureFileOpen(reading) && reading.audioDecoding.decoder->Restart();
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        total += opened ? CountChunk(reading, chunk, bytes, out) : 0;
        before.push_back(total);
    }
    reading.file.close();
}

void CountFromSizes(const ReadingFile& reading, std::vector<uint64_t>& before) {
    const audio::AudioDecoder& decoder = *reading.audioDecoding.decoder;
    uint64_t total = 0;
    for (const IndexEntry& entry : reading.index.audio) {
        total += FitsInTheFile(reading, entry.size) ? decoder.SamplesOfChunk(entry.size) : 0;
        before.push_back(total);
    }
}

// The chunk that holds a frame: the first whose frames reach beyond it.
size_t ChunkHolding(const ReadingFile& reading, uint64_t frame) {
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    return size_t(std::upper_bound(before.begin() + 1, before.end(), frame) - (before.begin() + 1));
}

// The chunk `warmUp` chunks with data before `chunk`: the empty chunks that some writers put
// between the packets of a track give the decoder nothing to settle on.
size_t WarmUpStart(const ReadingFile& reading, size_t chunk, size_t warmUp) {
    size_t start = chunk;
    while (start > 0 && warmUp > 0) {
        --start;
        warmUp -= reading.index.audio[start].size > 0 ? 1 : 0;
    }
    return start;
}

// Decoding goes on from the last run when this one starts within what is held or a little after
// it, else starts afresh enough chunks before the run for the decoder to have settled.
void StartDecodingFor(ReadingFile& reading, uint64_t first) {
    AudioDecoding& decoding = reading.audioDecoding;
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    const size_t warmUp = size_t(decoding.decoder->warmUpChunks());
    const size_t chunk = ChunkHolding(reading, first);
    const uint64_t heldEnd = before[decoding.nextChunk];
    const uint64_t held = decoding.decoded.size() / ChannelsOf(reading);
    const size_t start = WarmUpStart(reading, chunk, warmUp);
    const bool goOn = decoding.started && first + held >= heldEnd && start <= decoding.nextChunk;
    if (goOn) {
        return;
    }
    decoding.decoded.clear();
    decoding.nextChunk = start;
    decoding.started = decoding.decoder->Restart();
}

// A chunk refused once may decode later, with more of the stream before it.
void RememberOutcome(std::vector<size_t>& failed, size_t chunk, bool decoded) {
    const auto at = std::lower_bound(failed.begin(), failed.end(), chunk);
    const bool known = at != failed.end() && *at == chunk;
    if (decoded && known) {
        failed.erase(at);
    } else if (!decoded && !known) {
        failed.insert(at, chunk);
    }
}

// A chunk the decoder fails on is silence as long as it is counted for, and remembered.
void DecodeUpTo(ReadingFile& reading, uint64_t end) {
    AudioDecoding& decoding = reading.audioDecoding;
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    const size_t chunks = reading.index.audio.size();
    std::vector<uint8_t> bytes;
    while (decoding.nextChunk < chunks && before[decoding.nextChunk] < end) {
        const size_t chunk = decoding.nextChunk++;
        const size_t had = decoding.decoded.size();
        const bool decoded = DecodeChunk(reading, chunk, bytes, decoding.decoded);
        if (!decoded) {
            const uint64_t frames = before[chunk + 1] - before[chunk];
            decoding.decoded.resize(had + frames * ChannelsOf(reading), 0);
        }
        RememberOutcome(decoding.failedChunks, chunk, decoded);
    }
}

// The frames of [first, end) before the first that a chunk the decoder refused stands in for.
uint64_t FramesBeforeFailure(const ReadingFile& reading, uint64_t first, uint64_t end) {
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    const std::vector<size_t>& failed = reading.audioDecoding.failedChunks;
    for (auto at = std::lower_bound(failed.begin(), failed.end(), ChunkHolding(reading, first));
         at != failed.end() && before[*at] < end; ++at) {
        if (before[*at + 1] > before[*at]) {
            return before[*at] > first ? before[*at] - first : 0;
        }
    }
    return end - first;
}

// The first chunks that decode to a frame say what the decoder delivers, before anything is
// counted or described by it.
void LearnWhatTheDecoderDelivers(ReadingFile& reading) {
    constexpr size_t kMostChunksToLearnFrom = 16;
    audio::AudioDecoder& decoder = *reading.audioDecoding.decoder;
    const size_t chunks = std::min(reading.index.audio.size(), kMostChunksToLearnFrom);
    std::vector<uint8_t> bytes;
    std::vector<int16_t> out;
    decoder.StartLearning();
    const bool opened = EnsureFileOpen(reading);
    for (size_t chunk = 0; opened && chunk < chunks && decoder.learning(); ++chunk) {
        if (ReadChunkBytes(reading, chunk, bytes)) {
            decoder.Decode(bytes, out);
        }
    }
    decoder.Restart();
    reading.file.close();
}

}  // namespace

void SetUpAudioDecoding(ReadingFile& reading) {
    reading.audioDecoding.decoder = audio::AudioDecoder::Open(reading.audioFormatBytes);
    if (reading.audioDecoding.decoder) {
        LearnWhatTheDecoderDelivers(reading);
    }
}

void IndexDecodedAudioFrames(ReadingFile& reading) {
    std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    before.clear();
    before.reserve(reading.index.audio.size() + 1);
    before.push_back(0);
    if (reading.audioDecoding.decoder->countsFromSizes()) {
        CountFromSizes(reading, before);
    } else {
        CountOnce(reading, before);
    }
    reading.audioLength = uint32_t(std::min<uint64_t>(before.back(), UINT32_MAX));
}

// The decoded frames end where the chunks decoded so far end; what the decoder put out short of
// the count (a decoder that started late) is silence at their start.
std::optional<uint64_t> ReadDecodedRun(ReadingFile& reading, uint64_t first, uint64_t frames,
                                       int16_t* out) {
    StartDecodingFor(reading, first);
    AudioDecoding& decoding = reading.audioDecoding;
    if (!decoding.started) {
        return std::nullopt;
    }
    const uint64_t end = first + frames;
    DecodeUpTo(reading, end);
    const size_t channels = ChannelsOf(reading);
    const uint64_t heldEnd = reading.index.audioFramesBefore[decoding.nextChunk];
    const uint64_t held = decoding.decoded.size() / channels;
    // A decoder that put out more than its chunks are counted for has its surplus at the start.
    const int64_t heldFirst = int64_t(heldEnd) - int64_t(held);
    const uint64_t silent =
        heldFirst > int64_t(first) ? std::min(uint64_t(heldFirst) - first, frames) : 0;
    std::fill_n(out, silent * channels, int16_t(0));
    if (silent < frames) {
        // The run's first frame held: at or after the first held frame once the silence is past.
        const auto from = uint64_t(int64_t(first + silent) - heldFirst);
        const uint64_t copied = std::min(frames - silent, held > from ? held - from : 0);
        std::copy_n(decoding.decoded.data() + from * channels, copied * channels,
                    out + silent * channels);
        std::fill_n(out + (silent + copied) * channels, (frames - silent - copied) * channels,
                    int16_t(0));
    }
    // What lies before the run's end is not needed again by a run that follows.
    const uint64_t keep = heldEnd > end ? std::min(heldEnd - end, held) : 0;
    decoding.decoded.erase(decoding.decoded.begin(),
                           decoding.decoded.end() - ptrdiff_t(keep * channels));
    return FramesBeforeFailure(reading, first, end);
}

}  // namespace zedadu::reader
