// Audio goes into the slots that the stream start and every video record reserve, in file order:
// first the samples held back from earlier calls, then the new ones. Samples that arrive before a
// slot exists, or that do not fit, wait in memory.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "avi/ids.h"
#include "core/module.h"
#include "platform/hostlib/hostlib.h"
#include "platform/sync/sync.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

using avi::kChunkHeaderBytes;

bool AcceptedInput(const WritingFile& writing, const AudioFormatRecord& format) {
    for (uint32_t i = 0; i < writing.accepted.audioCount; ++i) {
        if (SameFormatId(format.formatId, writing.accepted.audio[i].formatId)) {
            return true;
        }
    }
    return false;
}

bool NeedsNarrowing(const WritingFile& writing, const AudioWriteRecord& record) {
    return !SameFormatId(record.format.formatId, writing.audioFormat.formatId);
}

// The host's samples in the file's layout: as they are, or narrowed from 16 to 8 bits.
class FileSamples {
  public:
    bool take(const WritingFile& writing, const AudioWriteRecord& record) {
        if (!NeedsNarrowing(writing, record)) {
            data_ = static_cast<const uint8_t*>(record.samples);
            return true;
        }
        try {
            narrowed_.resize(size_t(writing.audioFormat.frameBytes) * record.sampleFrames);
        } catch (const std::bad_alloc&) {
            return false;
        }
        ConvertAudio16To8(static_cast<const int16_t*>(record.samples), narrowed_.data(),
                          writing.audioFormat.channels * record.sampleFrames);
        data_ = narrowed_.data();
        return true;
    }
    const uint8_t* data() const { return data_; }

  private:
    std::vector<uint8_t> narrowed_;
    const uint8_t* data_ = nullptr;
};

// What one slot receives: held-back frames, then new ones; the rest of the new ones is held back.
struct SlotPlan {
    uint32_t pendingFrames;
    uint32_t newFrames;
};

uint32_t SlotRemainder(const WritingFile& writing, uint64_t frames) {
    const uint64_t bytes = frames * uint32_t(writing.audioFrameBytes);
    return static_cast<uint32_t>(uint64_t(writing.audioSlotBytes) - kChunkHeaderBytes - bytes -
                                 (bytes & 1));
}

SlotPlan PlanSlot(const WritingFile& writing, uint32_t sampleFrames) {
    const uint32_t capacity =
        (uint32_t(writing.audioSlotBytes) - kChunkHeaderBytes) / uint32_t(writing.audioFrameBytes);
    SlotPlan plan{0, sampleFrames};
    if (writing.pendingAudioFrames > 0) {
        plan.pendingFrames = std::min(capacity, writing.pendingAudioFrames);
        plan.newFrames = std::min(capacity - plan.pendingFrames, sampleFrames);
    }
    // A rest of 1 to 7 bytes could not hold the JUNK header that fills the slot: hold back as
    // many frames as it takes to leave room for one.
    for (;;) {
        const uint32_t rest = SlotRemainder(writing, uint64_t(plan.pendingFrames) + plan.newFrames);
        if (rest == 0 || rest >= kChunkHeaderBytes) {
            return plan;
        }
        if (plan.newFrames > 0) {
            --plan.newFrames;
        } else {
            --plan.pendingFrames;
        }
    }
}

// Assembles "01wb", the samples, a pad byte and the JUNK rest of the slot.
bool AssembleSlot(const WritingFile& writing, const SlotPlan& plan, const uint8_t* samples,
                  RecordAssembler& chunk) {
    const size_t frameBytes = uint32_t(writing.audioFrameBytes);
    const size_t pendingBytes = plan.pendingFrames * frameBytes;
    const size_t newBytes = plan.newFrames * frameBytes;
    chunk.u32(kAudioChunk);
    chunk.u32(static_cast<uint32_t>(pendingBytes + newBytes));
    chunk.bytes(writing.pendingAudio.data(), pendingBytes);
    chunk.bytes(samples, newBytes);
    if (chunk.size() & 1) {
        chunk.zeros(1);
    }
    const size_t rest = uint32_t(writing.audioSlotBytes) - chunk.size();
    if (rest > 0) {
        AppendJunk(chunk, static_cast<uint32_t>(rest));
    }
    return !chunk.overflowed() && chunk.size() == uint32_t(writing.audioSlotBytes);
}

// Held-back samples move to the front; the new ones that did not fit go behind them.
void CommitSlot(WritingFile& writing, const SlotPlan& plan, const uint8_t* samples,
                uint32_t sampleFrames) {
    const size_t frameBytes = writing.audioFormat.frameBytes;
    std::vector<uint8_t>& pending = writing.pendingAudio;
    pending.erase(pending.begin(), pending.begin() + long(plan.pendingFrames * frameBytes));
    const uint8_t* rest = samples + plan.newFrames * frameBytes;
    pending.insert(pending.end(), rest, rest + (sampleFrames - plan.newFrames) * frameBytes);
    writing.pendingAudioFrames += sampleFrames - plan.newFrames - plan.pendingFrames;
    writing.audioLength += plan.pendingFrames + plan.newFrames;
}

bool WriteAt(HMMIO file, uint64_t position, const uint8_t* bytes, size_t count) {
    return mmioSeek(file, int64_t(position), SEEK_SET) == int64_t(position) &&
           mmioWrite(file, reinterpret_cast<const char*>(bytes), LONG(count)) == LONG(count);
}

// The slot is JUNK until its chunk header is written, last: a write cut short by a crash leaves
// a JUNK chunk over the whole slot, never an audio chunk of half-written samples.
bool WriteSlot(const WritingFile& writing, uint64_t position, const RecordAssembler& chunk) {
    HMMIO file = writing.file.get();
    if (!Switches().crashSafe) {
        return WriteAt(file, position, chunk.data(), chunk.size());
    }
    return WriteAt(file, position + kChunkHeaderBytes, chunk.data() + kChunkHeaderBytes,
                   chunk.size() - kChunkHeaderBytes) &&
           WriteAt(file, position, chunk.data(), kChunkHeaderBytes);
}

bool FillSlot(WritingFile& writing, const uint8_t* samples, uint32_t sampleFrames) {
    constexpr size_t kAudioRecordSpare = 12;
    const uint64_t position = writing.audioSlotPositions[writing.audioSlotFill];
    writing.audioSlotFill = (writing.audioSlotFill + 1) % kAudioSlotRingSize;
    const uint32_t slotBytes = uint32_t(writing.audioSlotBytes);
    WriterBuffers& buffers = TheWriterBuffers();
    if (!buffers.ensureChunk(size_t(writing.layout.padding) + slotBytes + kAudioRecordSpare)) {
        return false;
    }
    const SlotPlan plan = PlanSlot(writing, sampleFrames);
    RecordAssembler chunk = buffers.chunkAssembler();
    if (!AssembleSlot(writing, plan, samples, chunk)) {
        return false;
    }
    // Everything that could fail is settled before the write, so a failed write changes nothing
    // but the slot, and a successful one is fully accounted for.
    const size_t held = writing.pendingAudio.size() +
                        size_t(sampleFrames - plan.newFrames) * writing.audioFormat.frameBytes;
    try {
        writing.pendingAudio.reserve(held);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!ReserveIndexEntries(writing.audioIndex, 1) || !WriteSlot(writing, position, chunk)) {
        return false;
    }
    const uint32_t sampleBytes =
        (plan.pendingFrames + plan.newFrames) * uint32_t(writing.audioFrameBytes);
    AppendMovieEntry(writing, writing.audioIndex, kAudioChunk, 0, position, sampleBytes);
    if (writing.openDml) {
        ++PartHolding(writing, position).audioChunks;
    }
    CommitSlot(writing, plan, samples, sampleFrames);
    return true;
}

}  // namespace

bool AppendPendingAudio(WritingFile& writing, const AudioWriteRecord& record) {
    const size_t frameBytes = writing.audioFormat.frameBytes;
    const size_t before = writing.pendingAudio.size();
    try {
        writing.pendingAudio.resize(before + frameBytes * record.sampleFrames);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint8_t* end = writing.pendingAudio.data() + before;
    if (NeedsNarrowing(writing, record)) {
        ConvertAudio16To8(static_cast<const int16_t*>(record.samples), end,
                          writing.audioFormat.channels * record.sampleFrames);
    } else if (record.sampleFrames > 0) {
        memcpy(end, record.samples, frameBytes * record.sampleFrames);
    }
    writing.pendingAudioFrames += record.sampleFrames;
    return true;
}

bool WriteNextAudioSamples(WritingFile& writing, AudioWriteRecord& record) {
    constexpr uint32_t kTooManySamplesMessage = 790;
    constexpr DWORD kNoSlotSleepMilliseconds = 10;
    if (record.size < sizeof(AudioWriteRecord)) {
        return false;
    }
    AccessLockGuard lock;
    if (!lock.acquired() || writing.streamFailed || !AcceptedInput(writing, record.format)) {
        return false;
    }
    if (writing.audioSlotFill == writing.audioSlotReserve) {
        // No slot yet: wait a moment without the lock, then hold the samples while video is
        // still to come. Only this handle's audio calls and its close touch what is held back.
        lock.release();
        Sleep(kNoSlotSleepMilliseconds);
        // The video thread may be counting a frame meanwhile.
        const uint32_t frames = std::atomic_ref(writing.frameCount).load(std::memory_order_relaxed);
        return frames < writing.expectedFrames && AppendPendingAudio(writing, record);
    }
    const uint64_t bytes = uint64_t(record.sampleFrames) * uint32_t(writing.audioFrameBytes);
    if (bytes > uint64_t(writing.audioSlotBytes) - kChunkHeaderBytes) {
        ShowHostMessage(kTooManySamplesMessage, kCautionTextId, kMessageOk);
        return false;
    }
    if (!writing.openDml && !FinishedFileFits(writing, writing.movieEnd, 1)) {
        return false;
    }
    FileSamples samples;
    return samples.take(writing, record) && FillSlot(writing, samples.data(), record.sampleFrames);
}

}  // namespace zedadu::writer
