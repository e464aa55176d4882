#pragma once
// Control events. A control's event runs when its value changes, whether the user changed it or
// code did: setting an option button, a check box, a text or a list's current index from code
// raises the same event as a user change. These helpers connect a handler to the Qt signal that
// behaves that way (toggled, textChanged, currentIndexChanged ... rather than clicked or
// textEdited, which only the user raises) and run it at the event boundary.
//
// Option buttons that share a parent widget are exclusive (Qt's auto-exclusive radio buttons);
// setting one clears the others, and only the one that became set raises Click.

#include "runtime/error.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTextEdit>
#include <functional>

namespace rt {

// Command button: Click on a user click or click() from code.
template<class F> void onClick(QAbstractButton *button, QObject *context, F handler)
{
    QObject::connect(button, &QAbstractButton::clicked, context, [handler] { rt::event(handler); });
}

// Option button: Click when it becomes set.
template<class F> void onClick(QRadioButton *option, QObject *context, F handler)
{
    QObject::connect(option, &QAbstractButton::toggled, context, [handler](bool checked) {
        if (checked)
            rt::event(handler);
    });
}

// Check box: Click whenever its value changes.
template<class F> void onClick(QCheckBox *check, QObject *context, F handler)
{
    QObject::connect(check, &QCheckBox::stateChanged, context, [handler] { rt::event(handler); });
}

// List: Click when a new item becomes the current one (not when the list is cleared).
template<class F> void onClick(QListWidget *list, QObject *context, F handler)
{
    QObject::connect(list, &QListWidget::currentRowChanged, context, [handler](int row) {
        if (row >= 0)
            rt::event(handler);
    });
}

template<class F> void onClick(QComboBox *combo, QObject *context, F handler)
{
    QObject::connect(combo, &QComboBox::currentIndexChanged, context, [handler](int index) {
        if (index >= 0)
            rt::event(handler);
    });
}

// Text box: Change whenever its text changes.
template<class F> void onChange(QLineEdit *edit, QObject *context, F handler)
{
    QObject::connect(edit, &QLineEdit::textChanged, context, [handler] { rt::event(handler); });
}

template<class F> void onChange(QTextEdit *edit, QObject *context, F handler)
{
    QObject::connect(edit, &QTextEdit::textChanged, context, [handler] { rt::event(handler); });
}

// Any control: LostFocus when the user moves the focus from it to another control (a click, Tab
// or an access key), not when its window is deactivated, a menu opens, code moves the focus or
// the control goes away.
void onLostFocus(QWidget *control, std::function<void()> handler);

// The value of a check box as the design reads it: 0 unchecked, 1 checked, 2 grayed.
inline Int checkValue(const QCheckBox *check)
{
    switch (check->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}
void setCheckValue(QCheckBox *check, Int value);

// Sets the tab order of a window's controls as they stand on screen: top to bottom, left to
// right, a group, a column of buttons or a row of a layout taken as one block. A layout gives
// its items' order (a grid and a form row by row, a box in its direction); the children of a
// widget without a layout go by their place.
void orderTabsAsShown(QWidget *window);

} // namespace rt
