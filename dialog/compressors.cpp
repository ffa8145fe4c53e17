#include "dialog/compressors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/text.h"
#include "platform/profile/profile.h"
#include "platform/system/system.h"
#include "platform/vfw/compressor.h"

namespace zedadu::dialog {
namespace {

constexpr DWORD kNameBufferSize = 5000;
constexpr char kDriverList[] = "system.ini";
constexpr char kCompressorKeyPrefix[] = "VIDC.";
constexpr size_t kPrefixLength = sizeof kCompressorKeyPrefix - 1;
constexpr int kDescriptionCharacters = 100;
// A state whose length with the header does not fit the block's 32-bit signed size.
constexpr int64_t kLargestState = INT32_MAX - int64_t{kCompressionSettingsHeaderSize};

uint8_t* StateOf(CompressionSettings* block) {
    return reinterpret_cast<uint8_t*>(block) + kCompressionSettingsHeaderSize;
}

// The four characters after "VIDC."; a shorter name is completed with blanks, as a short handler
// code of the settings is.
FOURCC HandlerCodeOf(const char* name) {
    char code[4] = {' ', ' ', ' ', ' '};
    const size_t length = strnlen(name + kPrefixLength, sizeof code);
    memcpy(code, name + kPrefixLength, length);
    return mmioFOURCC(code[0], code[1], code[2], code[3]);
}

// Adds the compressors of one section in the order of its keys. The last place of the table
// stays free for the uncompressed entry.
void AddCompressorsOfSection(CompressorList& list, const char* section) {
    char names[kNameBufferSize];
    names[0] = names[1] = '\0';
    GetPrivateProfileStringA(section, nullptr, "nothing", names, sizeof names, kDriverList);
    const char* const end = names + sizeof names;
    for (char* name = names; name < end && *name; name += strnlen(name, end - name) + 1) {
        char prefix[kPrefixLength + 1];
        CopyText(prefix, name);
        if (lstrcmpiA(prefix, kCompressorKeyPrefix) != 0) {
            continue;
        }
        int32_t& count = list.compressorCount;
        if (count >= kCompressorCapacity - 1) {
            return;
        }
        CharUpperA(name);
        list.handlerCodes[count] = HandlerCodeOf(name);
        if (GetCompressorInfo(list.handlerCodes[count], &list.infos[count])) {
            ++count;
        }
    }
}

}  // namespace

int EnumerateCompressors(CompressorList& list) {
    list.compressorCount = 0;
    // The compressor layer writes its driver list when there is none yet.
    vfw::EnsureDriverList();
    for (const char* section : {"drivers", "drivers32"}) {
        AddCompressorsOfSection(list, section);
    }
    int32_t& count = list.compressorCount;
    list.handlerCodes[count] = kUncompressedHandler;
    GetCompressorInfo(kUncompressedHandler, &list.infos[count]);
    ++count;
    return 1;
}

int GetCompressorInfo(FOURCC handler, ICINFO* info) {
    if (handler == kUncompressedHandler) {
        *info = {};
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "Uncompressed RGB", -1, info->szDescription,
                            kDescriptionCharacters);
        return 1;
    }
    const vfw::Compressor compressor(handler, ICMODE_COMPRESS);
    if (!compressor) {
        return 0;
    }
    ICGetInfo(compressor.get(), info, sizeof(ICINFO));
    return 1;
}

LRESULT ConfigureCompressor(HWND owner, CompressionSettings** location) {
    CompressionSettings* block = *location;
    const vfw::Compressor compressor(block->fccHandler, ICMODE_COMPRESS);
    if (!compressor) {
        return -1;
    }
    if (block->stateSize > 0) {
        compressor.send(ICM_SETSTATE, StateOf(block), block->stateSize);
    }
    const LRESULT reply = compressor.send(ICM_CONFIGURE, owner);
    // A compressor that answers a negative length has no state to keep.
    const int64_t length = std::max<int64_t>(compressor.send(ICM_GETSTATE, nullptr, 0), 0);
    if (length > static_cast<int32_t>(block->stateSize)) {
        auto* grown =
            length <= kLargestState
                ? static_cast<CompressionSettings*>(malloc(kCompressionSettingsHeaderSize + length))
                : nullptr;
        if (!grown) {
            return 0;
        }
        memcpy(grown, block, kCompressionSettingsHeaderSize);
        free(block);
        *location = block = grown;
    }
    block->stateSize = static_cast<uint32_t>(length);
    block->headerSize = kCompressionSettingsHeaderSize;
    compressor.send(ICM_GETSTATE, StateOf(block), block->stateSize);
    return reply;
}

LRESULT ShowCompressorAbout(HWND owner, FOURCC handler) {
    const vfw::Compressor compressor(handler, ICMODE_COMPRESS);
    return compressor ? compressor.send(ICM_ABOUT, owner) : -1;
}

}  // namespace zedadu::dialog
