// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

namespace tidewell {

// The few colours Tidewell draws in itself rather than taking from the desktop's palette: states that must read
// the same in every theme.
class Colours
{
public:
    // Linked, notifications on.
    static QColor positive() { return QColor(0x2e, 0x8b, 0x3a); }
    // Errors, destructive buttons, the unread pill on the status icon.
    static QColor negative() { return QColor(0xd7, 0x26, 0x1e); }
    // The priority marks beside a row.
    static QColor high() { return QColor(0xff, 0x95, 0x00); }
    static QColor emergency() { return QColor(0xff, 0x3b, 0x30); }
    // Letters and marks drawn on one of the fills above or on an application's colour.
    static QColor onFill() { return QColor(Qt::white); }
};

} // namespace tidewell
