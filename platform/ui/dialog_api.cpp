// The Win32 functions of dialogs and controls, each a message to the window it names, as on the
// platform. A handle that names no live window (a stale one, the host's own window) does nothing.
#include <cctype>
#include <cinttypes>
#include <climits>
#include <cstdio>

#include "platform/ui/dialog_manager.h"

using zedadu::ui::Control;
using zedadu::ui::Resolve;

namespace {

Control* ControlOf(HWND window) {
    HWND__* resolved = Resolve(window);
    return resolved ? resolved->control : nullptr;
}

zedadu::ui::Dialog* DialogOf(HWND window) {
    HWND__* resolved = Resolve(window);
    return resolved && !resolved->control ? resolved->dialog : nullptr;
}

Control* ScrollBarOf(HWND window, int bar) {
    Control* control = ControlOf(window);
    return bar == SB_CTL && control && control->kind == zedadu::ui::ControlKind::ScrollBar
               ? control
               : nullptr;
}

std::string WindowText(HWND window) {
    const auto length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// Blanks, an optional minus sign where allowed, then decimal digits up to the first other
// character; nothing to read or a number out of range fails.
bool ParseDialogInteger(const std::string& text, bool isSigned, int64_t* value) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    const bool negative = isSigned && at < text.size() && text[at] == '-';
    at += negative ? 1 : 0;
    const int64_t limit = isSigned ? (negative ? -int64_t{INT_MIN} : INT_MAX) : UINT_MAX;
    int64_t magnitude = 0;
    const size_t firstDigit = at;
    for (; at < text.size() && isdigit(static_cast<unsigned char>(text[at])); ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    *value = negative ? -magnitude : magnitude;
    return at > firstDigit;
}

}  // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND__* target = Resolve(window);
    if (!target) {
        return 0;
    }
    if (target->control) {
        return zedadu::ui::ControlMessage(*target->control, message, wParam, lParam);
    }
    return target->dialog->proc()(window, message, wParam, lParam);
}

HWND GetDlgItem(HWND dialog, int id) {
    zedadu::ui::Dialog* owner = DialogOf(dialog);
    Control* control = owner ? owner->control(id) : nullptr;
    return control ? &control->window : nullptr;
}

int GetDlgCtrlID(HWND control) {
    const Control* resolved = ControlOf(control);
    return resolved ? resolved->item->id : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

LONG_PTR SetWindowLongPtrA(HWND dialog, int index, LONG_PTR value) {
    zedadu::ui::Dialog* window = DialogOf(dialog);
    if (!window || index != DWLP_USER) {
        return 0;
    }
    const LONG_PTR previous = window->userWord;
    window->userWord = value;
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND dialog, int index) {
    zedadu::ui::Dialog* window = DialogOf(dialog);
    return window && index == DWLP_USER ? window->userWord : 0;
}

BOOL SetWindowTextA(HWND window, const char* text) {
    if (zedadu::ui::Dialog* dialog = DialogOf(window)) {
        dialog->caption = text ? text : "";
        dialog->changed(nullptr, ZEDADU_DIALOG_CHANGED_TEXT);
        return TRUE;
    }
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) == TRUE;
}

int GetWindowTextA(HWND window, char* text, int capacity) {
    if (zedadu::ui::Dialog* dialog = DialogOf(window)) {
        if (!text || capacity <= 0) {
            return 0;
        }
        const auto copied = std::min<size_t>(dialog->caption.size(), size_t(capacity) - 1);
        dialog->caption.copy(text, copied);
        text[copied] = '\0';
        return static_cast<int>(copied);
    }
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(capacity),
                                         reinterpret_cast<LPARAM>(text)));
}

BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, char* text, int capacity) {
    if (text && capacity > 0) {
        text[0] = '\0';
    }
    return static_cast<UINT>(GetWindowTextA(GetDlgItem(dialog, id), text, capacity));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    if (isSigned) {
        snprintf(text, sizeof text, "%d", static_cast<int>(value));
    } else {
        snprintf(text, sizeof text, "%u", value);
    }
    return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated) {
        *translated = FALSE;
    }
    HWND control = GetDlgItem(dialog, id);
    int64_t value = 0;
    if (!control || !ParseDialogInteger(WindowText(control), isSigned != FALSE, &value)) {
        return 0;
    }
    if (translated) {
        *translated = TRUE;
    }
    return static_cast<UINT>(value);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, BM_SETCHECK, check, 0) == 0 : FALSE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL EnableWindow(HWND window, BOOL enable) {
    Control* control = ControlOf(window);
    if (!control) {
        return FALSE;
    }
    const bool wasDisabled = !control->enabled;
    control->enabled = enable != FALSE;
    if (control->enabled == wasDisabled) {
        control->window.dialog->changed(control, ZEDADU_DIALOG_CHANGED_ENABLED);
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    HWND__* resolved = Resolve(window);
    return resolved && (!resolved->control || resolved->control->enabled) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    HWND__* resolved = Resolve(window);
    return resolved && (!resolved->control || resolved->control->visible) ? TRUE : FALSE;
}

BOOL SetScrollRange(HWND window, int bar, int minimum, int maximum, BOOL) {
    Control* control = ScrollBarOf(window, bar);
    if (!control) {
        return FALSE;
    }
    SendMessageA(window, SBM_SETRANGE, static_cast<WPARAM>(minimum), maximum);
    return TRUE;
}

BOOL GetScrollRange(HWND window, int bar, int* minimum, int* maximum) {
    if (!ScrollBarOf(window, bar) || !minimum || !maximum) {
        return FALSE;
    }
    SendMessageA(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(minimum),
                 reinterpret_cast<LPARAM>(maximum));
    return TRUE;
}

int SetScrollPos(HWND window, int bar, int position, BOOL redraw) {
    if (!ScrollBarOf(window, bar)) {
        return 0;
    }
    return static_cast<int>(
        SendMessageA(window, SBM_SETPOS, static_cast<WPARAM>(position), redraw));
}

int GetScrollPos(HWND window, int bar) {
    return ScrollBarOf(window, bar) ? static_cast<int>(SendMessageA(window, SBM_GETPOS, 0, 0)) : 0;
}
