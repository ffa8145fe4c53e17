// The driver list of the platform: "system.ini" with the sections the compressor enumeration
// reads.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/system/system.h"
#include "platform/vfw/builtin.h"
#include "platform/vfw/vfw.h"

namespace zedadu::vfw {
namespace {

std::string CodeText(FOURCC code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        text += char(code >> shift);
    }
    return text;
}

std::string DriverListText() {
    std::string text = "[drivers]\r\n\r\n[drivers32]\r\n";
    for (const BuiltInCompressor& compressor : BuiltInCompressors()) {
        text += "VIDC." + CodeText(compressor.handler) + "=" + compressor.driver + "\r\n";
    }
    return text;
}

// Written beside the target and renamed over it, so that a reader never sees half a list.
bool WriteWhole(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::path temporary = path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

bool EnsureDriverList() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    char directory[4096];
    const UINT length = GetWindowsDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) {
        return false;
    }
    const std::filesystem::path path = std::filesystem::path(directory) / "system.ini";
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        return true;
    }
    std::filesystem::create_directories(path.parent_path(), error);
    return WriteWhole(path, DriverListText());
}

}  // namespace zedadu::vfw
