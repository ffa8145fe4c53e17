#include "plugin/handshake.h"

#include "core/module.h"
#include "core/text.h"
#include "platform/hostlib/hostlib.h"

namespace zedadu {

namespace {
constexpr uint32_t kNameStringId = 1801;
}

bool FillQueryRecord(PluginQueryRecord& query, uint32_t capabilities) {
    if (query.size < sizeof(PluginQueryRecord)) {
        return false;
    }
    CopyText(query.interfaceId, PLUGIN_ID_1);
    CopyText(query.secondId, PLUGIN_ID_2);
    query.reserved = 0;
    MyLoadString(kNameStringId, query.name, sizeof query.name);
    query.capabilities = capabilities;
    query.fileTypeCount = 1;
    query.extensions = ModuleExtensionList();
    query.descriptions = ModuleDescriptionList();
    return true;
}

}  // namespace zedadu
