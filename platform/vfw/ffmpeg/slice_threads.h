// Threads for the built-in codecs: how many slice or frame threads a codec gets, and the turns
// that keep every decode and compression of the process, taken together, within the cores.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zedadu::vfw::ffmpeg {

// One thread for each core the process may use, up to libavcodec's own limit, for codecs that
// split a picture into slices; 1 for the others. Slice threads hold no picture back: one chunk
// gives one picture (and one picture one chunk).
int SliceThreads(const AVCodec& codec);

// Frame threads decode several pictures at once, one per thread, and hold as many back; only a
// decompression whose caller feeds ahead gets them. They pay off for codecs without slice
// threads, and for H.264 and H.265, whose streams seldom have slices: one more than the cores, up
// to libavcodec's limit; 1 for the others and on a single core.
int FrameThreads(const AVCodec& codec);

// Holds a turn for the lifetime of the object when threaded. A codec call on slice threads keeps
// every core it has busy: several at once would only make their threads wait for each other, so
// they take turns, as many at a time as the cores hold calls of libavcodec's most threads.
class SliceThreadTurn {
  public:
    explicit SliceThreadTurn(bool threaded);
    ~SliceThreadTurn();
    SliceThreadTurn(const SliceThreadTurn&) = delete;
    SliceThreadTurn& operator=(const SliceThreadTurn&) = delete;

  private:
    bool threaded_;
};

}  // namespace zedadu::vfw::ffmpeg
