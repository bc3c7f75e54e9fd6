#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace tidewell {

// Paints one message: the unread dot, the application's avatar, the header with its priority mark and time of
// day, the whole text (no line limit) and a link for web addresses. Rows differ in height, so only the rows on
// screen are measured. A click on the link opens it in the browser.
class MessageRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit MessageRowDelegate(QAbstractItemView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

    // The time of day as the list shows it, in the locale's short format (hour and minute only).
    static QString timeText(qint64 ts);

signals:
    void linkActivated(const QUrl& url);

private:
    struct Layout
    {
        QRect dot, avatar, header, mark, time, body, link;
        int height = 0;
    };
    Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const;

    QAbstractItemView* m_view;
};

} // namespace tidewell
