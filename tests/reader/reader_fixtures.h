// Fixtures for the reading tests: AVI files built in code from annotated fields, and a fake
// decompressor that records what it is sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi/index_entry.h"
#include "platform/vfw/vfw.h"
#include "plugin/plugin.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

// A chunk with its pad byte; a list of that type holding the contents.
std::string RiffChunk(FOURCC id, const std::string& data);
std::string RiffList(FOURCC type, const std::string& contents);

// A bitmap format chunk: the 40-byte header, extra bytes, then the colour table.
std::string BitmapFormat(int32_t width, int32_t height, uint16_t bits, FOURCC compression = 0,
                         uint32_t imageSize = 0, const std::string& extra = "",
                         const std::string& colourTable = "");
std::string WaveFormat(uint16_t channels, uint32_t rate, uint16_t bits);

struct StreamSpec {
    FOURCC type;  // 'vids', 'auds', 'txts'
    FOURCC handler;
    uint32_t length;
    std::string format;
    uint32_t scale = 1;
    uint32_t rate = 25;
};

struct ChunkSpec {
    FOURCC id;
    std::string data;
    uint32_t flags = kIndexKeyFrame;
    bool indexed = true;
    FOURCC listType = 0;  // non-zero: a LIST of this type holding the data
};

// A chunk of the movie list, inside a list when it names one.
std::string MovieChunk(const ChunkSpec& chunk);

enum class IndexOrigin { MovieListType, FileStart };

// The data of 'avih' and of a stream's 'strh'.
std::string MainHeaderBytes(uint32_t totalFrames, size_t streams);
std::string StreamHeaderBytes(const StreamSpec& stream);

// RIFF 'AVI ' { LIST 'hdrl' { avih, LIST 'strl' {strh, strf}... }, LIST 'movi' {chunks}, idx1 }
struct AviSpec {
    uint32_t totalFrames = 0;
    std::vector<StreamSpec> streams;
    std::vector<ChunkSpec> chunks;
    IndexOrigin origin = IndexOrigin::MovieListType;
    bool withIndex = true;

    // The entries of the indexed chunks with offsets from the chosen origin.
    std::vector<IndexEntry> entries() const;
    std::string build() const { return build(entries()); }
    std::string build(const std::vector<IndexEntry>& index) const;
    // The file position of the movie list's type.
    uint32_t movieListType() const;
};

// A decompressor driver installed under a handler code. Frames decode to an image filled with
// the first byte of their chunk; every compressor message is recorded.
struct FakeDecoder {
    struct Layout {
        WORD bits;
        DWORD compression;
    };
    std::vector<Layout> accepted{{16, FourCC("YUY2")}, {24, 0}, {32, 0}};
    bool scales = true;
    Layout preferred{24, 0};  // what it answers to a format request
    std::vector<UINT> messages;
    std::vector<BITMAPINFOHEADER> queried;  // output formats of every query
    std::vector<uint8_t> decoded;           // first chunk byte of every decode
    std::vector<DWORD> decodeFlags;
    uint8_t newest = 0;  // the marker of the newest image decoded
    int redraws = 0;     // updates that drew the newest image again

    void clear() {
        messages.clear(), queried.clear(), decoded.clear(), decodeFlags.clear();
        redraws = 0;
    }
};

class InstalledFakeDecoder {
  public:
    explicit InstalledFakeDecoder(FOURCC handler);
    ~InstalledFakeDecoder();
    FakeDecoder& operator*() { return decoder_; }
    FakeDecoder* operator->() { return &decoder_; }

  private:
    FOURCC handler_;
    FakeDecoder decoder_;
};

}  // namespace zedadu::test
