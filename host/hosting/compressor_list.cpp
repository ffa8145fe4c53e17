#include "host/hosting/compressor_list.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "avi/ids.h"
#include "host/cli/text.h"
#include "platform/profile/profile.h"
#include "platform/system/system.h"
#include "platform/vfw/compressor.h"
#include "platform/vfw/vfw.h"

namespace zedadu::host {
namespace {

constexpr char kDriverList[] = "system.ini";
constexpr char kCompressorKeyPrefix[] = "VIDC.";
constexpr size_t kPrefixLength = sizeof kCompressorKeyPrefix - 1;
constexpr DWORD kNamesCapacity = 65536;
constexpr char kUncompressedName[] = "Uncompressed RGB";

constexpr FrameSize kUsualSizes[] = {{1920, 1080}, {1280, 720}, {720, 576}, {720, 486}, {720, 480},
                                     {640, 480},   {352, 288},  {320, 240}, {176, 144}, {160, 120}};
// Sizes that show the rules of width and height: even but no multiple of four, then odd.
constexpr FrameSize kIrregularSizes[] = {{322, 242}, {321, 241}};
constexpr uint32_t kDepths[] = {32, 24, 16};

// As the writer asks when it opens a file: only ICERR_BADFORMAT refuses.
bool Takes(const vfw::Compressor& compressor, FrameSize size, uint32_t depth) {
    BITMAPINFOHEADER input{};
    input.biSize = sizeof input;
    input.biWidth = size.width;
    input.biHeight = size.height;
    input.biPlanes = 1;
    input.biBitCount = WORD(depth);
    input.biCompression = BI_RGB;
    input.biSizeImage = BitmapRowBytes(size.width, depth / 8) * uint32_t(size.height);
    return compressor && compressor.send(ICM_COMPRESS_QUERY, &input) != ICERR_BADFORMAT;
}

bool UncompressedTakes(uint32_t depth) {
    return std::find(std::begin(kDepths), std::end(kDepths), depth) != std::end(kDepths);
}

std::optional<InstalledCompressor> Describe(FOURCC code, UINT mode) {
    const vfw::Compressor compressor(code, mode);
    if (!compressor) {
        return std::nullopt;
    }
    ICINFO info{};
    ICGetInfo(compressor.get(), &info, sizeof info);
    char name[256] = {};
    WideCharToMultiByte(CP_ACP, 0, info.szDescription, -1, name, sizeof name - 1, nullptr, nullptr);
    return InstalledCompressor{code, name, info.dwFlags};
}

bool Listed(const std::vector<InstalledCompressor>& list, FOURCC code) {
    return std::any_of(list.begin(), list.end(), [&](const InstalledCompressor& compressor) {
        return strcasecmp(FourCCText(compressor.code).c_str(), FourCCText(code).c_str()) == 0;
    });
}

void AddSection(const char* section, UINT mode, std::vector<InstalledCompressor>& list) {
    std::string names(kNamesCapacity, '\0');
    GetPrivateProfileStringA(section, nullptr, "", names.data(), kNamesCapacity, kDriverList);
    for (size_t at = 0; at < names.size() && names[at]; at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        if (name.size() < kPrefixLength + 4 ||
            strncasecmp(name.c_str(), kCompressorKeyPrefix, kPrefixLength) != 0) {
            continue;
        }
        const char* code = name.c_str() + kPrefixLength;
        const FOURCC handler = mmioFOURCC(code[0], code[1], code[2], code[3]);
        if (Listed(list, handler)) {
            continue;
        }
        if (auto compressor = Describe(handler, mode)) {
            list.push_back(std::move(*compressor));
        }
    }
}

// "DIB " is also found as "DIB".
std::string WithoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string SizeList(const std::vector<FrameSize>& sizes) {
    std::string text;
    for (const FrameSize& size : sizes) {
        text += Text("%s%i x %i", text.empty() ? "" : ", ", size.width, size.height);
    }
    return text;
}

}  // namespace

bool InstalledCompressor::uncompressed() const {
    return code == avi::kUncompressedHandler;
}

bool InstalledCompressor::takesQuality() const {
    return flags & VIDCF_QUALITY;
}

bool InstalledCompressor::takesKeyFrames() const {
    return flags & VIDCF_TEMPORAL;
}

bool InstalledCompressor::takesDataRate() const {
    return flags & VIDCF_CRUNCH;
}

std::string InstalledCompressor::label() const {
    const std::string shortCode = WithoutTrailingBlanks(FourCCText(code));
    if (strcasestr(name.c_str(), shortCode.c_str())) {
        return name;
    }
    return FourCCText(code) + " (" + name + ")";
}

std::vector<InstalledCompressor> InstalledCompressors() {
    std::vector<InstalledCompressor> list;
    // The compressor layer writes its driver list when there is none yet.
    vfw::EnsureDriverList();
    for (const char* section : {"drivers", "drivers32"}) {
        AddSection(section, ICMODE_COMPRESS, list);
    }
    list.push_back(*CompressorOf(avi::kUncompressedHandler));
    return list;
}

std::vector<InstalledCompressor> InstalledDecompressors() {
    std::vector<InstalledCompressor> list;
    vfw::EnsureDriverList();
    for (const char* section : {"drivers", "drivers32"}) {
        AddSection(section, ICMODE_DECOMPRESS, list);
    }
    return list;
}

std::optional<InstalledCompressor> CompressorOf(FOURCC code) {
    if (code == avi::kUncompressedHandler) {
        return InstalledCompressor{avi::kUncompressedHandler, kUncompressedName, 0};
    }
    return Describe(code, ICMODE_COMPRESS);
}

const InstalledCompressor* FindCompressor(const std::vector<InstalledCompressor>& compressors,
                                          const std::string& codeOrName) {
    const std::string wanted = WithoutTrailingBlanks(codeOrName);
    for (const InstalledCompressor& compressor : compressors) {
        if (strcasecmp(WithoutTrailingBlanks(FourCCText(compressor.code)).c_str(),
                       wanted.c_str()) == 0 ||
            strcasecmp(compressor.name.c_str(), wanted.c_str()) == 0) {
            return &compressor;
        }
    }
    return nullptr;
}

bool TakesFrames(const InstalledCompressor& compressor, FrameSize size, uint32_t depth) {
    if (compressor.uncompressed()) {
        return UncompressedTakes(depth);
    }
    return Takes(vfw::Compressor(compressor.code, ICMODE_COMPRESS), size, depth);
}

CompressorAbilities ProbeCompressor(const InstalledCompressor& compressor) {
    CompressorAbilities abilities;
    const vfw::Compressor opened(compressor.code, ICMODE_COMPRESS);
    const auto takes = [&](FrameSize size, uint32_t depth) {
        return compressor.uncompressed() ? UncompressedTakes(depth) : Takes(opened, size, depth);
    };
    for (const FrameSize& size : kUsualSizes) {
        if (takes(size, 24)) {
            abilities.sizes.push_back(size);
        }
    }
    abilities.anySize = abilities.sizes.size() == std::size(kUsualSizes);
    for (const FrameSize& size : kIrregularSizes) {
        const bool taken = takes(size, 24);
        abilities.anySize = abilities.anySize && taken;
        if (taken) {
            abilities.sizes.push_back(size);
        }
    }
    const FrameSize sample = abilities.sizes.empty() ? kUsualSizes[0] : abilities.sizes.front();
    for (const uint32_t depth : kDepths) {
        if (takes(sample, depth)) {
            abilities.depths.push_back(depth);
        }
    }
    abilities.options =
        opened && ICSendMessage(opened.get(), ICM_CONFIGURE, DWORD_PTR(ICQUERYBOX), 0) == ICERR_OK;
    return abilities;
}

std::string UsualSizesTaken(const InstalledCompressor& compressor, uint32_t depth) {
    std::vector<FrameSize> taken;
    for (const FrameSize& size : kUsualSizes) {
        if (TakesFrames(compressor, size, depth)) {
            taken.push_back(size);
        }
    }
    return taken.empty() ? std::string("none") : SizeList(taken);
}

}  // namespace zedadu::host
