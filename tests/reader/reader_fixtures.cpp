#include "tests/reader/reader_fixtures.h"

#include <cstring>

namespace zedadu::test {

std::string RiffChunk(FOURCC id, const std::string& data) {
    std::string chunk = Le32(id) + Le32(uint32_t(data.size())) + data;
    if (data.size() % 2) {
        chunk += '\0';
    }
    return chunk;
}

std::string RiffList(FOURCC type, const std::string& contents) {
    return RiffChunk(FourCC("LIST"), Le32(type) + contents);
}

std::string MainHeaderBytes(uint32_t totalFrames, size_t streams) {
    std::string avih = Le32(40000) + Le32(0) + Le32(0) + Le32(0x10);  // µs per frame .. flags
    avih += Le32(totalFrames) + Le32(0) + Le32(uint32_t(streams)) + Le32(0);
    return avih + std::string(24, '\0');  // width, height, reserved
}

std::string StreamHeaderBytes(const StreamSpec& stream) {
    std::string strh = Le32(stream.type) + Le32(stream.handler) + Le32(0) + Le32(0) + Le32(0);
    strh += Le32(stream.scale) + Le32(stream.rate) + Le32(0) + Le32(stream.length);
    return strh + std::string(20, '\0');  // buffer size, quality, sample size, frame rectangle
}

namespace {

std::string HeaderList(const AviSpec& fixture) {
    std::string contents =
        RiffChunk(FourCC("avih"), MainHeaderBytes(fixture.totalFrames, fixture.streams.size()));
    for (const StreamSpec& stream : fixture.streams) {
        contents += RiffList(FourCC("strl"), RiffChunk(FourCC("strh"), StreamHeaderBytes(stream)) +
                                                 RiffChunk(FourCC("strf"), stream.format));
    }
    return RiffList(FourCC("hdrl"), contents);
}

}  // namespace

std::string MovieChunk(const ChunkSpec& chunk) {
    const std::string inner = RiffChunk(chunk.id, chunk.data);
    return chunk.listType ? RiffList(chunk.listType, inner) : inner;
}

std::string BitmapFormat(int32_t width, int32_t height, uint16_t bits, FOURCC compression,
                         uint32_t imageSize, const std::string& extra,
                         const std::string& colourTable) {
    std::string header = Le32(uint32_t(40 + extra.size())) + Le32(uint32_t(width)) +
                         Le32(uint32_t(height)) + Le16(1) + Le16(bits) + Le32(compression) +
                         Le32(imageSize) + Le32(0) + Le32(0);
    header += Le32(uint32_t(colourTable.size() / 4)) + Le32(0);
    return header + extra + colourTable;
}

std::string WaveFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t block = uint16_t(channels * bits / 8);
    return Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * block) + Le16(block) + Le16(bits);
}

uint32_t AviSpec::movieListType() const {
    return uint32_t(12 + HeaderList(*this).size() + 8);
}

std::vector<IndexEntry> AviSpec::entries() const {
    std::vector<IndexEntry> index;
    uint32_t position = movieListType() + 4;
    const uint32_t origin = this->origin == IndexOrigin::MovieListType ? movieListType() : 0;
    for (const ChunkSpec& chunk : chunks) {
        if (chunk.indexed) {
            index.push_back(
                {chunk.id, chunk.flags, position - origin, uint32_t(chunk.data.size())});
        }
        position += uint32_t(MovieChunk(chunk).size());
    }
    return index;
}

std::string AviSpec::build(const std::vector<IndexEntry>& index) const {
    std::string movie;
    for (const ChunkSpec& chunk : chunks) {
        movie += MovieChunk(chunk);
    }
    std::string contents = HeaderList(*this) + RiffList(FourCC("movi"), movie);
    if (withIndex) {
        std::string entries;
        for (const IndexEntry& entry : index) {
            entries +=
                Le32(entry.chunkId) + Le32(entry.flags) + Le32(entry.offset) + Le32(entry.size);
        }
        contents += RiffChunk(FourCC("idx1"), entries);
    }
    return RiffChunk(FourCC("RIFF"), Le32(FourCC("AVI ")) + contents);
}

namespace {

std::vector<std::pair<FOURCC, FakeDecoder*>> fakeDecoders;

bool Accepts(const FakeDecoder& decoder, const BITMAPINFOHEADER& source,
             const BITMAPINFOHEADER& output) {
    if (!decoder.scales &&
        (output.biWidth != source.biWidth || output.biHeight != source.biHeight)) {
        return false;
    }
    for (const FakeDecoder::Layout& layout : decoder.accepted) {
        if (layout.bits == output.biBitCount && layout.compression == output.biCompression) {
            return true;
        }
    }
    return false;
}

LRESULT Handle(FakeDecoder& decoder, UINT message, LPARAM first, LPARAM second) {
    decoder.messages.push_back(message);
    auto* source = reinterpret_cast<BITMAPINFOHEADER*>(first);
    auto* output = reinterpret_cast<BITMAPINFOHEADER*>(second);
    switch (message) {
        case ICM_GETINFO: {
            const std::u16string name = u"Fake Decoder";
            std::copy(name.begin(), name.end(), reinterpret_cast<ICINFO*>(first)->szDescription);
            return sizeof(ICINFO);
        }
        case ICM_DECOMPRESS_QUERY:
            decoder.queried.push_back(*output);
            return Accepts(decoder, *source, *output) ? ICERR_OK : ICERR_BADFORMAT;
        case ICM_DECOMPRESS_GET_FORMAT:
            *output = *source;
            output->biSize = 40;
            output->biBitCount = decoder.preferred.bits;
            output->biCompression = decoder.preferred.compression;
            output->biSizeImage = 0;
            return ICERR_OK;
        case ICM_DECOMPRESS: {
            const auto* decompress = reinterpret_cast<const ICDECOMPRESS*>(first);
            const uint8_t marker = *static_cast<const uint8_t*>(decompress->lpInput);
            decoder.decoded.push_back(marker);
            decoder.decodeFlags.push_back(decompress->dwFlags);
            memset(decompress->lpOutput, marker, decompress->lpbiOutput->biSizeImage);
            return ICERR_OK;
        }
        default:
            return ICERR_OK;
    }
}

LRESULT FakeDriver(DWORD_PTR id, HDRVR, UINT message, LPARAM first, LPARAM second) {
    if (message == DRV_OPEN) {
        const auto* open = reinterpret_cast<const ICOPEN*>(second);
        for (size_t i = 0; i < fakeDecoders.size(); ++i) {
            if (fakeDecoders[i].first == open->fccHandler) {
                return LRESULT(i + 1);
            }
        }
        return 0;
    }
    if (message < ICM_USER || id == 0) {
        return 1;  // the driver's own life cycle
    }
    return Handle(*fakeDecoders[id - 1].second, message, first, second);
}

}  // namespace

InstalledFakeDecoder::InstalledFakeDecoder(FOURCC handler) : handler_(handler) {
    fakeDecoders.push_back({handler, &decoder_});
    ICInstall(ICTYPE_VIDEO, handler, reinterpret_cast<LPARAM>(&FakeDriver), "fake",
              ICINSTALL_FUNCTION);
}

InstalledFakeDecoder::~InstalledFakeDecoder() {
    ICRemove(ICTYPE_VIDEO, handler_, 0);
    std::erase_if(fakeDecoders, [&](const auto& entry) { return entry.second == &decoder_; });
}

}  // namespace zedadu::test
