// Frames of a stream whose decompressor holds pictures back (B-frames): frame n shows the n-th
// picture the decompressor puts out, which comes out of the call that decodes the chunk as many
// chunks after n as it holds back. Chunks of 2 bytes or less carry no picture: they are not fed,
// and their frame shows the picture of the frame before them. The last pictures are drained.
#include <algorithm>

#include "reader/frame_cache.h"
#include "reader/internal.h"

namespace zedadu::reader {
namespace {

bool CarriesPicture(const ReadingFile& reading, int64_t frame) {
    return ChunkAt(reading.index, Stream::Video, size_t(frame)).size > kDroppedFrameBytes;
}

// The next chunk after this one that carries a picture; positions from the frame count on stand
// for the drains after the last chunk.
int64_t NextPictureChunk(const ReadingFile& reading, int64_t chunk) {
    do {
        ++chunk;
    } while (chunk < int64_t(reading.frameCount) && !CarriesPicture(reading, chunk));
    return chunk;
}

// The frame whose picture a frame shows: itself, or for a dropped frame the one before it that
// carries a picture (when none does, the first after it); -1 when no chunk carries one.
int64_t PictureFrame(const ReadingFile& reading, uint32_t frame) {
    for (int64_t i = frame; i >= 0; --i) {
        if (CarriesPicture(reading, i)) {
            return i;
        }
    }
    const int64_t next = NextPictureChunk(reading, frame);
    return next < int64_t(reading.frameCount) ? next : -1;
}

// The position of the call that releases a frame's picture.
int64_t ReleasingCall(const ReadingFile& reading, int64_t frame) {
    for (int32_t i = 0; i < reading.decoding.heldBack; ++i) {
        frame = NextPictureChunk(reading, frame);
    }
    return frame;
}

int64_t KeyFrameAtOrBefore(const ReadingFile& reading, int64_t frame) {
    while (frame > 0 && !(reading.index.video[size_t(frame)].flags & kIndexKeyFrame)) {
        --frame;
    }
    return frame;
}

Decoded Drain(ReadingFile& reading, DWORD drawFlags, uint8_t* target) {
    ICDECOMPRESS drain{};
    drain.dwFlags = drawFlags;
    drain.lpbiInput = &reading.streamFormat.header;
    drain.lpbiOutput = &reading.outputFormat.header;
    drain.lpOutput = target;
    const LRESULT result =
        reading.decoding.decompressor.send(ICM_DECOMPRESS_DRAIN, &drain, sizeof drain);
    return result == ICERR_OK ? Decoded::Done : Decoded::NoPicture;
}

// A call that released no picture may come from a decompressor that learned of more reordering,
// or moved onto frame threads, on the way: from then on it is fed further ahead.
bool HoldsBackMore(Decoding& decoding) {
    const int32_t heldBack = AskHeldBack(decoding);
    if (heldBack <= decoding.heldBack) {
        return false;
    }
    decoding.heldBack = heldBack;
    return true;
}

// Feeds the chunks after the last one fed up to the call that releases the frame's picture,
// drawing only at that call, and answers how that call went.
Decoded FeedThrough(ReadingFile& reading, int64_t picture, FrameCache& cache, uint8_t* target) {
    Decoding& decoding = reading.decoding;
    Decoded last = Decoded::NoPicture;
    for (int64_t i = NextPictureChunk(reading, decoding.fedThrough);
         i <= ReleasingCall(reading, picture); i = NextPictureChunk(reading, i)) {
        const bool releasing = i == ReleasingCall(reading, picture);
        const DWORD flags = releasing ? 0 : ICDECOMPRESS_PREROLL;
        last = i < int64_t(reading.frameCount)
                   ? DecodeFrame(reading, uint32_t(i), cache, flags, target)
                   : Drain(reading, flags, target);
        if (last == Decoded::Failed) {
            return last;
        }
        decoding.fedThrough = i;
        if (last == Decoded::NoPicture && !releasing) {
            HoldsBackMore(decoding);
        }
    }
    return last;
}

// Decodes afresh from a key frame: what the decompressor held back is forgotten, and it may hold
// back fewer chunks from here (it left the frame threads of reading on).
void StartAt(ReadingFile& reading, int64_t keyFrame) {
    Decoding& decoding = reading.decoding;
    SendFormats(decoding.decompressor, ICM_DECOMPRESS_BEGIN, reading);
    decoding.heldBack = AskHeldBack(decoding);
    decoding.fedThrough = keyFrame - 1;
    decoding.releasedFrame = -1;
}

// Releases the picture of a frame that carries one into the target. Reading on continues the
// decoding; otherwise it starts at the key frame at or before the frame. A picture that a key
// frame's group shows before the key frame itself (an open group) needs the group before: when
// the call that should release it releases nothing, decoding starts again a key frame earlier.
bool ReleasePicture(ReadingFile& reading, int64_t picture, bool continuable, FrameCache& cache,
                    uint8_t* target) {
    Decoding& decoding = reading.decoding;
    int64_t start = KeyFrameAtOrBefore(reading, picture);
    bool continuing = continuable && decoding.releasedFrame < picture &&
                      decoding.fedThrough < ReleasingCall(reading, picture) &&
                      decoding.fedThrough + 1 >= start;
    for (;;) {
        if (!continuing) {
            StartAt(reading, start);
        }
        const Decoded decoded = FeedThrough(reading, picture, cache, target);
        if (decoded == Decoded::Failed) {
            return false;
        }
        if (decoded == Decoded::Done) {
            break;
        }
        if (HoldsBackMore(decoding)) {
            continuing = true;
            continue;
        }
        if (continuing || start == 0) {
            Redraw(reading, target);  // nothing released: the newest picture stands
            break;
        }
        start = KeyFrameAtOrBefore(reading, start - 1);
    }
    decoding.releasedFrame = picture;
    return true;
}

}  // namespace

int32_t AskHeldBack(const Decoding& decoding) {
    const LRESULT heldBack = decoding.decompressor.send(ICM_DECOMPRESS_HELD_BACK);
    return int32_t(std::clamp<LRESULT>(heldBack, 0, kMostHeldBack));
}

bool DecodeHeldBack(ReadingFile& reading, uint32_t frame, FrameCache& cache, uint8_t* target) {
    const BITMAPINFOHEADER& output = reading.outputFormat.header;
    const int64_t cached = cache.lookUp(reading, output.biWidth, output.biHeight);
    const int64_t picture = PictureFrame(reading, frame);
    bool drawn = cached >= 0 && cache.holdsImage() && target == cache.decoded();
    if (picture >= 0 && (cached < 0 || picture != reading.decoding.releasedFrame)) {
        cache.forget();
        if (!ReleasePicture(reading, picture, cached >= 0, cache, target)) {
            return false;
        }
        drawn = true;
    }
    if (!drawn) {
        Redraw(reading, target);
    }
    cache.holdImage(target == cache.decoded());
    return true;
}

bool ContinueHeldBack(ReadingFile& reading, uint32_t frame, uint32_t fedThrough,
                      bool releasedBefore, FrameCache& cache, uint8_t* target) {
    Decoding& decoding = reading.decoding;
    decoding.fedThrough = fedThrough;
    decoding.releasedFrame =
        releasedBefore && fedThrough > 0 ? PictureFrame(reading, fedThrough - 1) : -1;
    const int64_t picture = PictureFrame(reading, frame);
    if (picture < 0 || picture == decoding.releasedFrame) {
        Redraw(reading, target);
    } else if (!ReleasePicture(reading, picture, true, cache, target)) {
        return false;
    }
    cache.holdImage(target == cache.decoded());
    return true;
}

}  // namespace zedadu::reader
