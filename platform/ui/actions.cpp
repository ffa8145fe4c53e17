// A person's actions on a dialog, turned into what the window system does: the control changes
// first, then the dialog procedure hears about it, then posted messages run.
#include <algorithm>
#include <cstdio>

#include "platform/ui/dialog_manager.h"

namespace zedadu::ui {
namespace {

bool Refuse(std::string* reason, const std::string& why) {
    if (reason) {
        *reason = why;
    }
    return false;
}

void SendScroll(Control& control, WORD request, WORD position) {
    const UINT message = control.item->style & SBS_VERT ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(control.window.dialog->handle(), message, MAKEWPARAM(request, position),
                 reinterpret_cast<LPARAM>(&control.window));
}

bool Click(Control& control, std::string* reason) {
    if (control.kind == ControlKind::CheckBox) {
        if ((control.item->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
            ControlMessage(control, BM_SETCHECK,
                           control.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        }
    } else if (control.kind != ControlKind::PushButton) {
        return Refuse(reason, "it is not a button");
    }
    Notify(control, BN_CLICKED);
    return true;
}

// "the list has 2 entries: \"Stereo\", \"Mono\"", so that a script that names a wrong entry
// learns the right names.
std::string ListedEntries(const Control& control) {
    const size_t count = control.items.size();
    std::string text =
        "the list has " + std::to_string(count) + (count == 1 ? " entry" : " entries");
    for (size_t i = 0; i < count; ++i) {
        text += (i ? ", \"" : ": \"") + control.items[i] + "\"";
    }
    return text;
}

bool Choose(Control& control, int entry, std::string* reason) {
    if (control.kind != ControlKind::ComboBox && control.kind != ControlKind::DropDownList) {
        return Refuse(reason, "it is not a list");
    }
    if (entry < 0 || entry >= static_cast<int>(control.items.size())) {
        return Refuse(reason, ListedEntries(control));
    }
    ControlMessage(control, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    Notify(control, CBN_SELENDOK);
    Notify(control, CBN_SELCHANGE);
    return true;
}

// Typing into a combo box's edit field leaves no entry selected.
bool Type(Control& control, const char* text, std::string* reason) {
    const std::string typed = text ? text : "";
    if (control.kind == ControlKind::Edit) {
        SetControlText(control, typed);
        return true;
    }
    if (control.kind != ControlKind::ComboBox) {
        return Refuse(reason, "it has no edit field");
    }
    control.selection = -1;
    control.text = typed;
    control.window.dialog->changed(&control,
                                   ZEDADU_DIALOG_CHANGED_TEXT | ZEDADU_DIALOG_CHANGED_SELECTION);
    Notify(control, CBN_EDITUPDATE);
    Notify(control, CBN_EDITCHANGE);
    return true;
}

// The scroll bar itself does not move: the dialog procedure sets its position.
bool Scroll(Control& control, int request, int position, std::string* reason) {
    if (control.kind != ControlKind::ScrollBar) {
        return Refuse(reason, "it is not a scroll bar");
    }
    if (request < SB_LINELEFT || request > SB_RIGHT || request == SB_THUMBTRACK) {
        return Refuse(reason, "no such scroll request");
    }
    const auto thumb = static_cast<WORD>(position);
    if (request == SB_THUMBPOSITION) {
        SendScroll(control, SB_THUMBTRACK, thumb);
    }
    SendScroll(control, static_cast<WORD>(request), request == SB_THUMBPOSITION ? thumb : 0);
    SendScroll(control, SB_ENDSCROLL, 0);
    return true;
}

// An up-down control that sets its buddy's integer moves from the number the buddy shows, one
// step toward its maximum (up) or minimum (down), and writes the plain number back.
bool Spin(Control& control, int direction, std::string* reason) {
    if (control.kind != ControlKind::UpDown || !control.buddy) {
        return Refuse(reason, "it is not an up-down control with a buddy");
    }
    int shown = control.position;
    if (sscanf(DisplayedText(*control.buddy).c_str(), "%d", &shown) != 1) {
        shown = control.position;
    }
    const int step = (control.maximum >= control.minimum ? 1 : -1) * (direction > 0 ? 1 : -1);
    control.position = std::clamp(shown + step, std::min(control.minimum, control.maximum),
                                  std::max(control.minimum, control.maximum));
    control.window.dialog->changed(&control, ZEDADU_DIALOG_CHANGED_SCROLL);
    if (control.item->style & UDS_SETBUDDYINT) {
        SetControlText(*control.buddy, std::to_string(control.position));
    }
    for (const WORD request : {SB_THUMBPOSITION, SB_ENDSCROLL}) {
        const WORD position = request == SB_THUMBPOSITION ? WORD(control.position) : WORD(0);
        SendMessageA(control.window.dialog->handle(), WM_VSCROLL, MAKEWPARAM(request, position),
                     reinterpret_cast<LPARAM>(&control.window));
    }
    return true;
}

// Enter presses the default push button (OK when there is none), Escape presses Cancel.
bool PressKey(Dialog& dialog, int id) {
    Control* button = dialog.control(id);
    SendMessageA(dialog.handle(), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button ? &button->window : nullptr));
    return true;
}

int DefaultButton(Dialog& dialog) {
    for (const auto& control : dialog.controls()) {
        if (control->kind == ControlKind::PushButton &&
            (control->item->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            return control->item->id;
        }
    }
    return IDOK;
}

bool PerformOnControl(Control& control, const ZedaduDialogAction& action, std::string* reason) {
    switch (action.type) {
        case ZEDADU_ACTION_CLICK:
            return Click(control, reason);
        case ZEDADU_ACTION_SELECT:
            return Choose(control, action.value, reason);
        case ZEDADU_ACTION_TYPE:
            return Type(control, action.text, reason);
        case ZEDADU_ACTION_SCROLL:
            return Scroll(control, action.value, action.position, reason);
        case ZEDADU_ACTION_SPIN:
            return Spin(control, action.value, reason);
        default:
            return Refuse(reason, "no such action");
    }
}

}  // namespace

bool PerformAction(Dialog& dialog, const ZedaduDialogAction& action, std::string* reason) {
    if (dialog.ended) {
        return Refuse(reason, "the dialog has ended");
    }
    bool done = false;
    if (action.type == ZEDADU_ACTION_ENTER || action.type == ZEDADU_ACTION_ESCAPE) {
        done =
            PressKey(dialog, action.type == ZEDADU_ACTION_ENTER ? DefaultButton(dialog) : IDCANCEL);
    } else {
        Control* control = dialog.control(action.controlId);
        if (!control) {
            return Refuse(reason, "the dialog has no control " + std::to_string(action.controlId));
        }
        if (!control->visible || !control->enabled) {
            return Refuse(reason,
                          control->visible ? "the control is disabled" : "the control is hidden");
        }
        done = PerformOnControl(*control, action, reason);
    }
    if (done) {
        DeliverPostedMessages(dialog);
    }
    return done;
}

}  // namespace zedadu::ui
