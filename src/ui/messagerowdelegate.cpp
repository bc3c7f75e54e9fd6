// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/messagerowdelegate.h"

#include "lists/listpresentation.h"
#include "ui/colours.h"
#include "ui/messagelistmodel.h"
#include "ui/rowpainter.h"
#include "ui/textblock.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QStyle>
#include <QThreadPool>

namespace tidewell {

namespace {

constexpr int hPadding = 10;
constexpr int vPadding = 6;
constexpr int spacing = 10;
constexpr int dotSize = 8;
constexpr int avatarSize = 32;
// A text longer than this many characters is laid out on a worker thread (a megabyte takes a quarter of a second
// here), its first `headChars` shown meanwhile.
constexpr qsizetype longText = 32 * 1024;
constexpr qsizetype headChars = 8 * 1024;

QFont headerFont(const QFont& base, bool unread)
{
    QFont font = base;
    font.setWeight(unread ? QFont::DemiBold : QFont::Normal);
    return font;
}

QFont bodyFont(const QFont& base, bool unread)
{
    QFont font = base;
    font.setWeight(unread ? QFont::Medium : QFont::Normal);
    return font;
}

QFont captionFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(std::max(6.0, base.pointSizeF() * 0.85));
    return font;
}

QColor withAlpha(QColor colour, float alpha)
{
    colour.setAlphaF(alpha);
    return colour;
}

} // namespace

MessageRowDelegate::MessageRowDelegate(QAbstractItemView* view)
    : QStyledItemDelegate(view)
    , m_view(view)
{ }

// The locale's short time format, with the seconds some locales put in it taken out: hour, minute and, where the
// locale uses one, the day-period marker.
QString MessageRowDelegate::timeText(qint64 ts)
{
    static const QString format = [] {
        QString pattern = QLocale().timeFormat(QLocale::ShortFormat);
        pattern.remove(QRegularExpression(QStringLiteral("[.:]?s+")));
        return pattern.trimmed();
    }();
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(ts).time(), format);
}

MessageRowDelegate::Layout MessageRowDelegate::layout(
    const QStyleOptionViewItem& option, const QModelIndex& index, int width) const
{
    Layout l;
    const bool unread = index.data(MessageListModel::UnreadRole).toBool();
    const int top = option.rect.top() + vPadding;
    int x = option.rect.left() + hPadding;
    l.dot = QRect(x, top + 6, dotSize, dotSize);
    x += dotSize + spacing;
    if (index.data(MessageListModel::HasAppRole).toBool()) {
        l.avatar = QRect(x, top, avatarSize, avatarSize);
        x += avatarSize + spacing;
    }
    const int right = option.rect.left() + width - hPadding;
    const int textWidth = std::max(40, right - x);

    const QFontMetrics caption(captionFont(option.font));
    const QString time = timeText(index.data(MessageListModel::TsRole).toLongLong());
    const int timeWidth = caption.horizontalAdvance(time);
    const QFontMetrics header(headerFont(option.font, unread));
    const bool marked = ListPresentation::priorityMark(index.data(MessageListModel::PriorityRole).toLongLong())
        != ListPresentation::PriorityMark::None;
    const int markSize = caption.ascent();
    const int headerWidth = std::max(20, textWidth - timeWidth - 4 - (marked ? markSize + 4 : 0));
    l.headerText = block(index, true, option.font, unread, headerWidth, option.direction);
    l.header = QRect(x, top, headerWidth, std::max(header.height(), l.headerText->height()));
    if (marked)
        l.mark = QRect(x + std::min(l.headerText->width(), headerWidth) + 4, top + (header.height() - markSize) / 2 + 1,
            markSize, markSize);
    l.time = QRect(right - timeWidth, top, timeWidth, header.height());

    int y = l.header.bottom() + 1 + 3;
    l.bodyText = block(index, false, option.font, unread, textWidth, option.direction);
    const int bodyHeight = l.bodyText->source().isEmpty() ? 0 : l.bodyText->height();
    l.body = QRect(x, y, textWidth, bodyHeight);
    y += bodyHeight;
    if (index.data(MessageListModel::LinkUrlRole).isValid()) {
        y += 3;
        QFont linkFont = option.font;
        const QFontMetrics link(linkFont);
        const QString linkText = index.data(MessageListModel::LinkTextRole).toString();
        // A few pixels of slack: eliding measures slightly wider than the advance of the same text.
        l.link = QRect(x, y, std::min(textWidth, link.horizontalAdvance(linkText) + 4), link.height());
        y += link.height();
    }
    l.height = std::max(y, l.avatar.isValid() ? l.avatar.bottom() + 1 : y) - option.rect.top() + vPadding;
    // Laid out from the left, then mirrored: the texts, aligned on the right in such a layout, still end where the
    // mark is put after them.
    if (option.direction == Qt::RightToLeft) {
        const QRect row(option.rect.left(), option.rect.top(), width, l.height);
        for (QRect* part : { &l.dot, &l.avatar, &l.header, &l.mark, &l.time, &l.body, &l.link }) {
            if (part->isValid())
                *part = QStyle::visualRect(Qt::RightToLeft, row, *part);
        }
    }
    return l;
}

std::shared_ptr<const TextBlock> MessageRowDelegate::block(const QModelIndex& index, bool header, const QFont& base,
    bool unread, int width, Qt::LayoutDirection direction) const
{
    if (base != m_blockFont) {
        m_blocks.clear();
        m_blockFont = base;
    }
    const BlockKey key { index.data(MessageListModel::MessageIdRole).toLongLong(), width, header, unread,
        direction == Qt::RightToLeft };
    // The header is read each time, being short and able to change; the text only when it is not laid out yet.
    const QString headerText = header ? index.data(Qt::DisplayRole).toString() : QString();
    if (const auto* cached = m_blocks.object(key); cached && (!header || (*cached)->source() == headerText))
        return *cached;
    const QString text = header ? headerText : index.data(MessageListModel::BodyRole).toString();
    const QFont font = header ? headerFont(base, unread) : bodyFont(base, unread);
    if (text.size() <= longText) {
        auto made = std::make_shared<const TextBlock>(text, font, width, direction);
        keep(key, made);
        return made;
    }
    auto head = std::make_shared<const TextBlock>(text, font, width, headChars, direction);
    keep(key, head);
    layOutInBackground(key, text, base, width);
    return head;
}

void MessageRowDelegate::keep(const BlockKey& key, std::shared_ptr<const TextBlock> block) const
{
    const qsizetype cost = std::clamp<qsizetype>(block->source().size(), 1, m_blocks.maxCost());
    m_blocks.insert(key, new std::shared_ptr<const TextBlock>(std::move(block)), cost);
}

void MessageRowDelegate::layOutInBackground(
    const BlockKey& key, const QString& text, const QFont& base, int width) const
{
    if (m_layingOut.contains(key))
        return;
    m_layingOut.insert(key);
    const QFont font = key.header ? headerFont(base, key.unread) : bodyFont(base, key.unread);
    QPointer<const MessageRowDelegate> self(this);
    // A layout made on one thread cannot be drawn on another, so the worker only finds where the lines break, with a
    // font of its own; the result comes back to this thread through the application object, which outlives every
    // delegate, and is dropped when the delegate is gone or the font changed meanwhile.
    QThreadPool::globalInstance()->start([self, key, text, base, font, width, description = font.toString()] {
        TextBlock::Lines lines = TextBlock::breakLines(text, description, width);
        QMetaObject::invokeMethod(qApp, [self, key, text, base, font, width, lines = std::move(lines)]() mutable {
            if (!self)
                return;
            self->m_layingOut.remove(key);
            if (base != self->m_blockFont)
                return;
            const Qt::LayoutDirection direction = key.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
            self->keep(key, std::make_shared<const TextBlock>(text, font, width, std::move(lines), direction));
            emit const_cast<MessageRowDelegate*>(self.data())->sizeHintChanged(QModelIndex());
        });
    });
}

QSize MessageRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem at = option;
    at.rect.moveTo(0, 0);
    const int width = m_view->viewport()->width();
    return { width, layout(at, index, width).height };
}

void MessageRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Layout l = layout(option, index, option.rect.width());
    const QPalette& palette = option.palette;
    const bool unread = index.data(MessageListModel::UnreadRole).toBool();
    const bool selected
        = index.data(MessageListModel::SelectedRole).toBool() || (option.state & QStyle::State_Selected);
    const QColor accent = palette.color(QPalette::Highlight);
    const QColor appColour = index.data(MessageListModel::AppColourRole).value<QColor>();

    painter->save();
    if (selected)
        painter->fillRect(option.rect, withAlpha(accent, 0.18f));
    else if (unread)
        painter->fillRect(option.rect, withAlpha(accent, 0.08f));
    else if (index.data(MessageListModel::HasAppRole).toBool())
        painter->fillRect(option.rect, withAlpha(appColour.isValid() ? appColour : accent, 0.06f));
    if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active)) {
        painter->setPen(QPen(withAlpha(accent, 0.8f), 1));
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    }
    // A hairline between rows keeps tall rows apart.
    painter->fillRect(QRect(option.rect.left(), option.rect.bottom(), option.rect.width(), 1),
        withAlpha(palette.color(QPalette::Text), 0.08f));

    painter->setRenderHint(QPainter::Antialiasing);
    if (unread) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(accent);
        painter->drawEllipse(QRectF(l.dot));
    }
    if (l.avatar.isValid()) {
        RowPainter::avatar(painter, l.avatar, index.data(MessageListModel::AppIconRole).value<QImage>(), appColour,
            index.data(MessageListModel::AppNameRole).toString(), palette);
    }

    QColor text = palette.color(QPalette::Text);
    painter->setFont(headerFont(option.font, unread));
    painter->setPen(unread ? text : withAlpha(text, 0.85f));
    l.headerText->draw(painter, l.header.topLeft());
    if (l.mark.isValid()) {
        const bool emergency = ListPresentation::priorityMark(index.data(MessageListModel::PriorityRole).toLongLong())
            == ListPresentation::PriorityMark::Emergency;
        RowPainter::priorityMark(painter, l.mark, emergency ? Colours::emergency() : Colours::high());
    }
    painter->setFont(captionFont(option.font));
    painter->setPen(withAlpha(text, 0.6f));
    painter->drawText(QRectF(l.time), timeText(index.data(MessageListModel::TsRole).toLongLong()),
        RowPainter::placed(Qt::AlignTrailing | Qt::AlignVCenter, option.direction));

    painter->setFont(bodyFont(option.font, unread));
    painter->setPen(unread ? text : withAlpha(text, 0.7f));
    l.bodyText->draw(painter, l.body.topLeft());

    if (l.link.isValid()) {
        QFont linkFont = option.font;
        linkFont.setUnderline(true);
        painter->setFont(linkFont);
        painter->setPen(palette.color(QPalette::Link));
        painter->drawText(QRectF(l.link),
            QFontMetrics(linkFont).elidedText(
                index.data(MessageListModel::LinkTextRole).toString(), Qt::ElideRight, l.link.width()),
            RowPainter::placed(Qt::AlignLeading | Qt::AlignVCenter, option.direction));
    }
    painter->restore();
}

bool MessageRowDelegate::editorEvent(
    QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QUrl url = index.data(MessageListModel::LinkUrlRole).toUrl();
        if (mouse->button() == Qt::LeftButton && url.isValid()
            && layout(option, index, option.rect.width()).link.contains(mouse->position().toPoint())) {
            emit linkActivated(url);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

} // namespace tidewell
