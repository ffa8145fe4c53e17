// Delivering a run of audio sample frames: found through the audio index, read across chunks,
// widened from 8 to 16 bits when asked, and silence where no audio exists.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/module.h"
#include "core/text.h"
#include "platform/hostlib/hostlib.h"
#include "reader/internal.h"
#include "reader/reader.h"

namespace zedadu::reader {
namespace {

constexpr uint8_t kSilence8 = 128;  // unsigned 8-bit PCM rests at its middle value
constexpr uint8_t kSilence16 = 0;

struct AudioRun {
    uint64_t first;     // the first sample frame to read
    uint64_t frames;    // the frames to read from the file
    bool widen;         // 8-bit samples delivered as 16-bit ones
    uint64_t outFrame;  // bytes one delivered frame takes in the host's buffer
};

uint64_t CoveredFrames(const ReadingFile& reading) {
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    return before.empty() ? 0 : before.back();
}

uint64_t FramesOfChunk(const ReadingFile& reading, size_t chunk) {
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    return before[chunk + 1] - before[chunk];
}

void FillSilence(AudioSamplesRequest& request) {
    const bool eightBit = SameText(request.requested.formatId, FORMAT_ID_PCM8);
    memset(request.buffer, eightBit ? kSilence8 : kSilence16, request.bufferSize);
}

// Reads frames at a file position into the host's buffer, widening them on the way when asked.
bool ReadFrames(ReadingFile& reading, int64_t position, uint64_t frames, uint8_t* out,
                const AudioRun& run, std::vector<uint8_t>& narrow) {
    const uint64_t bytes = frames * reading.audioFormat.frameBytes;
    HMMIO file = reading.file.get();
    if (mmioSeek(file, position, SEEK_SET) < 0) {
        return false;
    }
    if (!run.widen) {
        return mmioRead(file, reinterpret_cast<char*>(out), LONG(bytes)) == LONG(bytes);
    }
    narrow.resize(bytes);
    if (mmioRead(file, reinterpret_cast<char*>(narrow.data()), LONG(bytes)) != LONG(bytes)) {
        return false;
    }
    ConvertAudio8To16(reinterpret_cast<int16_t*>(out), narrow.data(),
                      uint32_t(reading.audioFormat.channels * frames));
    return true;
}

// The chunk that holds the first frame is found by binary search over the frames before each
// chunk: the first chunk whose frames reach beyond the first frame, exactly as a walk from the
// first chunk would stop. On a failed read samplesDelivered counts the chunks completed.
bool ReadRun(ReadingFile& reading, AudioSamplesRequest& request, const AudioRun& run) {
    const std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    size_t chunk = size_t(std::upper_bound(before.begin() + 1, before.end(), run.first) -
                          (before.begin() + 1));
    const uint64_t skipped = run.first - before[chunk];
    int64_t position = ChunkAt(reading.index, Stream::Audio, chunk).position +
                       int64_t(skipped) * reading.audioFrameBytes;
    uint64_t left = run.frames;
    uint64_t inChunk = FramesOfChunk(reading, chunk) - skipped;
    auto* out = static_cast<uint8_t*>(request.buffer);
    std::vector<uint8_t> narrow;
    request.samplesDelivered = 0;
    while (inChunk < left) {
        if (!ReadFrames(reading, position, inChunk, out, run, narrow)) {
            return false;
        }
        out += inChunk * run.outFrame;
        request.samplesDelivered += uint32_t(inChunk);
        left -= inChunk;
        ++chunk;
        position = ChunkAt(reading.index, Stream::Audio, chunk).position;
        inChunk = FramesOfChunk(reading, chunk);
    }
    if (!ReadFrames(reading, position, left, out, run, narrow)) {
        return false;
    }
    request.samplesDelivered += uint32_t(left);
    return true;
}

}  // namespace

void IndexAudioFrames(ReadingFile& reading) {
    if (reading.audioDecoding.decoder) {
        IndexDecodedAudioFrames(reading);
        return;
    }
    std::vector<uint64_t>& before = reading.index.audioFramesBefore;
    before.clear();
    if (reading.audioFrameBytes <= 0) {
        return;
    }
    before.reserve(reading.index.audio.size() + 1);
    uint64_t total = 0;
    before.push_back(total);
    for (const IndexEntry& entry : reading.index.audio) {
        total += entry.size / uint32_t(reading.audioFrameBytes);
        before.push_back(total);
    }
}

bool ReadAudioSamples(ReadingFile& reading, AudioSamplesRequest& request) {
    const bool decoded = bool(reading.audioDecoding.decoder);
    // A decoded track is offered as 16-bit PCM only.
    if (request.size < sizeof(AudioSamplesRequest) ||
        (!SameText(request.requested.formatId, FORMAT_ID_PCM16) &&
         (decoded || !SameText(request.requested.formatId, FORMAT_ID_PCM8)))) {
        return false;
    }
    AudioRun run{request.firstSample, request.sampleCount,
                 !SameText(request.requested.formatId, reading.audioFormat.formatId), 0};
    run.outFrame = uint64_t(reading.audioFormat.frameBytes) * (run.widen ? 2 : 1);
    if (run.first > reading.audioLength) {
        FillSilence(request);
        request.result = reading.audioFormat;
        request.samplesDelivered = request.sampleCount;
        return true;
    }
    bool silent = false;
    if (run.first + run.frames > reading.audioLength) {
        FillSilence(request);
        silent = true;
        run.frames = reading.audioLength - run.first;
    }
    if (int64_t(run.frames * run.outFrame) > int64_t(int32_t(request.bufferSize))) {
        return false;
    }
    // Stored frames of another size than the described layout's (24-bit or compressed audio)
    // would be misread and overrun the host's buffer.
    if (run.frames > 0 && !decoded &&
        (reading.audioFrameBytes <= 0 ||
         uint32_t(reading.audioFrameBytes) != reading.audioFormat.frameBytes)) {
        return false;
    }
    // Frames the index does not cover are silence, like frames past the end of the stream.
    const uint64_t covered = CoveredFrames(reading);
    if (run.first + run.frames > covered) {
        if (!silent) {
            FillSilence(request);
        }
        run.frames = covered > run.first ? covered - run.first : 0;
    }
    const AudioFormatRecord& delivered = run.widen ? reading.offered.audio[1] : reading.audioFormat;
    if (run.frames == 0) {
        request.samplesDelivered = 0;
        request.result = delivered;
        return true;
    }
    AccessLockGuard lock;
    if (!lock.acquired() || !EnsureFileOpen(reading)) {
        return false;
    }
    if (decoded) {
        request.samplesDelivered = 0;
        const std::optional<uint64_t> sound =
            ReadDecodedRun(reading, run.first, run.frames, static_cast<int16_t*>(request.buffer));
        if (!sound) {
            return false;
        }
        request.samplesDelivered = uint32_t(*sound);
    } else if (!ReadRun(reading, request, run)) {
        return false;
    }
    request.result = delivered;
    return true;
}

}  // namespace zedadu::reader
