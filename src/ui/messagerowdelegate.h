// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCache>
#include <QFont>
#include <QSet>
#include <QStyledItemDelegate>

#include <memory>

class QAbstractItemView;

namespace tidewell {

class TextBlock;

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

    // Where the parts of a message's row go, in the option's rectangle and direction: in a right-to-left layout the
    // row is the mirror image of its left-to-right one, the dot and the avatar on the right and the time on the left.
    struct Layout
    {
        QRect dot, avatar, header, mark, time, body, link;
        int height = 0;
        std::shared_ptr<const TextBlock> headerText, bodyText;
    };
    Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const;

signals:
    void linkActivated(const QUrl& url);

private:
    struct BlockKey
    {
        qint64 messageId;
        int width;
        bool header;
        bool unread;
        bool rightToLeft;
        bool operator==(const BlockKey&) const = default;
        friend size_t qHash(const BlockKey& key, size_t seed = 0)
        {
            return qHashMulti(seed, key.messageId, key.width, key.header, key.unread, key.rightToLeft);
        }
    };

    // The header or the text of a message laid out at a width, from the cache when it was laid out before.
    std::shared_ptr<const TextBlock> block(const QModelIndex& index, bool header, const QFont& font, bool unread,
        int width, Qt::LayoutDirection direction) const;
    void keep(const BlockKey& key, std::shared_ptr<const TextBlock> block) const;
    // A very long text is laid out on a worker thread, its beginning shown meanwhile; once it is whole, the rows
    // are measured again.
    void layOutInBackground(const BlockKey& key, const QString& text, const QFont& base, int width) const;

    QAbstractItemView* m_view;
    // Laid-out texts, counted by characters: a repaint or a measurement of a message already on screen lays out
    // nothing, however long its text. A message's text never changes; its header may (an application renamed).
    mutable QCache<BlockKey, std::shared_ptr<const TextBlock>> m_blocks { 4'000'000 };
    mutable QFont m_blockFont;
    mutable QSet<BlockKey> m_layingOut; // texts being laid out on a worker thread
};

} // namespace tidewell
