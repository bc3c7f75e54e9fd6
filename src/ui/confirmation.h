// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace tidewell {

// The one way Tidewell asks before doing something: a window-modal box that answers through `finished`, never
// through a nested event loop. Escape and closing the box count as the refusal.
class Confirmation
{
public:
    struct Question
    {
        QMessageBox::Icon icon = QMessageBox::Warning;
        // The box's name; its buttons are named apart, since the tests and the accessibility tree find them.
        QString objectName;
        QString title;
        QString message;
        QString confirm;
        QString confirmName;
        QMessageBox::ButtonRole confirmRole = QMessageBox::DestructiveRole;
        // Invalid for the style's own colour.
        QColor confirmColour;
        QString cancel;
        QString cancelName;
        // Destructive questions default to the refusal, so that Return alone never destroys anything.
        bool confirmIsDefault = false;
    };

    // The box, deleted on close, not yet open: the caller may fill it further before `open()`. `answered` is called
    // once with whether the confirming button was pressed.
    static QMessageBox* build(QWidget* parent, const Question& question, std::function<void(bool)> answered);
};

} // namespace tidewell
