#include "tests/dialog/fake_compressors.h"

#include <strings.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "platform/hostlib/host_api.h"
#include "platform/profile/profile.h"
#include "platform/system/system.h"

namespace zedadu::test {
namespace {

std::vector<FakeCompressor>* installed = nullptr;

// Handler codes are found ignoring case, as the compressor manager finds them.
FakeCompressor* Find(FOURCC handler) {
    for (FakeCompressor& compressor : *installed) {
        if (strncasecmp(reinterpret_cast<const char*>(&compressor.handler),
                        reinterpret_cast<const char*>(&handler), sizeof handler) == 0) {
            return &compressor;
        }
    }
    return nullptr;
}

LRESULT Information(const FakeCompressor& compressor, ICINFO* info) {
    *info = {};
    info->dwSize = sizeof *info;
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = compressor.handler;
    info->dwFlags = compressor.flags;
    compressor.description.copy(info->szDescription, std::size(info->szDescription) - 1);
    return sizeof *info;
}

LRESULT State(const FakeCompressor& compressor, LPARAM area, LPARAM size) {
    if (area == 0) {
        return static_cast<LRESULT>(compressor.stateSize);
    }
    for (LPARAM i = 0; i < size && i < compressor.stateSize; ++i) {
        reinterpret_cast<uint8_t*>(area)[i] = StateByte(compressor, static_cast<size_t>(i));
    }
    return size;
}

LRESULT Query(const FakeCompressor& compressor, LPARAM input, LPARAM output) {
    const auto& header = *reinterpret_cast<const BITMAPINFOHEADER*>(input);
    if (output != 0) {
        return compressor.acceptedDepths.contains(header.biBitCount) ? ICERR_OK : ICERR_BADFORMAT;
    }
    return compressor.refusedSizes.contains({header.biWidth, header.biHeight}) ? ICERR_BADFORMAT
                                                                               : ICERR_OK;
}

LRESULT Box(bool present, std::vector<LPARAM>& owners, LPARAM owner) {
    if (owner != ICQUERYBOX) {
        owners.push_back(owner);
    }
    return present ? ICERR_OK : ICERR_UNSUPPORTED;
}

LRESULT CompressorMessage(FakeCompressor& compressor, UINT message, LPARAM a, LPARAM b) {
    compressor.messages.push_back(message);
    switch (message) {
        case ICM_GETINFO:
            return Information(compressor, reinterpret_cast<ICINFO*>(a));
        case ICM_GETSTATE:
            return State(compressor, a, b);
        case ICM_SETSTATE:
            compressor.restoredState.assign(reinterpret_cast<uint8_t*>(a),
                                            reinterpret_cast<uint8_t*>(a) + b);
            return b;
        case ICM_CONFIGURE:
            return Box(compressor.hasConfigureBox, compressor.configureOwners, a);
        case ICM_ABOUT:
            return Box(compressor.hasAboutBox, compressor.aboutOwners, a);
        case ICM_SETQUALITY:
            compressor.quality = static_cast<DWORD>(a);
            return ICERR_OK;
        case ICM_COMPRESS_GET_FORMAT:
            return compressor.proposesFormats ? ICERR_OK : ICERR_BADFORMAT;
        case ICM_COMPRESS_QUERY:
            return Query(compressor, a, b);
        default:
            return ICERR_UNSUPPORTED;
    }
}

LRESULT FakeDriver(DWORD_PTR driverId, HDRVR, UINT message, LPARAM a, LPARAM b) {
    auto* compressor = reinterpret_cast<FakeCompressor*>(driverId);
    switch (message) {
        case DRV_LOAD:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_FREE:
            return 1;
        case DRV_OPEN: {
            FakeCompressor* opened = Find(reinterpret_cast<const ICOPEN*>(b)->fccHandler);
            opened->opened += 1;
            return reinterpret_cast<LRESULT>(opened);
        }
        case DRV_CLOSE:
            compressor->closed += 1;
            return 1;
        default:
            return CompressorMessage(*compressor, message, a, b);
    }
}

void WriteSystemIni(const std::string& path, const std::vector<std::string>& drivers32,
                    const std::vector<std::string>& drivers) {
    std::ofstream file(path);
    for (const auto& [section, keys] :
         {std::pair{"drivers", &drivers}, {"drivers32", &drivers32}}) {
        file << "[" << section << "]\n";
        for (const std::string& key : *keys) {
            file << key << "=zedadu.drv\n";
        }
    }
}

}  // namespace

uint8_t StateByte(const FakeCompressor& compressor, size_t index) {
    return static_cast<uint8_t>(compressor.handler + index);
}

DialogWorld::DialogWorld(std::vector<FakeCompressor> compressors,
                         std::vector<std::string> drivers32, std::vector<std::string> drivers)
    : compressors_(std::move(compressors)) {
    installed = &compressors_;
    for (const FakeCompressor& compressor : compressors_) {
        ICInstall(ICTYPE_VIDEO, compressor.handler, reinterpret_cast<LPARAM>(&FakeDriver), "",
                  ICINSTALL_FUNCTION);
    }
    if (!compressors_.empty() || !drivers32.empty() || !drivers.empty()) {
        WriteSystemIni(directory_.file("system.ini"), drivers32, drivers);
    }
    SetWindowsDirectoryForTesting(directory_.path().c_str());
    SetHostExecutablePathForTesting(directory_.file("host").c_str());
    ui::SetDialogObserverForTesting([this](const ui::DialogSnapshot& ended) { snapshot_ = ended; });
}

DialogWorld::~DialogWorld() {
    ui::SetDialogObserverForTesting(nullptr);
    ZedaduHost_SetDialogScript(nullptr);
    for (const FakeCompressor& compressor : compressors_) {
        ICRemove(ICTYPE_VIDEO, compressor.handler, 0);
    }
    installed = nullptr;
    SetWindowsDirectoryForTesting(nullptr);
    SetHostExecutablePathForTesting(nullptr);
}

FakeCompressor& DialogWorld::compressor(const char* code) {
    FakeCompressor* found = Find(mmioFOURCC(code[0], code[1], code[2], code[3]));
    if (!found) {
        throw std::out_of_range(code);
    }
    return *found;
}

std::string DialogWorld::ini(const char* key, const char* section) const {
    char value[256];
    GetPrivateProfileStringA(section, key, "-", value, sizeof value, iniPath().c_str());
    return value;
}

}  // namespace zedadu::test
