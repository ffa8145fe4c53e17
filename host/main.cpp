// zedadu-host: loads the plug-in the way a host does and drives it through its entry points.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame/plugin.h"

namespace {

std::string PluginPath() {
    Dl_info info{};
    dladdr(reinterpret_cast<const void*>(&PluginPath), &info);
    std::string path = info.dli_fname ? info.dli_fname : "";
    return path.substr(0, path.find_last_of('/') + 1) + "zedadu.mvx";
}

int Demo() {
    const std::string path = PluginPath();
    void* plugin = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
        fprintf(stderr, "zedadu-host: cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    using Handshake = decltype(AVFILE_QueryInterfaceReading);
    const struct {
        const char* symbol;
        const char* side;
    } handshakes[] = {{"AVFILE_QueryInterfaceReading", "reading"},
                      {"AVFILE_QueryInterfaceWriting", "writing"}};
    for (const auto& handshake : handshakes) {
        auto* query = reinterpret_cast<Handshake*>(dlsym(plugin, handshake.symbol));
        PluginQueryRecord record{};
        record.size = sizeof record;
        if (!query || query(&record) != 1) {
            fprintf(stderr, "zedadu-host: the %s handshake failed\n", handshake.side);
            return 1;
        }
        printf("%-8s %s, capabilities 0x%02X, file type .%s (%s)\n", handshake.side, record.name,
               record.capabilities, record.extensions[0], record.descriptions[0]);
    }
    dlclose(plugin);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "demo") != 0) {
        fprintf(stderr, "usage: zedadu-host [demo]\n");
        return 2;
    }
    return Demo();
}
