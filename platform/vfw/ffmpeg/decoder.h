// One decoding session of a built-in driver: a libavcodec decoder set up from a bitmap header and
// fed one chunk per call.
#pragma once

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/vfw/ffmpeg/bitmap.h"

namespace zedadu::vfw::ffmpeg {

// Extra format bytes (between the first 40 bytes of the header and biSize) accepted on input;
// Theora's headers take a few kilobytes.
inline constexpr DWORD kMaxInputExtradata = 65536;

// What a compressed bitmap header says about its stream, once it has been checked.
struct SourceFormat {
    AVCodecID codec;
    int width;
    int height;        // positive
    bool bottomUpRaw;  // uncompressed rows stored bottom row first
    const uint8_t* extradata;
    size_t extradataSize;
    const RGBQUAD* palette;  // the colour table at biSize, for 1 to 8 bits a pixel
    size_t paletteSize;
};

// Null when the header is malformed or no decoder takes it. The codec follows the compression
// code; uncompressed codes (0) mean the handler's own codec when that is run-length coding,
// because a run-length stream may be labelled as plain bitmaps.
std::optional<SourceFormat> InspectSource(AVCodecID handlerCodec, const BITMAPINFOHEADER& header);

// The library's log callback while the built-in drivers are loaded: it prints what the log level
// lets through, as the default callback does, and counts the errors a decoder of ours logs.
// Several decoders (Motion JPEG among them) conceal damaged data and say so only in their log.
void NoteDecoderLog(void* object, int level, const char* format, va_list arguments);

class FrameDecoder {
  public:
    static std::unique_ptr<FrameDecoder> Open(AVCodecID handlerCodec,
                                              const BITMAPINFOHEADER& header);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Whether a header describes the stream this decoder was opened for (biSizeImage, the size of
    // the current chunk, aside).
    bool Matches(const BITMAPINFOHEADER& header) const;

    // Decodes one chunk and writes the newest picture the decoder has released into the bitmap.
    // A decoder that reorders pictures (B-frames) releases each one a call or more after its
    // chunk, at most one a call, and meanwhile the newest picture released so far is written
    // again; until the first one arrives the bitmap is left alone. ICERR_DONTDRAW says that the
    // chunk released no picture. A chunk of 0 bytes leaves the bitmap as it was. Without draw the
    // chunk is decoded but nothing written. A chunk the decoder refuses, reports as damaged (an
    // error result, a picture flagged as damaged, an error in its log) answers ICERR_ERROR after
    // the newest picture is written; a damaged chunk that released no picture from a decoder that
    // holds pictures back answers ICERR_DONTDRAW all the same, since that answer tells the caller
    // to feed ahead.
    LRESULT Decode(const uint8_t* data, size_t size, bool keyFrame, bool draw,
                   const BitmapLayout& output, uint8_t* bits);
    // Writes the newest picture released so far into the bitmap again; without one the bitmap is
    // left alone.
    LRESULT Redraw(const BitmapLayout& output, uint8_t* bits);
    // The stream has ended: releases the next picture still held back and writes it (unless not
    // drawn); ICERR_DONTDRAW when none is left. The next chunk starts decoding afresh.
    LRESULT Drain(bool draw, const BitmapLayout& output, uint8_t* bits);
    // How many chunks the decoder holds back: the picture of chunk n is released by the call that
    // decodes chunk n plus this. Known once the chunks that describe the stream were decoded.
    // A caller that asks feeds chunks ahead: from then on a run of chunks in order moves the
    // decoding, at a key frame, onto frame threads, which hold back one chunk more a thread.
    int HeldBack();
    // Forgets the pictures held back and the references, so that decoding can start afresh at a
    // key frame, on the caller's thread again; a decoder that holds nothing back is left as it is.
    void Restart();

    // Decodes one chunk (at least one byte) and answers the picture it released, or null when it
    // released none (or could not be decoded). The picture stays valid until the next call.
    const AVFrame* DecodePicture(const uint8_t* data, size_t size, bool keyFrame);

  private:
    FrameDecoder() = default;
    bool Start(const SourceFormat& source, const BITMAPINFOHEADER& header);
    bool PreparePacket(const uint8_t* data, size_t size, bool keyFrame);
    // Sends one chunk and keeps the newest picture the decoder releases for it.
    struct Fed {
        bool packetMade = false;
        bool accepted = false;  // the decoder took the chunk
        bool released = false;  // and released a picture
        bool damaged = false;   // the decoder reported an error on the way
    };
    Fed Feed(const uint8_t* data, size_t size, bool keyFrame);
    // Takes every picture the decoder has ready behind the ones waiting, and makes the oldest
    // waiting one the newest released; false when none waits.
    bool ReleaseOne();
    void ForgetWaiting();
    AVCodecContext* Active() const { return onFrameThreads_ ? threaded_ : context_; }
    bool ShouldMoveToFrameThreads(bool keyFrame) const;
    // Continues on frame threads from this key frame.
    void MoveToFrameThreads();
    bool OpenFrameThreads();
    void CollectHandover();
    void Queue(std::deque<AVFrame*>& queue);  // takes the received picture
    bool HoldsPicturesBack() const;

    // Errors the library logged for our decoders' contexts, which point at it as their opaque
    // value; the tag tells it from anything else a context might point at.
    struct ErrorLog {
        uint32_t tag;
        std::atomic<uint32_t> errors{0};
    };
    static constexpr uint32_t kErrorLogTag = 0x7A64656C;
    ErrorLog log_{kErrorLogTag};
    bool receiveFailed_ = false;  // the last picture asked for came with an error
    friend void NoteDecoderLog(void*, int, const char*, va_list);

    AVCodecContext* context_ = nullptr;   // one thread, or slice threads
    AVCodecContext* threaded_ = nullptr;  // frame threads, opened when first wanted
    bool feedsAhead_ = false;             // the caller asked how far to feed ahead
    bool onFrameThreads_ = false;
    bool frameThreadsFailed_ = false;
    int inOrder_ = 0;     // chunks decoded since the last start
    int64_t chunks_ = 0;  // chunks decoded in all, the pictures' time stamps
    // Moving onto frame threads: the first decoder finishes the pictures before the key frame's.
    bool handingOver_ = false;
    bool firstDone_ = false;  // it released the key frame's picture
    bool keySeen_ = false;    // the decoder on frame threads released it
    int64_t keyChunk_ = 0;
    int handoverChunks_ = 0;
    std::deque<AVFrame*> afterKey_;  // from the frame threads, waiting for the first decoder
    AVPacket* packet_ = nullptr;
    AVFrame* received_ = nullptr;
    AVFrame* latest_ = nullptr;
    std::deque<AVFrame*> waiting_;  // released by the decoder, not yet handed out
    bool draining_ = false;         // the end of the stream was sent
    AVBufferRef* chunk_ = nullptr;  // reused while the decoder holds no reference to it
    std::vector<uint8_t> format_;   // the header bytes that identify the stream
    std::array<uint32_t, 256> palette_{};
    bool paletteDue_ = false;
    PictureScaler scaler_;
};

}  // namespace zedadu::vfw::ffmpeg
