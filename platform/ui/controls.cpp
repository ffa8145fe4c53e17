// What each kind of control answers and keeps, as the platform's controls do: texts, check
// states, list entries and selection, scroll ranges and positions, up-down ranges.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/ui/dialog_manager.h"

namespace zedadu::ui {
namespace {

constexpr LRESULT kOkay = 0;

bool IsList(const Control& control) {
    return control.kind == ControlKind::ComboBox || control.kind == ControlKind::DropDownList;
}

LRESULT CopyText(const std::string& text, WPARAM capacity, LPARAM buffer) {
    auto* destination = reinterpret_cast<char*>(buffer);
    if (!destination || capacity == 0) {
        return 0;
    }
    const size_t copied = std::min<size_t>(text.size(), capacity - 1);
    memcpy(destination, text.data(), copied);
    destination[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

void Select(Control& control, int index) {
    control.selection = index;
    if (control.kind == ControlKind::ComboBox) {
        control.text = index >= 0 ? control.items[static_cast<size_t>(index)] : "";
    }
    control.window.dialog->changed(&control,
                                   ZEDADU_DIALOG_CHANGED_SELECTION | ZEDADU_DIALOG_CHANGED_TEXT);
}

LRESULT Insert(Control& control, size_t index, const char* text) {
    control.items.insert(control.items.begin() + static_cast<ptrdiff_t>(index), text ? text : "");
    // The selected entry stays selected when an entry is inserted before it.
    if (control.selection >= static_cast<int>(index)) {
        ++control.selection;
    }
    control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_ITEMS);
    return static_cast<LRESULT>(index);
}

// A sorted list puts a new entry after every entry that does not sort after it.
size_t SortedPosition(const Control& control, const char* text) {
    const auto after = std::find_if(
        control.items.begin(), control.items.end(),
        [text](const std::string& item) { return strcasecmp(item.c_str(), text ? text : "") > 0; });
    return static_cast<size_t>(after - control.items.begin());
}

LRESULT ListMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto count = static_cast<int>(control.items.size());
    const auto index = static_cast<int>(static_cast<intptr_t>(wParam));
    const auto* text = reinterpret_cast<const char*>(lParam);
    switch (message) {
        case CB_RESETCONTENT:
            // The front-end may read the control as soon as it hears of a change: the selection
            // goes with the entries, before either is reported.
            control.items.clear();
            Select(control, -1);
            control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_ITEMS);
            return kOkay;
        case CB_ADDSTRING:
            return Insert(control,
                          control.item->style & CBS_SORT ? SortedPosition(control, text)
                                                         : control.items.size(),
                          text);
        case CB_INSERTSTRING:
            if (index > count) {
                return CB_ERR;
            }
            return Insert(control, index < 0 ? control.items.size() : size_t(index), text);
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return control.selection;
        case CB_SETCURSEL:
            Select(control, index >= 0 && index < count ? index : -1);
            return control.selection >= 0 ? control.selection : CB_ERR;
        case CB_GETLBTEXTLEN:
            return index >= 0 && index < count ? LRESULT(control.items[size_t(index)].size())
                                               : CB_ERR;
        case CB_GETLBTEXT:
            // As on the platform, the buffer is taken to hold the whole entry.
            if (index < 0 || index >= count || lParam == 0) {
                return CB_ERR;
            }
            return CopyText(control.items[size_t(index)], control.items[size_t(index)].size() + 1,
                            lParam);
        default:
            return 0;
    }
}

void KeepPositionInRange(Control& control) {
    control.position = std::clamp(control.position, std::min(control.minimum, control.maximum),
                                  std::max(control.minimum, control.maximum));
}

LRESULT ScrollBarMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam) {
    const int previous = control.position;
    switch (message) {
        case SBM_SETRANGE:
            control.minimum = static_cast<int>(wParam);
            control.maximum = static_cast<int>(lParam);
            KeepPositionInRange(control);
            break;
        case SBM_GETRANGE:
            if (wParam && lParam) {
                *reinterpret_cast<int*>(wParam) = control.minimum;
                *reinterpret_cast<int*>(lParam) = control.maximum;
            }
            return kOkay;
        case SBM_SETPOS:
            control.position = static_cast<int>(wParam);
            KeepPositionInRange(control);
            break;
        case SBM_GETPOS:
            return control.position;
        default:
            return 0;
    }
    control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_SCROLL);
    return previous;
}

LRESULT UpDownMessage(Control& control, UINT message, LPARAM lParam) {
    switch (message) {
        case UDM_SETRANGE:
            control.maximum = static_cast<short>(LOWORD(static_cast<uintptr_t>(lParam)));
            control.minimum = static_cast<short>(HIWORD(static_cast<uintptr_t>(lParam)));
            KeepPositionInRange(control);
            control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_SCROLL);
            return kOkay;
        case UDM_GETRANGE:
            return MAKELPARAM(static_cast<WORD>(control.maximum),
                              static_cast<WORD>(control.minimum));
        default:
            return 0;
    }
}

LRESULT CheckMessage(Control& control, UINT message, WPARAM wParam) {
    if (control.kind != ControlKind::CheckBox) {
        return 0;
    }
    if (message == BM_GETCHECK) {
        return control.check;
    }
    control.check = static_cast<UINT>(wParam);
    control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_CHECK);
    return kOkay;
}

}  // namespace

const std::string& DisplayedText(const Control& control) {
    static const std::string none;
    if (control.kind != ControlKind::DropDownList) {
        return control.text;
    }
    return control.selection >= 0 ? control.items[static_cast<size_t>(control.selection)] : none;
}

void Notify(Control& control, WORD code) {
    SendMessageA(control.window.dialog->handle(), WM_COMMAND,
                 MAKEWPARAM(static_cast<WORD>(control.item->id), code),
                 reinterpret_cast<LPARAM>(&control.window));
}

// A single-line edit reports every change of its text, also one the program makes; the edit
// field of a combo box reports only what the user types.
void SetControlText(Control& control, const std::string& text) {
    control.text = text;
    control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_TEXT);
    if (control.kind == ControlKind::Edit) {
        Notify(control, EN_UPDATE);
        Notify(control, EN_CHANGE);
    }
}

LRESULT ControlMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            if (control.kind == ControlKind::DropDownList) {
                return CB_ERR;
            }
            SetControlText(control, lParam ? reinterpret_cast<const char*>(lParam) : "");
            return TRUE;
        case WM_GETTEXT:
            return CopyText(DisplayedText(control), wParam, lParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(DisplayedText(control).size());
        case BM_GETCHECK:
        case BM_SETCHECK:
            return CheckMessage(control, message, wParam);
        default:
            break;
    }
    if (IsList(control)) {
        return ListMessage(control, message, wParam, lParam);
    }
    if (control.kind == ControlKind::ScrollBar) {
        return ScrollBarMessage(control, message, wParam, lParam);
    }
    if (control.kind == ControlKind::UpDown) {
        return UpDownMessage(control, message, lParam);
    }
    return 0;
}

}  // namespace zedadu::ui
