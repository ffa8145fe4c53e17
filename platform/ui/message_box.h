// Message boxes of the platform. Where no window system is at hand, the host application decides
// through its host library how a box reaches the user (a prompt, scripted answers, a fixed answer).
#pragma once

#include "platform/win32/types.h"

// Blocks until the user has answered; returns the button (IDOK, IDCANCEL, IDYES, IDNO).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
HWND GetForegroundWindow();
