#include "core/settings_ini.h"

#include <cstdio>

#include "platform/profile/profile.h"
#include "platform/system/system.h"

namespace zedadu {

std::string SettingsIniPath() {
    char program[kPathSize] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program);
    path.erase(path.find_last_of('/') + 1);
    return path + "ZEDADU" + ".ini";
}

uint32_t SettingsFile::read(const IntegerSetting& key) const {
    return GetPrivateProfileIntA(key.section, key.name, key.fallback, path_.c_str());
}

void SettingsFile::read(const TextSetting& key, char* buffer, uint32_t size) const {
    GetPrivateProfileStringA(key.section, key.name, key.fallback, buffer, size, path_.c_str());
}

void SettingsFile::write(const IntegerSetting& key, uint32_t value) const {
    char number[16];
    snprintf(number, sizeof number, "%i", static_cast<int>(value));
    WritePrivateProfileStringA(key.section, key.name, number, path_.c_str());
}

void SettingsFile::write(const TextSetting& key, const char* value) const {
    WritePrivateProfileStringA(key.section, key.name, value, path_.c_str());
}

}  // namespace zedadu
