#include "tests/hostile/hostile_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "core/text.h"
#include "plugin/plugin.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

// What one open and read may allocate beyond the file and the host's buffer: the handle, the
// index reader's block, decoder set-up and the copies this helper keeps.
constexpr size_t kFixedAllowance = 512 << 10;

struct Chunk {
    size_t header;
    std::string name;
    int parent;  // index of the enclosing list, -1 at the top
};

void WalkList(const std::string& bytes, size_t from, size_t to, int parent,
              std::vector<Chunk>& chunks) {
    while (from + 8 <= to) {
        const std::string id = bytes.substr(from, 4);
        const uint64_t size = U32At(bytes, from + 4);
        const bool list = (id == "RIFF" || id == "LIST") && from + 12 <= to;
        chunks.push_back({from, list ? bytes.substr(from + 8, 4) : id, parent});
        const size_t end = size_t(std::min<uint64_t>(from + 8 + size + (size & 1), to));
        if (list) {
            WalkList(bytes, from + 12, end, int(chunks.size() - 1), chunks);
        }
        from = end;
    }
}

struct Located {
    std::vector<Chunk> chunks;
    int index;
    size_t header() const { return chunks[index].header; }
};

Located Locate(const std::string& bytes, const std::string& name, int nth) {
    Located found;
    WalkList(bytes, 0, bytes.size(), -1, found.chunks);
    for (size_t i = 0; i < found.chunks.size(); ++i) {
        if (found.chunks[i].name == name && nth-- == 0) {
            found.index = int(i);
            return found;
        }
    }
    throw std::out_of_range("no chunk " + name);
}

size_t PaddedLength(const std::string& bytes, size_t header) {
    const size_t size = U32At(bytes, header + 4);
    return 8 + size + (size & 1);
}

void GrowEnclosingLists(std::string& bytes, const Located& chunk, int64_t delta) {
    for (int p = chunk.chunks[chunk.index].parent; p >= 0; p = chunk.chunks[p].parent) {
        const size_t field = chunk.chunks[p].header + 4;
        SetU32(bytes, field, uint32_t(U32At(bytes, field) + delta));
    }
}

void CheckOfferedLayouts(const ReadingFileInfo& info, size_t fileSize) {
    EXPECT_LE(info.frameCount, fileSize / 16);
    EXPECT_LE(info.videoFormatCount, 3u);
    EXPECT_LE(info.audioFormatCount, 2u);
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        const ImageFormatStruct& layout = info.videoFormats[i];
        const uint32_t bytes = SameText(layout.formatId, FORMAT_ID_RGB32)   ? 4
                               : SameText(layout.formatId, FORMAT_ID_RGB24) ? 3
                                                                            : 2;
        EXPECT_EQ(layout.imageSize, uint32_t(layout.width) * uint32_t(layout.height) * bytes);
    }
}

void ReadFrames(void* handle, const ReadingFileInfo& info, std::vector<uint8_t>& host,
                Outcome& outcome) {
    const uint32_t count = info.frameCount;
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        const ImageFormatStruct& layout = info.videoFormats[i];
        for (uint32_t frame : {0u, 1u, 2u, count - 1, count}) {
            ImageFrameRequest request =
                FrameRequest(frame, layout.formatId, layout.width, layout.height, host);
            const bool read = AVFILE_ReadImageFrame(handle, &request) == 1;
            EXPECT_FALSE(read && frame >= count) << frame;
            EXPECT_FALSE(read && request.result.imageSize > host.size());
            outcome.framesRead += read;
            if (read && frame == 0 && SameText(layout.formatId, FORMAT_ID_RGB32)) {
                outcome.firstFrame.assign(host.data(), host.data() + request.result.imageSize);
            }
        }
    }
}

// Silence past the end, whatever the file holds; the first samples are kept for comparisons.
void ReadAudio(void* handle, const ReadingFileInfo& info, std::vector<uint8_t>& host,
               Outcome& outcome) {
    constexpr uint32_t kRun = 100;
    const uint32_t length = info.audioLength;
    for (uint32_t i = 0; i < info.audioFormatCount; ++i) {
        const AudioFormatRecord& layout = info.audioFormats[i];
        const uint8_t silence = SameText(layout.formatId, FORMAT_ID_PCM8) ? 128 : 0;
        for (uint32_t first : {0u, length / 2, length - std::min(length, kRun / 2), length + 1}) {
            AudioSamplesRequest request = SamplesRequest(first, kRun, layout.formatId, host);
            request.bufferSize =
                uint32_t(std::min<uint64_t>(kRun * layout.frameBytes, host.size()));
            const bool read = AVFILE_ReadAudioSamples(handle, &request) == 1;
            if (first > length) {
                EXPECT_TRUE(read);
                EXPECT_EQ(request.samplesDelivered, kRun);
                EXPECT_EQ(std::count(host.data(), host.data() + request.bufferSize, silence),
                          request.bufferSize);
            } else if (read && first == 0 && i == 0) {
                outcome.firstSamples.assign(host.data(), host.data() + request.bufferSize);
            }
        }
    }
}

// Replaces the chunk, with its pad byte, by what `edit` makes of it.
template <typename Edit>
void EditChunk(std::string& bytes, const std::string& name, int nth, Edit edit) {
    const Located chunk = Locate(bytes, name, nth);
    const size_t length = PaddedLength(bytes, chunk.header());
    const std::string edited = edit(bytes.substr(chunk.header(), length));
    bytes.replace(chunk.header(), length, edited);
    GrowEnclosingLists(bytes, chunk, int64_t(edited.size()) - int64_t(length));
}

}  // namespace

size_t ChunkHeader(const std::string& bytes, const std::string& name, int nth) {
    return Locate(bytes, name, nth).header();
}

size_t ParentHeader(const std::string& bytes, const std::string& name, int nth) {
    const Located chunk = Locate(bytes, name, nth);
    const int parent = chunk.chunks[chunk.index].parent;
    if (parent < 0) {
        throw std::out_of_range(name + " has no parent");
    }
    return chunk.chunks[parent].header;
}

void RemoveChunk(std::string& bytes, const std::string& name, int nth) {
    EditChunk(bytes, name, nth, [](const std::string&) { return std::string(); });
}

void DuplicateChunk(std::string& bytes, const std::string& name, int nth) {
    EditChunk(bytes, name, nth, [](const std::string& chunk) { return chunk + chunk; });
}

void ResizeChunk(std::string& bytes, const std::string& name, int nth, uint32_t size) {
    EditChunk(bytes, name, nth, [size](const std::string& chunk) {
        std::string data = chunk.substr(8, U32At(chunk, 4));
        data.resize(size, '\0');
        return chunk.substr(0, 4) + Le32(size) + data + std::string(size % 2, '\0');
    });
}

Outcome ReadThrough(const std::string& path) {
    static std::vector<uint8_t> host(kHostBufferBytes);
    const size_t fileSize = std::filesystem::file_size(path);
    Outcome outcome;
    ResetAllocationMeter();
    void* handle = nullptr;
    outcome.opened = AVFILE_OpenFileForRead(&handle, path.c_str()) == 1;
    EXPECT_EQ(outcome.opened, handle != nullptr);
    if (outcome.opened) {
        ReadingFileInfo info{};
        info.size = sizeof info;
        EXPECT_EQ(AVFILE_GetReadingFileInfo(handle, &info), 1);
        outcome.frameCount = info.frameCount;
        outcome.audioLength = info.audioLength;
        outcome.videoLayouts = info.videoFormatCount;
        outcome.audioLayouts = info.audioFormatCount;
        CheckOfferedLayouts(info, fileSize);
        ReadFrames(handle, info, host, outcome);
        ReadAudio(handle, info, host, outcome);
        EXPECT_EQ(AVFILE_CloseReadingFile(handle), 1);
    }
    EXPECT_LE(LargestAllocation(), fileSize + kHostBufferBytes + kFixedAllowance);
    EXPECT_LE(AllocatedBytes(), 4 * fileSize + 2 * kHostBufferBytes + kFixedAllowance);
    return outcome;
}

}  // namespace zedadu::test
