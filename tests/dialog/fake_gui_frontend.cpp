// A front-end library as a window toolkit would write one, for the dialog manager's tests: it
// "renders" the control tree, keeps every change the manager reports, and feeds a person's
// actions back. The test reads what it saw through FakeGui_Report.
#include <string>
#include <vector>

#include "platform/ui/dialog_frontend.h"
#include "tests/dialog/fake_gui_report.h"

namespace {

zedadu::test::FakeGuiReport report;

int32_t Run(void*, ZedaduDialogView* view, const ZedaduDialogManager* manager) {
    ++report.runs;
    const ZedaduDialogAction typing{ZEDADU_ACTION_TYPE, 10, 0, 0, "7"};
    const ZedaduDialogAction clicking{ZEDADU_ACTION_CLICK, 30, 0, 0, nullptr};
    const ZedaduDialogAction enter{ZEDADU_ACTION_ENTER, 0, 0, 0, nullptr};
    manager->act(view, &typing);
    ZedaduDialogInfo info;
    manager->describe(view, &info);
    report.caption = info.caption;
    for (uint32_t i = 0; i < info.controlCount; ++i) {
        ZedaduDialogControl control;
        manager->control(view, i, &control);
        report.kinds.push_back(control.kind);
        if (control.kind == ZEDADU_CONTROL_UP_DOWN) {
            report.buddyOfUpDown = control.buddyId;
        }
        if (control.id == 10) {
            report.textAfterTyping = control.text;
        }
    }
    manager->act(view, &clicking);
    manager->act(view, &enter);
    return manager->ended(view);
}

void Changed(void*, ZedaduDialogView*, int32_t controlId, uint32_t what) {
    report.changes.push_back(std::to_string(controlId) + ":" + std::to_string(what));
}

const ZedaduDialogFrontEnd frontEnd = {sizeof(ZedaduDialogFrontEnd), nullptr, Run, Changed};

}  // namespace

extern "C" __attribute__((visibility("default"))) const ZedaduDialogFrontEnd*
ZedaduDialog_GetFrontEnd(void) {
    return &frontEnd;
}

extern "C" __attribute__((visibility("default"))) const void* FakeGui_Report(void) {
    return &report;
}
