// The compressor manager: finds a driver procedure by type and handler code, opens instances of
// it and passes messages on. Drivers installed with ICInstall come before the built-in ones.
#include "platform/vfw/vfw.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/system/system.h"
#include "platform/vfw/builtin.h"

struct CompressorInstance {
    DRIVERPROC proc;
    DWORD_PTR driverId;
    DWORD fccType;
    DWORD fccHandler;
};

namespace {

struct InstalledDriver {
    DWORD fccType;
    DWORD fccHandler;
    DRIVERPROC proc;
};

struct Registry {
    std::mutex mutex;
    std::vector<InstalledDriver> installed;
};

Registry& Drivers() {
    static Registry registry;
    return registry;
}

DRIVERPROC FindDriver(DWORD fccType, DWORD fccHandler) {
    {
        Registry& registry = Drivers();
        std::lock_guard lock(registry.mutex);
        for (const InstalledDriver& driver : registry.installed) {
            if (SameFourCCIgnoringCase(driver.fccType, fccType) &&
                SameFourCCIgnoringCase(driver.fccHandler, fccHandler)) {
                return driver.proc;
            }
        }
    }
    if (!SameFourCCIgnoringCase(fccType, ICTYPE_VIDEO)) {
        return nullptr;
    }
    for (const auto& compressor : zedadu::vfw::BuiltInCompressors()) {
        if (SameFourCCIgnoringCase(compressor.handler, fccHandler)) {
            return compressor.proc;
        }
    }
    return zedadu::vfw::FindBuiltInAlias(fccHandler);
}

HDRVR AsDriver(HIC compressor) {
    return reinterpret_cast<HDRVR>(compressor);
}

}  // namespace

BOOL ICInstall(DWORD fccType, DWORD fccHandler, LPARAM lParam, const char*, UINT flags) {
    if (flags != ICINSTALL_FUNCTION || lParam == 0) {
        return FALSE;
    }
    Registry& registry = Drivers();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.installed, [&](const InstalledDriver& driver) {
        return SameFourCCIgnoringCase(driver.fccType, fccType) &&
               SameFourCCIgnoringCase(driver.fccHandler, fccHandler);
    });
    registry.installed.push_back({fccType, fccHandler, reinterpret_cast<DRIVERPROC>(lParam)});
    return TRUE;
}

BOOL ICRemove(DWORD fccType, DWORD fccHandler, UINT) {
    Registry& registry = Drivers();
    std::lock_guard lock(registry.mutex);
    const size_t removed = std::erase_if(registry.installed, [&](const InstalledDriver& driver) {
        return SameFourCCIgnoringCase(driver.fccType, fccType) &&
               SameFourCCIgnoringCase(driver.fccHandler, fccHandler);
    });
    return removed > 0 ? TRUE : FALSE;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
    const DRIVERPROC proc = FindDriver(fccType, fccHandler);
    if (!proc) {
        return nullptr;
    }
    auto* instance = new CompressorInstance{proc, 0, fccType, fccHandler};
    HDRVR driver = AsDriver(instance);
    ICOPEN open{sizeof(ICOPEN), fccType, fccHandler, 0, mode, ICERR_OK, nullptr, nullptr, 0};
    if (proc(0, driver, DRV_LOAD, 0, 0) == 0) {
        delete instance;
        return nullptr;
    }
    proc(0, driver, DRV_ENABLE, 0, 0);
    instance->driverId =
        static_cast<DWORD_PTR>(proc(0, driver, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open)));
    if (instance->driverId == 0) {
        proc(0, driver, DRV_DISABLE, 0, 0);
        proc(0, driver, DRV_FREE, 0, 0);
        delete instance;
        return nullptr;
    }
    return instance;
}

LRESULT ICClose(HIC compressor) {
    if (!compressor) {
        return ICERR_BADHANDLE;
    }
    HDRVR driver = AsDriver(compressor);
    compressor->proc(compressor->driverId, driver, DRV_CLOSE, 0, 0);
    compressor->proc(compressor->driverId, driver, DRV_DISABLE, 0, 0);
    compressor->proc(compressor->driverId, driver, DRV_FREE, 0, 0);
    delete compressor;
    return ICERR_OK;
}

LRESULT ICSendMessage(HIC compressor, UINT message, DWORD_PTR argument1, DWORD_PTR argument2) {
    if (!compressor) {
        return ICERR_BADHANDLE;
    }
    return compressor->proc(compressor->driverId, AsDriver(compressor), message,
                            static_cast<LPARAM>(argument1), static_cast<LPARAM>(argument2));
}

LRESULT ICGetInfo(HIC compressor, ICINFO* info, DWORD cb) {
    if (!compressor || !info) {
        return 0;
    }
    return ICSendMessage(compressor, ICM_GETINFO, reinterpret_cast<DWORD_PTR>(info), cb);
}

DWORD ICDecompress(HIC compressor, DWORD flags, BITMAPINFOHEADER* inputFormat, void* input,
                   BITMAPINFOHEADER* outputFormat, void* output) {
    ICDECOMPRESS decompress{flags, inputFormat, input, outputFormat, output, 0};
    return static_cast<DWORD>(ICSendMessage(
        compressor, ICM_DECOMPRESS, reinterpret_cast<DWORD_PTR>(&decompress), sizeof decompress));
}
