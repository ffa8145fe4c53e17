// The movie-list walk over the input, from its start and from behind a RIFF header as if inside a
// movie list: every chunk offered lies whole within the file, and each lies behind the one before.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "reader/movie_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = zedadu::fuzz::InputAsFile(data, size);
    HMMIO file = mmioOpenA(path.c_str(), nullptr, MMIO_READ);
    if (!file) {
        return 0;
    }
    const zedadu::reader::WalkStart starts[] = {{0, false}, {12, true}, {12, true, 100}};
    for (const zedadu::reader::WalkStart& start : starts) {
        uint64_t end = start.position;
        zedadu::reader::WalkMovieLists(
            file, size, start, [&](const zedadu::reader::WalkedChunk& c) {
                if (c.data < end + 8 || c.size > size || c.data > size - c.size || c.stream < 0 ||
                    c.stream > 9) {
                    __builtin_trap();
                }
                end = c.data + c.size;
                return true;
            });
    }
    mmioClose(file, 0);
    return 0;
}
