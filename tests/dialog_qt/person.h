// What a person does with a dialog window, through Qt's test API: mouse clicks, keys and typing
// reach the widgets as from the window system. Controls are found by their identifiers, which name
// their widgets.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QScrollBar>
#include <QStyle>
#include <functional>
#include <stdexcept>
#include <string>

namespace zedadu::test {

// Drives the next dialog window once it is on the screen, from inside its modal loop.
using Driver = std::function<void(QDialog&)>;
void DriveNextDialog(Driver driver);
// Whether a driver is still waiting for its window.
bool DriverWaiting();

template <typename Widget = QWidget>
Widget& ControlOf(QDialog& dialog, int id) {
    auto* widget = dialog.findChild<Widget*>(QString::number(id));
    if (!widget) {
        throw std::runtime_error("the window shows no control " + std::to_string(id));
    }
    return *widget;
}

void Click(QWidget& widget);
// Opens the list and clicks its entry.
void ChooseInPopup(QComboBox& list, int entry);
void PressKey(QWidget& widget, Qt::Key key, int times = 1);
// Selects the whole text of an edit or of a combo box's edit field and types over it.
void TypeOver(QWidget& field, const QString& text);
// Clicks a part of a scroll bar: an arrow or the trough on either side of the thumb.
void ClickPart(QScrollBar& bar, QStyle::SubControl part);
// Drags the thumb to the place of value and lets it go.
void DragThumb(QScrollBar& bar, int value);
// Clicks the up or down arrow of an up-down control.
void ClickArrow(QDialog& dialog, int upDownId, Qt::ArrowType arrow);

// Saves a picture of the window in the build tree's screenshot directory, after checking that
// every text shown fits its control.
void SaveScreenshot(QDialog& dialog, const std::string& name);

}  // namespace zedadu::test
