// Texts and message boxes of the host's string table, as the writer and the settings dialog show
// them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/types.h"

namespace zedadu {

// The first text of the writer's and the dialog's messages.
inline constexpr uint32_t kCautionTextId = 785;

inline constexpr UINT kMessageOk = MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND;
inline constexpr UINT kMessageYesNo = kMessageOk | MB_YESNO;
inline constexpr UINT kMessageYesNoCancel = kMessageOk | MB_YESNOCANCEL;

// The whole text of a host string; empty when the host has none.
std::string HostString(uint32_t id);
// Shows message messageId with host string textId as its first text and an empty second text;
// returns the button pressed.
int32_t ShowHostMessage(uint32_t messageId, uint32_t textId, UINT flags);

}  // namespace zedadu
