// The OpenDML index of the input as an AVI file: every 'indx' chunk the input holds (up to a few)
// is read as the index of streams 0 and 1 and checked against the file. Whatever the super and
// standard indexes claim, no entry lies past the file and no more entries are read than the file
// could hold.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/win32/byte_order.h"
#include "reader/file_bytes.h"
#include "reader/opendml_index.h"

namespace {

constexpr int kMostSuperIndexes = 4;

void CheckIndex(HMMIO file, uint64_t fileSize, const zedadu::reader::SuperIndexChunk& chunk,
                int stream) {
    zedadu::reader::ChunkList chunks;
    zedadu::reader::LoadOpenDmlIndex(file, fileSize, chunk, stream, chunks);
    if (chunks.size() > fileSize / 16 ||
        (!chunks.positionHigh.empty() && chunks.positionHigh.size() != chunks.size())) {
        __builtin_trap();
    }
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (uint64_t(zedadu::reader::PlaceOf(chunks, i).position) > fileSize) {
            __builtin_trap();
        }
    }
    zedadu::reader::FileConfirms(file, chunks, stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = zedadu::fuzz::InputAsFile(data, size);
    HMMIO file = mmioOpenA(path.c_str(), nullptr, MMIO_READ);
    if (!file) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t at = bytes.find("indx");
    for (int found = 0; at != std::string_view::npos && found < kMostSuperIndexes; ++found) {
        if (at + 8 <= size) {
            const zedadu::reader::SuperIndexChunk chunk{at + 8, zedadu::LoadU32(data + at + 4)};
            CheckIndex(file, size, chunk, 0);
            CheckIndex(file, size, chunk, 1);
        }
        at = bytes.find("indx", at + 4);
    }
    mmioClose(file, 0);
    return 0;
}
