#include "platform/ui/qt/dialog_window.h"

#include <QKeyEvent>
#include <algorithm>

#include "platform/ui/window_styles.h"

namespace zedadu::ui::qt {
namespace {

constexpr uint32_t kEveryPart = ZEDADU_DIALOG_CHANGED_TEXT | ZEDADU_DIALOG_CHANGED_CHECK |
                                ZEDADU_DIALOG_CHANGED_ENABLED | ZEDADU_DIALOG_CHANGED_ITEMS |
                                ZEDADU_DIALOG_CHANGED_SELECTION | ZEDADU_DIALOG_CHANGED_SCROLL;

// The windows being shown, the innermost last.
std::vector<DialogWindow*>& OpenWindows() {
    static std::vector<DialogWindow*> windows;
    return windows;
}

class Quiet {
  public:
    explicit Quiet(int& counter) : counter_(counter) { ++counter_; }
    ~Quiet() { --counter_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

  private:
    int& counter_;
};

// The template's font when the system has it, else the system's sans-serif face at its size.
QFont DialogFont(const ZedaduDialogInfo& info) {
    QFont font;
    font.setFamilies({FromAnsi(info.fontName), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(info.pointSize > 0 ? info.pointSize : 8);
    return font;
}

bool IsTabStop(uint32_t style) {
    return (style & WS_TABSTOP) != 0;
}

}  // namespace

DialogWindow::DialogWindow(ZedaduDialogView* view, const ZedaduDialogManager& manager,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      view_(view),
      manager_(manager) {
    OpenWindows().push_back(this);
    ZedaduDialogInfo info{};
    manager_.describe(view_, &info);
    setWindowTitle(FromAnsi(info.caption));
    setFont(DialogFont(info));
    const DialogUnits units(font());
    setFixedSize(units.x(info.width), units.y(info.height));
    const Quiet building(quiet_);
    for (uint32_t index = 0; index < info.controlCount; ++index) {
        addControl(index, units);
    }
    chainTabStops();
    focusFirstTabStop();
}

DialogWindow::~DialogWindow() {
    std::erase(OpenWindows(), this);
}

DialogWindow* DialogWindow::Showing(ZedaduDialogView* view) {
    const auto& windows = OpenWindows();
    const auto found =
        std::find_if(windows.begin(), windows.end(),
                     [view](const DialogWindow* window) { return window->view_ == view; });
    return found == windows.end() ? nullptr : *found;
}

DialogWindow* DialogWindow::Innermost() {
    return OpenWindows().empty() ? nullptr : OpenWindows().back();
}

void DialogWindow::addControl(uint32_t index, const DialogUnits& units) {
    ZedaduDialogControl state{};
    if (!manager_.control(view_, index, &state)) {
        return;
    }
    auto view = MakeControlView(state, *this);
    view->handle()->setObjectName(QString::number(state.id));
    view->place(units.rectangle(state.x, state.y, state.width, state.height), units);
    view->show(state, kEveryPart);
    view->frame()->setVisible(state.visible != 0);
    controls_.push_back({state.id, state.style, std::move(view)});
}

// Tab goes from tab stop to tab stop in template order, and a label's mnemonic to the tab stop
// that follows it, as on the platform.
void DialogWindow::chainTabStops() {
    QWidget* next = nullptr;
    for (auto entry = controls_.rbegin(); entry != controls_.rend(); ++entry) {
        QWidget* widget = entry->view->handle();
        if (!IsTabStop(entry->style)) {
            entry->view->setMnemonicTarget(next);
            continue;
        }
        if (next) {
            QWidget::setTabOrder(widget, next);
        }
        next = widget;
    }
}

// The dialog procedure answered its initialisation with TRUE: the first tab stop has the focus.
void DialogWindow::focusFirstTabStop() {
    for (const Entry& entry : controls_) {
        QWidget* frame = entry.view->frame();
        if (IsTabStop(entry.style) && !frame->isHidden() && frame->isEnabled()) {
            entry.view->handle()->setFocus();
            return;
        }
    }
}

void DialogWindow::showChange(int controlId, uint32_t what) {
    if (controlId == 0) {
        showDialogChange(what);
        return;
    }
    for (uint32_t index = 0; index < controls_.size(); ++index) {
        if (controls_[index].id == controlId) {
            showControl(index, what);
        }
    }
}

void DialogWindow::showControl(uint32_t index, uint32_t what) {
    ZedaduDialogControl state{};
    if (manager_.control(view_, index, &state)) {
        const Quiet showing(quiet_);
        controls_[index].view->show(state, what);
    }
}

void DialogWindow::showDialogChange(uint32_t what) {
    if (what & ZEDADU_DIALOG_CHANGED_TEXT) {
        ZedaduDialogInfo info{};
        manager_.describe(view_, &info);
        setWindowTitle(FromAnsi(info.caption));
    }
    if (what & ZEDADU_DIALOG_CHANGED_ENDED) {
        done(QDialog::Accepted);
    }
}

// The manager performs the action and reports what changed; the acted-on control is then shown
// whole once more, which undoes what the widget did by itself when the manager refused the action
// or the dialog procedure put the control back.
void DialogWindow::act(const ZedaduDialogAction& action) {
    if (quiet_ > 0 || manager_.ended(view_)) {
        return;
    }
    {
        const Quiet acting(quiet_);
        manager_.act(view_, &action);
    }
    if (action.controlId != 0) {
        showChange(action.controlId, kEveryPart);
    }
}

QString DialogWindow::itemText(int controlId, int item) {
    return FromAnsi(manager_.itemText(view_, controlId, item));
}

QWidget* DialogWindow::widgetOf(int controlId) {
    const auto found =
        std::find_if(controls_.begin(), controls_.end(),
                     [controlId](const Entry& entry) { return entry.id == controlId; });
    return found == controls_.end() ? nullptr : found->view->handle();
}

void DialogWindow::reject() {
    act({ZEDADU_ACTION_ESCAPE, 0, 0, 0, nullptr});
}

// Enter presses the default button wherever the focus is, unless a push button has the focus and
// takes the key itself.
void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        act({ZEDADU_ACTION_ENTER, 0, 0, 0, nullptr});
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace zedadu::ui::qt
