#include "frame/settings_ini.h"

#include "frame/records.h"
#include "platform/system/system.h"

namespace zedadu {

std::string SettingsIniPath() {
    char program[kPathSize] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program);
    path.erase(path.find_last_of('/') + 1);
    return path + "ZEDADU" + ".ini";
}

}  // namespace zedadu
