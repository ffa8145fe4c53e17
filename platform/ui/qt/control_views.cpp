#include "platform/ui/qt/control_views.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "platform/system/system.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window_styles.h"

namespace zedadu::ui::qt {
namespace {

constexpr uint32_t kTextChanged = ZEDADU_DIALOG_CHANGED_TEXT;
// A closed combo box is as high as an edit; its template height is that of the dropped list.
constexpr int kClosedListHeight = 12;

Qt::FocusPolicy FocusPolicyOf(const ZedaduDialogControl& control) {
    return control.style & WS_TABSTOP ? Qt::StrongFocus : Qt::ClickFocus;
}

ZedaduDialogAction Action(int32_t type, int32_t controlId, int32_t value = 0,
                          int32_t position = 0) {
    return {type, controlId, value, position, nullptr};
}

template <typename Widget>
void ShowText(Widget* widget, const ZedaduDialogControl& state, uint32_t what) {
    const QString text = FromAnsi(state.text);
    if ((what & kTextChanged) && widget->text() != text) {
        widget->setText(text);
    }
}

class PushButtonView final : public ControlView {
  public:
    PushButtonView(const ZedaduDialogControl& control, ControlHost& host)
        : button_(new QPushButton(host.surface())) {
        button_->setDefault((control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        button_->setFocusPolicy(FocusPolicyOf(control));
        QObject::connect(button_, &QPushButton::clicked, button_,
                         [&host, id = control.id] { host.act(Action(ZEDADU_ACTION_CLICK, id)); });
    }
    QWidget* handle() override { return button_; }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        ShowText(button_, state, what);
    }

  private:
    QPushButton* button_;  // owned by the window, as every widget here
};

// The caption of a multi-line check box wraps; a click on it is a click on the box.
class CheckBoxCaption final : public QLabel {
  public:
    CheckBoxCaption(QCheckBox* box, QWidget* parent) : QLabel(parent), box_(box) {
        setWordWrap(true);
        setBuddy(box);
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            box_->click();
        }
    }

  private:
    QCheckBox* box_;
};

class CheckBoxView final : public ControlView {
  public:
    CheckBoxView(const ZedaduDialogControl& control, ControlHost& host) {
        if (control.style & BS_MULTILINE) {
            frame_ = new QWidget(host.surface());
            box_ = new QCheckBox(frame_);
            caption_ = new CheckBoxCaption(box_, frame_);
            auto* layout = new QHBoxLayout(frame_);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(box_);
            layout->addWidget(caption_, 1);
            frame_->setFocusProxy(box_);
        } else {
            box_ = new QCheckBox(host.surface());
            frame_ = box_;
        }
        box_->setFocusPolicy(FocusPolicyOf(control));
        QObject::connect(box_, &QCheckBox::clicked, box_,
                         [&host, id = control.id] { host.act(Action(ZEDADU_ACTION_CLICK, id)); });
    }
    QWidget* handle() override { return box_; }
    QWidget* frame() override { return frame_; }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        if (caption_) {
            ShowText(caption_, state, what);
        } else {
            ShowText(box_, state, what);
        }
        if ((what & ZEDADU_DIALOG_CHANGED_CHECK) && box_->isChecked() != (state.checked != 0)) {
            box_->setChecked(state.checked != 0);
        }
    }

  private:
    QWidget* frame_;
    QCheckBox* box_;
    QLabel* caption_ = nullptr;
};

class GroupBoxView final : public ControlView {
  public:
    GroupBoxView(const ZedaduDialogControl&, ControlHost& host)
        : group_(new QGroupBox(host.surface())) {}
    QWidget* handle() override { return group_; }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        const QString title = FromAnsi(state.text);
        if ((what & kTextChanged) && group_->title() != title) {
            group_->setTitle(title);
        }
    }

  private:
    QGroupBox* group_;
};

// Static text wraps at word boundaries from the top left, centred or right-aligned by its style.
class StaticView final : public ControlView {
  public:
    StaticView(const ZedaduDialogControl& control, ControlHost& host)
        : label_(new QLabel(host.surface())) {
        const uint32_t alignment = control.style & (SS_CENTER | SS_RIGHT);
        label_->setAlignment(Qt::AlignTop | (alignment == SS_CENTER  ? Qt::AlignHCenter
                                             : alignment == SS_RIGHT ? Qt::AlignRight
                                                                     : Qt::AlignLeft));
        label_->setWordWrap(true);
    }
    QWidget* handle() override { return label_; }
    void setMnemonicTarget(QWidget* target) override { label_->setBuddy(target); }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        ShowText(label_, state, what);
    }

  private:
    QLabel* label_;
};

class EditView final : public ControlView {
  public:
    EditView(const ZedaduDialogControl& control, ControlHost& host)
        : edit_(new QLineEdit(host.surface())) {
        edit_->setFocusPolicy(FocusPolicyOf(control));
        QObject::connect(edit_, &QLineEdit::textEdited, edit_,
                         [&host, id = control.id](const QString& text) {
                             const std::string typed = ToAnsi(text);
                             host.act({ZEDADU_ACTION_TYPE, id, 0, 0, typed.c_str()});
                         });
    }
    QWidget* handle() override { return edit_; }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        ShowText(edit_, state, what);
    }

  private:
    QLineEdit* edit_;
};

// A drop-down list, with an edit field for a combo box: choosing an entry selects it, typing
// replaces the field's text and leaves no entry selected.
class ListView final : public ControlView {
  public:
    ListView(const ZedaduDialogControl& control, ControlHost& host)
        : host_(host), id_(control.id), combo_(new QComboBox(host.surface())) {
        combo_->setFocusPolicy(FocusPolicyOf(control));
        if (control.kind == ZEDADU_CONTROL_COMBO_BOX) {
            combo_->setEditable(true);
            combo_->setInsertPolicy(QComboBox::NoInsert);
            combo_->setCompleter(nullptr);
            QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, combo_,
                             [this](const QString& text) {
                                 const std::string typed = ToAnsi(text);
                                 host_.act({ZEDADU_ACTION_TYPE, id_, 0, 0, typed.c_str()});
                             });
        }
        QObject::connect(combo_, &QComboBox::activated, combo_, [this](int entry) {
            host_.act(Action(ZEDADU_ACTION_SELECT, id_, entry));
        });
    }
    QWidget* handle() override { return combo_; }

    void place(const QRect& rectangle, const DialogUnits& units) override {
        const int closed = std::min(rectangle.height(), units.y(kClosedListHeight));
        combo_->setGeometry(rectangle.x(), rectangle.y(), rectangle.width(), closed);
        const int itemHeight = std::max(1, combo_->fontMetrics().height());
        combo_->setMaxVisibleItems(std::max(1, (rectangle.height() - closed) / itemHeight));
    }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        if (what & ZEDADU_DIALOG_CHANGED_ITEMS) {
            showItems(state.itemCount);
            what |= ZEDADU_DIALOG_CHANGED_SELECTION | kTextChanged;
        }
        if ((what & ZEDADU_DIALOG_CHANGED_SELECTION) && combo_->currentIndex() != state.selection) {
            combo_->setCurrentIndex(state.selection);
        }
        const QString text = FromAnsi(state.text);
        if (combo_->isEditable() && (what & (ZEDADU_DIALOG_CHANGED_SELECTION | kTextChanged)) &&
            combo_->currentText() != text) {
            combo_->setEditText(text);
        }
    }

  private:
    void showItems(int count) {
        QStringList items;
        for (int item = 0; item < count; ++item) {
            items.append(host_.itemText(id_, item));
        }
        QStringList shown;
        for (int item = 0; item < combo_->count(); ++item) {
            shown.append(combo_->itemText(item));
        }
        if (shown != items) {
            combo_->clear();
            combo_->addItems(items);
        }
    }

    ControlHost& host_;
    int id_;
    QComboBox* combo_;
};

// Qt's slider actions and the scroll requests they stand for; a bar that is not being dragged
// moves only where the dialog procedure puts it.
constexpr std::pair<int, WORD> kScrollRequests[] = {
    {QAbstractSlider::SliderSingleStepSub, SB_LINELEFT},
    {QAbstractSlider::SliderSingleStepAdd, SB_LINERIGHT},
    {QAbstractSlider::SliderPageStepSub, SB_PAGELEFT},
    {QAbstractSlider::SliderPageStepAdd, SB_PAGERIGHT},
    {QAbstractSlider::SliderToMinimum, SB_LEFT},
    {QAbstractSlider::SliderToMaximum, SB_RIGHT},
    {QAbstractSlider::SliderMove, SB_THUMBPOSITION}};

class ScrollBarView final : public ControlView {
  public:
    ScrollBarView(const ZedaduDialogControl& control, ControlHost& host)
        : host_(host),
          id_(control.id),
          bar_(new QScrollBar(control.style & SBS_VERT ? Qt::Vertical : Qt::Horizontal,
                              host.surface())) {
        bar_->setFocusPolicy(control.style & WS_TABSTOP ? Qt::StrongFocus : Qt::NoFocus);
        QObject::connect(bar_, &QAbstractSlider::actionTriggered, bar_,
                         [this](int action) { request(action); });
        QObject::connect(bar_, &QAbstractSlider::sliderReleased, bar_, [this] {
            host_.act(Action(ZEDADU_ACTION_SCROLL, id_, SB_THUMBPOSITION, bar_->sliderPosition()));
        });
    }
    QWidget* handle() override { return bar_; }

  protected:
    void showState(const ZedaduDialogControl& state, uint32_t what) override {
        if (what & ZEDADU_DIALOG_CHANGED_SCROLL) {
            bar_->setRange(state.minimum, state.maximum);
            bar_->setValue(state.position);
        }
    }

  private:
    // The thumb follows a drag, whose end is the thumb-position request.
    void request(int action) {
        if (action == QAbstractSlider::SliderMove && bar_->isSliderDown()) {
            return;
        }
        for (const auto& [sliderAction, scrollRequest] : kScrollRequests) {
            if (sliderAction == action) {
                host_.act(Action(ZEDADU_ACTION_SCROLL, id_, scrollRequest, bar_->sliderPosition()));
                return;
            }
        }
    }

    ControlHost& host_;
    int id_;
    QScrollBar* bar_;
};

// Arrow keys in an up-down control's buddy spin it.
class ArrowKeys final : public QObject {
  public:
    ArrowKeys(ControlHost& host, int upDownId, QObject* parent)
        : QObject(parent), host_(host), upDownId_(upDownId) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Up && key != Qt::Key_Down) {
            return false;
        }
        host_.act(Action(ZEDADU_ACTION_SPIN, upDownId_, key == Qt::Key_Up ? 1 : -1));
        return true;
    }

  private:
    ControlHost& host_;
    int upDownId_;
};

// Two small arrow buttons beside the buddy edit, which shows the number.
class UpDownView final : public ControlView {
  public:
    UpDownView(const ZedaduDialogControl& control, ControlHost& host)
        : frame_(new QWidget(host.surface())) {
        auto* layout = new QVBoxLayout(frame_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        for (const auto& [arrow, direction] : {std::pair{Qt::UpArrow, 1}, {Qt::DownArrow, -1}}) {
            auto* button = new QToolButton(frame_);
            button->setArrowType(arrow);
            button->setAutoRepeat(true);
            button->setFocusPolicy(Qt::NoFocus);
            button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
            layout->addWidget(button);
            QObject::connect(button, &QToolButton::clicked, button,
                             [&host, id = control.id, step = direction] {
                                 host.act(Action(ZEDADU_ACTION_SPIN, id, step));
                             });
        }
        QWidget* buddy = host.widgetOf(control.buddyId);
        if (buddy && (control.style & UDS_ARROWKEYS)) {
            buddy->installEventFilter(new ArrowKeys(host, control.id, frame_));
        }
    }
    QWidget* handle() override { return frame_; }

  protected:
    void showState(const ZedaduDialogControl&, uint32_t) override {}

  private:
    QWidget* frame_;
};

template <typename View>
std::unique_ptr<ControlView> Make(const ZedaduDialogControl& control, ControlHost& host) {
    return std::make_unique<View>(control, host);
}

using Factory = std::unique_ptr<ControlView> (*)(const ZedaduDialogControl&, ControlHost&);

constexpr std::pair<int32_t, Factory> kFactories[] = {
    {ZEDADU_CONTROL_PUSH_BUTTON, Make<PushButtonView>},
    {ZEDADU_CONTROL_CHECK_BOX, Make<CheckBoxView>},
    {ZEDADU_CONTROL_GROUP_BOX, Make<GroupBoxView>},
    {ZEDADU_CONTROL_STATIC, Make<StaticView>},
    {ZEDADU_CONTROL_EDIT, Make<EditView>},
    {ZEDADU_CONTROL_COMBO_BOX, Make<ListView>},
    {ZEDADU_CONTROL_DROP_DOWN_LIST, Make<ListView>},
    {ZEDADU_CONTROL_SCROLL_BAR, Make<ScrollBarView>},
    {ZEDADU_CONTROL_UP_DOWN, Make<UpDownView>}};

}  // namespace

QString FromAnsi(const char* text) {
    if (!text || !*text) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
    return QString::fromUtf16(wide.data(), size - 1);
}

std::string ToAnsi(const QString& text) {
    const auto length = static_cast<int>(text.size());
    std::string ansi(static_cast<size_t>(length), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const char16_t*>(text.utf16()), length,
                            ansi.data(), length, "?", nullptr);
    }
    return ansi;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (alphabet / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::Scale(int units, int base, int divisor) {
    const int64_t scaled = int64_t{units} * base;
    return static_cast<int>((scaled + (scaled >= 0 ? divisor / 2 : -divisor / 2)) / divisor);
}

QRect DialogUnits::rectangle(int left, int top, int width, int height) const {
    const int x0 = x(left);
    const int y0 = y(top);
    return {x0, y0, x(left + width) - x0, y(top + height) - y0};
}

void ControlView::show(const ZedaduDialogControl& state, uint32_t what) {
    if (what & ZEDADU_DIALOG_CHANGED_ENABLED) {
        frame()->setEnabled(state.enabled != 0);
    }
    showState(state, what);
}

std::unique_ptr<ControlView> MakeControlView(const ZedaduDialogControl& control,
                                             ControlHost& host) {
    for (const auto& [kind, make] : kFactories) {
        if (kind == control.kind) {
            return make(control, host);
        }
    }
    return Make<StaticView>(control, host);
}

}  // namespace zedadu::ui::qt
