#pragma once

#include <QStyledItemDelegate>

namespace tidewell {

// Paints one sidebar row: the "All Messages" row with its icon and total badge, or an application with its
// avatar, name (semibold when it has unread messages), high-priority mark, time of the latest message, a two-line
// preview and its unread badge.
class AppRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tidewell
