// Dialogs and their controls as windows: creation from a template, handles, template lookup and
// the snapshot that tests take when a dialog ends.
#include <strings.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <unordered_set>

#include "platform/ui/dialog_manager.h"
#include "platform/ui/dialog_testing.h"

namespace zedadu::ui {
namespace {

std::unordered_set<HWND__*>& LiveWindows() {
    static std::unordered_set<HWND__*> windows;
    return windows;
}

std::map<HINSTANCE, std::vector<DialogTemplate>>& ModuleTemplates() {
    static std::map<HINSTANCE, std::vector<DialogTemplate>> templates;
    return templates;
}

std::function<void(const DialogSnapshot&)>& Observer() {
    static std::function<void(const DialogSnapshot&)> observer;
    return observer;
}

bool SameName(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}

ControlKind ButtonKind(DWORD style) {
    switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX:
            return ControlKind::GroupBox;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
            return ControlKind::CheckBox;
        default:
            return ControlKind::PushButton;
    }
}

ControlKind KindOf(const DialogItemTemplate& item) {
    const char* name = item.className;
    if (SameName(name, WC_BUTTON)) {
        return ButtonKind(item.style);
    }
    if (SameName(name, WC_EDIT)) {
        return ControlKind::Edit;
    }
    if (SameName(name, WC_COMBOBOX)) {
        return (item.style & CBS_TYPEMASK) == CBS_DROPDOWNLIST ? ControlKind::DropDownList
                                                               : ControlKind::ComboBox;
    }
    if (SameName(name, WC_SCROLLBAR)) {
        return ControlKind::ScrollBar;
    }
    if (SameName(name, UPDOWN_CLASS)) {
        return ControlKind::UpDown;
    }
    return ControlKind::Static;
}

std::unique_ptr<Control> CreateControl(Dialog& dialog, const DialogItemTemplate& item) {
    auto control = std::make_unique<Control>();
    control->window = {&dialog, control.get()};
    control->item = &item;
    control->kind = KindOf(item);
    control->visible = (item.style & WS_VISIBLE) != 0;
    control->enabled = (item.style & WS_DISABLED) == 0;
    if (control->kind != ControlKind::DropDownList) {
        control->text = item.caption ? item.caption : "";
    }
    if (control->kind == ControlKind::UpDown) {
        // The platform's default range runs from 100 down to 0.
        control->minimum = 100;
        control->maximum = 0;
    }
    return control;
}

ControlSnapshot SnapshotOf(Control& control) {
    ControlSnapshot snapshot{control.item->id,
                             control.item->className,
                             control.item->style,
                             control.visible,
                             control.enabled,
                             control.check,
                             {},
                             control.items,
                             control.selection,
                             control.minimum,
                             control.maximum,
                             control.position};
    const auto length = ControlMessage(control, WM_GETTEXTLENGTH, 0, 0);
    snapshot.text.resize(static_cast<size_t>(length) + 1);
    ControlMessage(control, WM_GETTEXT, snapshot.text.size(),
                   reinterpret_cast<LPARAM>(snapshot.text.data()));
    snapshot.text.resize(static_cast<size_t>(length));
    return snapshot;
}

}  // namespace

Dialog::Dialog(const DialogTemplate& dialogTemplate, DLGPROC proc, HWND parent, FrontEnd& frontEnd)
    : caption(dialogTemplate.caption ? dialogTemplate.caption : ""),
      window_{this, nullptr},
      template_(dialogTemplate),
      proc_(proc),
      parent_(parent),
      frontEnd_(frontEnd) {
    LiveWindows().insert(&window_);
    for (size_t i = 0; i < dialogTemplate.itemCount; ++i) {
        auto control = CreateControl(*this, dialogTemplate.items[i]);
        // An automatic buddy is the control created just before the up-down control.
        if (control->kind == ControlKind::UpDown && (control->item->style & UDS_AUTOBUDDY) &&
            !controls_.empty()) {
            control->buddy = controls_.back().get();
        }
        LiveWindows().insert(&control->window);
        controls_.push_back(std::move(control));
    }
}

Dialog::~Dialog() {
    ForgetPostedMessages(*this);
    LiveWindows().erase(&window_);
    for (const auto& control : controls_) {
        LiveWindows().erase(&control->window);
    }
}

Control* Dialog::control(int id) {
    const auto found = std::find_if(controls_.begin(), controls_.end(),
                                    [id](const auto& control) { return control->item->id == id; });
    return found == controls_.end() ? nullptr : found->get();
}

void Dialog::changed(const Control* control, uint32_t what) {
    if (running) {
        frontEnd_.changed(*this, control ? control->item->id : 0, what);
    }
}

HWND__* Resolve(HWND window) {
    return window && LiveWindows().contains(window) ? window : nullptr;
}

void ReportEndedDialog(const Dialog& dialog) {
    if (!Observer()) {
        return;
    }
    DialogSnapshot snapshot{dialog.dialogTemplate().name ? dialog.dialogTemplate().name : "",
                            dialog.caption,
                            dialog.result,
                            dialog.failure,
                            {}};
    for (const auto& control : dialog.controls()) {
        snapshot.controls.push_back(SnapshotOf(*control));
    }
    Observer()(snapshot);
}

const ControlSnapshot& DialogSnapshot::control(int id) const {
    for (const ControlSnapshot& control : controls) {
        if (control.id == id) {
            return control;
        }
    }
    throw std::out_of_range("the dialog " + templateName + " has no control " + std::to_string(id));
}

bool DialogSnapshot::has(int id) const {
    return std::any_of(controls.begin(), controls.end(),
                       [id](const ControlSnapshot& control) { return control.id == id; });
}

void SetDialogObserverForTesting(std::function<void(const DialogSnapshot&)> observer) {
    Observer() = std::move(observer);
}

}  // namespace zedadu::ui

void RegisterDialogTemplates(HINSTANCE module, std::span<const DialogTemplate> templates) {
    auto& known = zedadu::ui::ModuleTemplates()[module];
    known.insert(known.end(), templates.begin(), templates.end());
}

const DialogTemplate* FindDialogTemplate(HINSTANCE module, const char* name) {
    const auto& modules = zedadu::ui::ModuleTemplates();
    const auto templates = modules.find(module);
    if (!name || templates == modules.end()) {
        return nullptr;
    }
    for (const DialogTemplate& candidate : templates->second) {
        if (zedadu::ui::SameName(candidate.name, name)) {
            return &candidate;
        }
    }
    return nullptr;
}
