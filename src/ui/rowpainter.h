// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QTextOption>

class QPainter;
class QPalette;
class QFont;

namespace tidewell {

// Drawing shared by the two lists' rows: avatars, unread badges and priority marks.
class RowPainter
{
public:
    // The application's icon clipped to a circle or, when it has none, a circle in its colour (the palette's accent
    // when the colour is invalid) with the name's first character uppercased.
    static void avatar(QPainter* painter, const QRect& rect, const QImage& icon, const QColor& colour,
        const QString& name, const QPalette& palette);
    // The capsule with the badge text for `count`, right-aligned at `right` and vertically centred on `centreY`;
    // returns its width (0 when there is no badge).
    static int badge(
        QPainter* painter, int right, int centreY, qint64 count, const QFont& font, const QPalette& palette);
    static int badgeWidth(qint64 count, const QFont& font);
    // A filled circle with an exclamation mark, orange or red.
    static void priorityMark(QPainter* painter, const QRect& rect, const QColor& colour);
    // A one-line text put at the side `alignment` names (leading or trailing) in the layout `direction`, in the
    // direction of its own characters: a time or an address reads the same in a right-to-left layout, only its
    // place is mirrored.
    static QTextOption placed(Qt::Alignment alignment, Qt::LayoutDirection direction);
};

} // namespace tidewell
