// The driver list of the platform: "system.ini" with the sections the compressor enumeration
// reads.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

#include "platform/profile/profile.h"
#include "platform/system/system.h"
#include "platform/ui/message_box.h"
#include "platform/vfw/builtin.h"
#include "platform/vfw/vfw.h"

namespace zedadu::vfw {
namespace {

constexpr char kDriverListName[] = "system.ini";
constexpr UINT kInformationIcon = 0x40;

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
std::error_code WriteWhole(const std::filesystem::path& path, const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        return error;
    }
    std::filesystem::path temporary = path;
    temporary += ".new";
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return std::error_code(errno ? errno : EIO, std::generic_category());
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return error;
}

// Once for each list that could not be saved: the compressors are there all the same.
void NoteUnsavedList(const std::filesystem::path& path, const std::error_code& error) {
    static std::set<std::filesystem::path> noted;
    if (!noted.insert(path).second) {
        return;
    }
    const std::string text = "The list of installed video compressors could not be saved as " +
                             path.string() + " (" + error.message() +
                             "). The built-in compressors are offered all the same; the list is "
                             "kept in memory until the program ends.";
    MessageBoxA(nullptr, text.c_str(), "Video compressors", MB_OK | kInformationIcon);
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
    const std::filesystem::path path = std::filesystem::path(directory) / kDriverListName;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        return true;
    }
    const std::string text = DriverListText();
    error = WriteWhole(path, text);
    if (!error) {
        return true;
    }
    profile::SetStandInForMissingFile(kDriverListName, text);
    NoteUnsavedList(path, error);
    return false;
}

}  // namespace zedadu::vfw
