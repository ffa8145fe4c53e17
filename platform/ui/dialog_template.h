// Dialog templates: what a module's resources hold for each dialog, as plain data. The module's
// resource script is turned into these tables when the module is built.
#pragma once

#include <cstddef>
#include <span>

#include "platform/ui/dialog.h"
#include "platform/ui/window_styles.h"

// One control: its window class, identifier (-1 for a label nobody addresses), caption, style
// and rectangle in dialog units.
struct DialogItemTemplate {
    const char* className;
    int id;
    const char* caption;
    DWORD style;
    short x, y, cx, cy;
};

struct DialogTemplate {
    const char* name;
    WORD language;
    DWORD style;
    const char* caption;
    const char* fontName;
    WORD pointSize;
    short x, y, cx, cy;
    const DialogItemTemplate* items;  // in creation order, which is also the tab order
    size_t itemCount;
};

// A module makes its templates known when it is loaded, as its resource section would.
void RegisterDialogTemplates(HINSTANCE module, std::span<const DialogTemplate> templates);

// The template of that name (compared ignoring case) among those of the module, or null.
const DialogTemplate* FindDialogTemplate(HINSTANCE module, const char* name);

// As DialogBoxParamA, from a template in memory.
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const DialogTemplate* dialogTemplate,
                                HWND parent, DLGPROC proc, LPARAM initParam);
