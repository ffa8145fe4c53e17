#include "tests/dialog_qt/person.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <utility>

namespace zedadu::test {
namespace {

Driver& Pending() {
    static Driver driver;
    return driver;
}

void DriveActiveDialog() {
    const Driver driver = std::exchange(Pending(), nullptr);
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!driver) {
        return;
    }
    if (!dialog) {
        ADD_FAILURE() << "no dialog window is open";
        return;
    }
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
    try {
        driver(*dialog);
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
    }
    if (dialog->isVisible()) {
        ADD_FAILURE() << "the dialog was left open";
        QTest::keyClick(dialog, Qt::Key_Escape);
    }
}

// The front-end may make its application only when the dialog opens: the driver is then started
// by the application's construction.
void StartPendingDriver() {
    if (Pending()) {
        QTimer::singleShot(0, DriveActiveDialog);
    }
}

// A scroll bar describes itself to its style for its subclasses only; the member, named through
// one, serves any scroll bar.
struct StyleOptionOfScrollBar : QScrollBar {
    static auto Member() { return &StyleOptionOfScrollBar::initStyleOption; }
};

QRect PartOf(const QScrollBar& bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    (bar.*StyleOptionOfScrollBar::Member())(&option);
    const QRect rectangle = bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar);
    if (rectangle.isEmpty()) {
        throw std::runtime_error("the scroll bar has no such part");
    }
    return rectangle;
}

int TextWidth(const QWidget& widget, const QString& text) {
    QString shown = text;
    shown.remove(QRegularExpression("&(?!&)"));
    return widget.fontMetrics().horizontalAdvance(shown);
}

// Labels wrap, so their lines must fit their height; a button's or check box's caption must fit
// beside its frame or box.
void ExpectNothingClipped(QDialog& dialog) {
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&dialog) && !label->text().isEmpty()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height())
                << label->text().toStdString();
            EXPECT_LE(TextWidth(*label, label->text()), label->width())
                << label->text().toStdString();
        }
    }
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&dialog) || button->text().isEmpty()) {
            continue;
        }
        const QStyle& style = *button->style();
        const int beside = qobject_cast<const QCheckBox*>(button)
                               ? style.pixelMetric(QStyle::PM_IndicatorWidth) +
                                     style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing)
                               : 2 * style.pixelMetric(QStyle::PM_ButtonMargin);
        EXPECT_LE(TextWidth(*button, button->text()) + beside, button->width())
            << button->text().toStdString();
    }
}

}  // namespace

void DriveNextDialog(Driver driver) {
    static const bool hooked = (qAddPreRoutine(StartPendingDriver), true);
    static_cast<void>(hooked);
    const bool started = QCoreApplication::instance() != nullptr;
    Pending() = std::move(driver);
    if (started) {
        StartPendingDriver();
    }
}

bool DriverWaiting() {
    return static_cast<bool>(Pending());
}

void Click(QWidget& widget) {
    QTest::mouseClick(&widget, Qt::LeftButton);
}

// The arrow opens the list; a click on the edit field of a combo box places the cursor instead.
void ChooseInPopup(QComboBox& list, int entry) {
    QStyleOptionComboBox option;
    option.initFrom(&list);
    option.editable = list.isEditable();
    option.subControls = QStyle::SC_All;
    const QRect arrow =
        list.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &list);
    QTest::mouseClick(&list, Qt::LeftButton, {}, arrow.center());
    QAbstractItemView& view = *list.view();
    if (!QTest::qWaitFor([&] { return view.isVisible(); })) {
        throw std::runtime_error("the list did not open");
    }
    // The list ignores a release that comes sooner than a double click after it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QModelIndex index = list.model()->index(entry, 0);
    view.scrollTo(index);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(index).center());
    if (!QTest::qWaitFor([&] { return !view.isVisible(); })) {
        throw std::runtime_error("the list did not close");
    }
}

void PressKey(QWidget& widget, Qt::Key key, int times) {
    for (int i = 0; i < times; ++i) {
        QTest::keyClick(&widget, key);
    }
}

void TypeOver(QWidget& field, const QString& text) {
    auto* list = qobject_cast<QComboBox*>(&field);
    QWidget* target = list && list->lineEdit() ? list->lineEdit() : &field;
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(target, text);
}

void ClickPart(QScrollBar& bar, QStyle::SubControl part) {
    QTest::mouseClick(&bar, Qt::LeftButton, {}, PartOf(bar, part).center());
}

void DragThumb(QScrollBar& bar, int value) {
    const QRect thumb = PartOf(bar, QStyle::SC_ScrollBarSlider);
    const QRect groove = PartOf(bar, QStyle::SC_ScrollBarGroove);
    const int travel = groove.width() - thumb.width();
    const int x = groove.left() + thumb.width() / 2 +
                  travel * (value - bar.minimum()) / std::max(1, bar.maximum() - bar.minimum());
    QTest::mousePress(&bar, Qt::LeftButton, {}, thumb.center());
    QTest::mouseMove(&bar, {x, thumb.center().y()});
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, {x, thumb.center().y()});
}

void ClickArrow(QDialog& dialog, int upDownId, Qt::ArrowType arrow) {
    for (QToolButton* button : ControlOf(dialog, upDownId).findChildren<QToolButton*>()) {
        if (button->arrowType() == arrow) {
            Click(*button);
            return;
        }
    }
    throw std::runtime_error("the up-down control has no such arrow");
}

void SaveScreenshot(QDialog& dialog, const std::string& name) {
    QApplication::processEvents();
    ExpectNothingClipped(dialog);
    std::filesystem::create_directories(ZEDADU_SCREENSHOT_DIR);
    const std::string path = std::string(ZEDADU_SCREENSHOT_DIR) + "/" + name + ".png";
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString(path), "PNG")) << path;
}

}  // namespace zedadu::test
