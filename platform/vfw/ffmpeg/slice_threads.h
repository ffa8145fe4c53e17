// Slice threads for the built-in codecs: how many a codec gets, and the turns that keep every
// decode and compression of the process, taken together, within the cores.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zedadu::vfw::ffmpeg {

// One thread for each core the process may use, up to libavcodec's own limit, for codecs that
// split a picture into slices; 1 for the others. Frame threads are never used: they would hold
// pictures back, and one chunk must give one picture (and one picture one chunk).
int SliceThreads(const AVCodec& codec);

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
