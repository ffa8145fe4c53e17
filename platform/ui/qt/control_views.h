// The widgets of a dialog's controls: each shows the state the dialog manager reports and turns
// what a person does with it into the action the manager expects.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/ui/dialog_frontend.h"

namespace zedadu::ui::qt {

// Texts of the dialog manager are in the ANSI code page (Windows-1252).
QString FromAnsi(const char* text);
std::string ToAnsi(const QString& text);

// Dialog units as the platform's dialog manager converts them, from the base units of the dialog's
// font: a horizontal unit is a quarter of the average character width, a vertical unit an eighth
// of the character height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    int x(int units) const { return Scale(units, baseX_, 4); }
    int y(int units) const { return Scale(units, baseY_, 8); }
    // Edges are converted one by one, so that controls that touch in units touch on the screen.
    QRect rectangle(int x, int y, int width, int height) const;

  private:
    static int Scale(int units, int base, int divisor);
    int baseX_;
    int baseY_;
};

// What a control's widget needs from the window it lives in.
class ControlHost {
  public:
    virtual ~ControlHost() = default;
    // A person's action on the window; dropped while the window shows the manager's changes, so
    // that signals the window's own updates fire never come back as actions.
    virtual void act(const ZedaduDialogAction& action) = 0;
    virtual QString itemText(int controlId, int item) = 0;
    virtual QWidget* widgetOf(int controlId) = 0;
    virtual QWidget* surface() = 0;  // the parent of every control's widget
};

class ControlView {
  public:
    virtual ~ControlView() = default;

    // Puts the control at its template rectangle (rectangle: the same in pixels).
    virtual void place(const QRect& rectangle, const DialogUnits&) {
        frame()->setGeometry(rectangle);
    }
    // The widget a person acts on, named by the control's identifier for tests and tools.
    virtual QWidget* handle() = 0;
    // The outermost widget: placed, enabled and hidden as the control.
    virtual QWidget* frame() { return handle(); }
    // Shows the parts of the state that what names (ZEDADU_DIALOG_CHANGED_* bits).
    void show(const ZedaduDialogControl& state, uint32_t what);
    // A label's mnemonic moves the focus to the control that follows it.
    virtual void setMnemonicTarget(QWidget*) {}

  protected:
    virtual void showState(const ZedaduDialogControl& state, uint32_t what) = 0;
};

std::unique_ptr<ControlView> MakeControlView(const ZedaduDialogControl& control, ControlHost& host);

}  // namespace zedadu::ui::qt
