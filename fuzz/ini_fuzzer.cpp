// Reads every section and key of the input as an INI file, then changes it and reads it again.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/settings_ini.h"
#include "fuzz/fuzz_support.h"
#include "platform/profile/profile.h"

namespace {

std::vector<std::string> Names(const char* section, const char* file) {
    char buffer[4096];
    const DWORD length =
        GetPrivateProfileStringA(section, nullptr, "", buffer, sizeof buffer, file);
    std::vector<std::string> names;
    for (DWORD at = 0; at < length && buffer[at];) {
        names.emplace_back(buffer + at);
        at += DWORD(strlen(buffer + at)) + 1;
    }
    return names;
}

void ReadEverything(const char* file) {
    for (const std::string& section : Names(nullptr, file)) {
        for (const std::string& key : Names(section.c_str(), file)) {
            char value[128];
            GetPrivateProfileStringA(section.c_str(), key.c_str(), "x", value, sizeof value, file);
            GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, file);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = zedadu::fuzz::InputAsFile(data, size);
    ReadEverything(path.c_str());
    using namespace zedadu::settings;
    WritePrivateProfileStringA(kQuality.section, kQuality.name, "7500", path.c_str());
    WritePrivateProfileStringA(kDataRate.section, kDataRate.name, nullptr, path.c_str());
    ReadEverything(path.c_str());
    return 0;
}
