// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

namespace tidewell {

// Paints one sidebar row: the "All Messages" row with its icon and total badge, or an application with its
// avatar, name (semibold when it has unread messages), high-priority mark, time of the latest message, a two-line
// preview and its unread badge. The name and the preview are the server's texts, of any length and direction: each
// is drawn as an isolated run, elided, and kept to its own part of the row.
class AppRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Where the parts of an application's row go. No two overlap, and nothing of one is drawn in another's place;
    // the mark, the time and the badge are empty when the row has none.
    struct Layout
    {
        QRect avatar;
        QRect name; // what the name may paint: the first line, up to the mark or the time
        QRect mark;
        QRect time;
        QRect preview; // what the preview may paint: below the name, up to the badge
        QRect badge;
        QRect nameLine; // the line box the name is centred in
        QString nameText; // isolated and elided to its room
        QString timeText;
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The layout of an application's row (not of "All Messages").
    Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

} // namespace tidewell
