#include "platform/ui/message_box.h"

#include "platform/hostlib/host_api.h"

int MessageBoxA(HWND, const char* text, const char* caption, UINT type) {
    return ZedaduHost_ShowMessageBox(text, caption, type);
}

HWND GetForegroundWindow() {
    return nullptr;
}
