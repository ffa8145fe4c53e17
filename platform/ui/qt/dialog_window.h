// One dialog of the dialog manager as a modal Qt window: its controls at their template places, in
// the template's tab order, showing every change the manager reports and reporting every action
// of the person in front of it.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "platform/ui/dialog_frontend.h"
#include "platform/ui/qt/control_views.h"

namespace zedadu::ui::qt {

class DialogWindow final : public QDialog, private ControlHost {
  public:
    DialogWindow(ZedaduDialogView* view, const ZedaduDialogManager& manager, QWidget* parent);
    ~DialogWindow() override;
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // The window that shows the view, null when none does.
    static DialogWindow* Showing(ZedaduDialogView* view);
    // The window opened last, the owner of a dialog opened from it.
    static DialogWindow* Innermost();

    // What the manager reports; controlId 0 is the dialog itself.
    void showChange(int controlId, uint32_t what);
    // Escape and the window's close button are the person's Cancel: the dialog procedure decides.
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct Entry {
        int32_t id;
        uint32_t style;
        std::unique_ptr<ControlView> view;
    };

    void act(const ZedaduDialogAction& action) override;
    QString itemText(int controlId, int item) override;
    QWidget* widgetOf(int controlId) override;
    QWidget* surface() override { return this; }

    void addControl(uint32_t index, const DialogUnits& units);
    void chainTabStops();
    void focusFirstTabStop();
    void showControl(uint32_t index, uint32_t what);
    void showDialogChange(uint32_t what);

    ZedaduDialogView* view_;
    const ZedaduDialogManager& manager_;
    std::vector<Entry> controls_;  // in tab order, as the manager lists them
    // Above 0 while the window performs an action or shows the manager's changes: signals that
    // fire then are the window's own doing, not the person's.
    int quiet_ = 0;
};

}  // namespace zedadu::ui::qt
