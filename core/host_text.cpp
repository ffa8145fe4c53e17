#include "core/host_text.h"

#include "platform/hostlib/hostlib.h"

namespace zedadu {

std::string HostString(uint32_t id) {
    std::string text(MyLoadString(id, nullptr, 0), '\0');
    MyLoadString(id, text.data(), static_cast<uint32_t>(text.size() + 1));
    return text;
}

int32_t ShowHostMessage(uint32_t messageId, uint32_t textId, UINT flags) {
    return MyMessageBox(messageId, HostString(textId).c_str(), "", flags);
}

}  // namespace zedadu
