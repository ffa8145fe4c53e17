// Walks every chunk of the input as a RIFF tree: descend into each chunk, into lists recursively,
// read a little of each chunk's data, ascend.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "platform/mmio/mmio.h"

namespace {

constexpr int kDeepestList = 16;
constexpr int kMostChunksPerList = 4096;

void Walk(HMMIO file, const MMCKINFO* parent, int depth) {
    MMCKINFO chunk{};
    for (int i = 0; i < kMostChunksPerList && mmioDescend(file, &chunk, parent, 0) == 0; ++i) {
        const bool list = chunk.ckid == FourCC("RIFF") || chunk.ckid == FourCC("LIST");
        if (list && depth < kDeepestList) {
            Walk(file, &chunk, depth + 1);
        } else {
            char data[64];
            mmioRead(file, data,
                     chunk.cksize < sizeof data ? LONG(chunk.cksize) : LONG(sizeof data));
        }
        mmioAscend(file, &chunk, 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = zedadu::fuzz::InputAsFile(data, size);
    const zedadu::RiffFile opened(mmioOpenA(path.c_str(), nullptr, MMIO_READ));
    HMMIO file = opened.get();
    if (!file) {
        return 0;
    }
    Walk(file, nullptr, 0);
    MMCKINFO riff{}, list{}, chunk{};
    riff.fccType = FourCC("AVI ");
    list.fccType = FourCC("hdrl");
    chunk.ckid = FourCC("avih");
    mmioSeek(file, 0, SEEK_SET);
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) == 0 &&
        mmioDescend(file, &list, &riff, MMIO_FINDLIST) == 0) {
        mmioDescend(file, &chunk, &list, MMIO_FINDCHUNK);
    }
    return 0;
}
