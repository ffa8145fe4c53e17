// Window and control style bits of the dialog templates, with the values the platform gives them.
// The resource compiler of the build and the dialog manager read the same constants.
#pragma once

#include "platform/win32/types.h"

constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;

constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_SETFOREGROUND = 0x0200;
constexpr DWORD DS_SETFONT = 0x0040;

// Buttons: the low four bits are the button type.
constexpr DWORD BS_TYPEMASK = 0x000F;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_CHECKBOX = 0x0002;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_GROUPBOX = 0x0007;
constexpr DWORD BS_MULTILINE = 0x2000;

constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_CENTER = 0x0001;
constexpr DWORD SS_RIGHT = 0x0002;

constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;

// Combo boxes: the low two bits are the type; a simple or drop-down box has an edit field.
constexpr DWORD CBS_TYPEMASK = 0x0003;
constexpr DWORD CBS_SIMPLE = 0x0001;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr DWORD CBS_AUTOHSCROLL = 0x0040;
constexpr DWORD CBS_SORT = 0x0100;

constexpr DWORD SBS_HORZ = 0x0000;
constexpr DWORD SBS_VERT = 0x0001;

constexpr DWORD UDS_SETBUDDYINT = 0x0002;
constexpr DWORD UDS_ALIGNRIGHT = 0x0004;
constexpr DWORD UDS_AUTOBUDDY = 0x0010;
constexpr DWORD UDS_ARROWKEYS = 0x0020;
constexpr DWORD UDS_NOTHOUSANDS = 0x0080;

// The window classes of the controls.
inline constexpr char WC_BUTTON[] = "Button";
inline constexpr char WC_STATIC[] = "Static";
inline constexpr char WC_EDIT[] = "Edit";
inline constexpr char WC_COMBOBOX[] = "ComboBox";
inline constexpr char WC_SCROLLBAR[] = "ScrollBar";
inline constexpr char UPDOWN_CLASS[] = "msctls_updown32";
