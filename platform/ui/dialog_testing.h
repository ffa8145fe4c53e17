// Test access to the dialog manager: the state of every control of a dialog at the moment it ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"

namespace zedadu::ui {

struct ControlSnapshot {
    int id;
    std::string className;
    DWORD style;
    bool visible;
    bool enabled;
    UINT check;
    std::string text;
    std::vector<std::string> items;
    int selection;
    int minimum, maximum, position;
};

struct DialogSnapshot {
    std::string templateName;
    std::string caption;
    INT_PTR result;
    std::string failure;  // why a script could not go on, else empty
    std::vector<ControlSnapshot> controls;

    // The control of that identifier; a test fails loudly on an identifier the template lacks.
    const ControlSnapshot& control(int id) const;
    bool has(int id) const;
};

// Called with the snapshot of every dialog that ends, before its windows go; null stops it.
void SetDialogObserverForTesting(std::function<void(const DialogSnapshot&)> observer);

}  // namespace zedadu::ui
