#include "platform/vfw/ffmpeg/slice_threads.h"

#include <algorithm>
#include <semaphore>

extern "C" {
#include <libavutil/cpu.h>
}

namespace zedadu::vfw::ffmpeg {
namespace {

// libavcodec's own limit for the threads it starts by itself.
constexpr int kMostSliceThreads = 16;

// Cores this process may run on.
int Cores() {
    return std::max(1, av_cpu_count());
}

std::counting_semaphore<>& SliceThreadTurns() {
    static std::counting_semaphore<> turns(std::max(1, Cores() / kMostSliceThreads));
    return turns;
}

}  // namespace

int SliceThreads(const AVCodec& codec) {
    return codec.capabilities & AV_CODEC_CAP_SLICE_THREADS ? std::min(Cores(), kMostSliceThreads)
                                                           : 1;
}

// A thread more than the cores, as libavcodec chooses when left to itself: while the caller
// converts the picture it was given, a thread is ready to decode on every core.
int FrameThreads(const AVCodec& codec) {
    const bool prefersFrames = codec.id == AV_CODEC_ID_H264 || codec.id == AV_CODEC_ID_HEVC ||
                               !(codec.capabilities & AV_CODEC_CAP_SLICE_THREADS);
    return codec.capabilities & AV_CODEC_CAP_FRAME_THREADS && prefersFrames && Cores() > 1
               ? std::min(Cores() + 1, kMostSliceThreads)
               : 1;
}

SliceThreadTurn::SliceThreadTurn(bool threaded) : threaded_(threaded) {
    if (threaded_) {
        SliceThreadTurns().acquire();
    }
}

SliceThreadTurn::~SliceThreadTurn() {
    if (threaded_) {
        SliceThreadTurns().release();
    }
}

}  // namespace zedadu::vfw::ffmpeg
