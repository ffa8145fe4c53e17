// The dialog manager: modal dialogs built from templates, their controls addressed by identifier,
// and the messages between them, with the contract and call shapes of the Win32 dialog manager.
//
// A dialog runs inside DialogBoxParamA until its procedure calls EndDialog. User actions reach the
// procedure as the messages a window system would send (WM_COMMAND with a notification code,
// WM_HSCROLL); changing a control from the procedure sends what the platform sends (a single-line
// edit reports EN_CHANGE even when the program sets its text). Messages posted with PostMessageA
// are delivered in order after the message being handled. Who the user is, a script or a window on
// the display, is the host application's choice (platform/hostlib/host_api.h); with none, no dialog
// can be shown and DialogBoxParamA returns -1, as on a platform without a display.
//
// One dialog manager per process, used from the host's user-interface thread only.
#pragma once

#include "platform/win32/types.h"

using INT_PTR = intptr_t;
// The dialog procedure: TRUE (or a value) when it handled the message, 0 when it did not.
using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

constexpr WORD LOWORD(uintptr_t value) {
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(uintptr_t value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return WPARAM(DWORD(low) | DWORD(high) << 16);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return LPARAM(DWORD(low) | DWORD(high) << 16);
}

constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_USER = 0x0400;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr LRESULT CB_ERR = -1;

constexpr UINT SBM_SETPOS = 0x00E0;
constexpr UINT SBM_GETPOS = 0x00E1;
constexpr UINT SBM_SETRANGE = 0x00E2;
constexpr UINT SBM_GETRANGE = 0x00E3;
constexpr int SB_CTL = 2;

// Up-down ranges travel as MAKELPARAM(maximum, minimum).
constexpr UINT UDM_SETRANGE = WM_USER + 101;
constexpr UINT UDM_GETRANGE = WM_USER + 102;

// Notification codes, in the high word of WM_COMMAND's first parameter.
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_EDITCHANGE = 5;
constexpr WORD CBN_EDITUPDATE = 6;
constexpr WORD CBN_SELENDOK = 9;
constexpr WORD EN_CHANGE = 0x0300;
constexpr WORD EN_UPDATE = 0x0400;

// Scroll requests, in the low word of WM_HSCROLL's first parameter (a thumb position in the high
// word); vertical bars and up-down controls use the same values as up and down.
constexpr WORD SB_LINELEFT = 0;
constexpr WORD SB_LINERIGHT = 1;
constexpr WORD SB_PAGELEFT = 2;
constexpr WORD SB_PAGERIGHT = 3;
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_THUMBTRACK = 5;
constexpr WORD SB_LEFT = 6;
constexpr WORD SB_RIGHT = 7;
constexpr WORD SB_ENDSCROLL = 8;

// Creates the dialog of the named template of the module, sends WM_INITDIALOG with initParam, and
// runs it until EndDialog; returns the value given to EndDialog, or -1 when the dialog cannot be
// created (no such template, no front-end to show it on).
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
// Marks the dialog to end with result once the message being handled returns.
BOOL EndDialog(HWND dialog, INT_PTR result);

// To the dialog: its procedure; to a control: the control's own handling.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

// A dialog's own word for its procedure (DWLP_USER), zero when the dialog is created: a procedure
// keeps there what it was given with WM_INITDIALOG. Other indexes are not offered and answer 0.
using LONG_PTR = intptr_t;
constexpr int DWLP_USER = int(sizeof(LRESULT) + sizeof(DLGPROC));
LONG_PTR SetWindowLongPtrA(HWND dialog, int index, LONG_PTR value);  // returns the previous word
LONG_PTR GetWindowLongPtrA(HWND dialog, int index);

BOOL SetWindowTextA(HWND window, const char* text);
int GetWindowTextA(HWND window, char* text, int capacity);
BOOL SetDlgItemTextA(HWND dialog, int id, const char* text);
UINT GetDlgItemTextA(HWND dialog, int id, char* text, int capacity);
// Decimal text of the value, read as signed when isSigned is set.
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// Leading blanks are skipped, then an optional minus sign (signed only) and decimal digits up to
// the first other character. A text without digits, or a number out of range, reads as 0 with
// *translated FALSE.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);

BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Returns nonzero when the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL IsWindowVisible(HWND window);

// Scroll bar controls (bar SB_CTL); a new control's range is 0 to 0 and positions are kept
// inside the range.
BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL redraw);
BOOL GetScrollRange(HWND window, int bar, int* minimum, int* maximum);
int SetScrollPos(HWND window, int bar, int position, BOOL redraw);
int GetScrollPos(HWND window, int bar);
