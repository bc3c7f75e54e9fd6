#include "approwdelegate.h"

#include "applistmodel.h"
#include "icons.h"
#include "relativetime.h"
#include "rowpainter.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QTextLayout>

namespace tidewell {

namespace {

constexpr int padding = 6;
constexpr int avatarSize = 36;
constexpr int spacing = 10;

QFont captionFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(std::max(6.0, base.pointSizeF() * 0.85));
    return font;
}

QColor secondary(const QPalette& palette, bool selected)
{
    QColor colour = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    colour.setAlphaF(0.65f);
    return colour;
}

// Up to `maxLines` lines of `text` wrapped in `width`, the last one elided.
void drawWrapped(QPainter* painter, const QRect& rect, const QString& text, int maxLines)
{
    const QFontMetrics metrics(painter->font());
    QString flat = text;
    flat.replace(u'\n', u' ');
    QTextLayout layout(flat, painter->font());
    layout.beginLayout();
    int y = rect.top();
    for (int line = 0; line < maxLines; ++line) {
        QTextLine textLine = layout.createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(rect.width());
        const bool last = line == maxLines - 1 || textLine.textStart() + textLine.textLength() >= flat.size();
        if (last && textLine.textStart() + textLine.textLength() < flat.size()) {
            const QString rest = metrics.elidedText(flat.mid(textLine.textStart()), Qt::ElideRight, rect.width());
            painter->drawText(QPoint(rect.left(), y + metrics.ascent()), rest);
            break;
        }
        painter->drawText(
            QPoint(rect.left(), y + metrics.ascent()), flat.mid(textLine.textStart(), textLine.textLength()));
        y += metrics.lineSpacing();
        if (last)
            break;
    }
    layout.endLayout();
}

} // namespace

QSize AppRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics metrics(option.font);
    if (index.row() == 0)
        return { 200, std::max(metrics.height(), 20) + 2 * padding + 4 };
    const QFontMetrics caption(captionFont(option.font));
    const int text = metrics.height() + 2 + 2 * caption.lineSpacing();
    return { 200, std::max(avatarSize, text) + 2 * padding };
}

void AppRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QRect area = option.rect.adjusted(padding + 2, padding, -padding - 2, -padding);
    const qint64 unread = index.data(AppListModel::UnreadRole).toLongLong();
    QFont captionBase = captionFont(option.font);

    painter->save();
    if (index.row() == 0) {
        const int iconSize = 20;
        const QRect iconRect(
            area.left() + (avatarSize - iconSize) / 2, area.center().y() - iconSize / 2 + 1, iconSize, iconSize);
        Icons::symbol(QStringLiteral("tray.full"))
            .paint(painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
        const int badgeWidth
            = RowPainter::badge(painter, area.right(), area.center().y(), unread, captionBase, palette);
        painter->setPen(text);
        painter->setFont(option.font);
        const QRect label(area.left() + avatarSize + spacing, area.top(),
            area.width() - avatarSize - spacing - badgeWidth - 4, area.height());
        painter->drawText(label, Qt::AlignVCenter | Qt::AlignLeft,
            option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, label.width()));
        painter->restore();
        return;
    }

    const QRect avatar(area.left(), area.center().y() - avatarSize / 2 + 1, avatarSize, avatarSize);
    RowPainter::avatar(painter, avatar, index.data(AppListModel::IconRole).value<QImage>(),
        index.data(AppListModel::ColourRole).value<QColor>(), index.data(Qt::DisplayRole).toString(), palette);

    const int left = avatar.right() + 1 + spacing;
    const int width = area.right() - left + 1;
    QFont nameFont = option.font;
    nameFont.setWeight(unread > 0 ? QFont::DemiBold : QFont::Normal);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics captionMetrics(captionBase);

    // First line: name, mark, time.
    int right = area.right();
    const QVariant ts = index.data(AppListModel::LatestTsRole);
    if (ts.isValid()) {
        const QString when
            = RelativeTime::text(QDateTime::fromSecsSinceEpoch(ts.toLongLong()), QDateTime::currentDateTime());
        painter->setFont(captionBase);
        painter->setPen(secondary(palette, selected));
        const int whenWidth = captionMetrics.horizontalAdvance(when);
        painter->drawText(QRect(right - whenWidth, area.top(), whenWidth, nameMetrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, when);
        right -= whenWidth + 4;
    }
    if (index.data(AppListModel::HighPriorityRole).toBool()) {
        const int size = captionMetrics.ascent();
        right -= size;
        // Drawn right after the name when it fits; the name is elided to leave room for it.
        const QString name
            = nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, right - left - 4);
        const int nameWidth = nameMetrics.horizontalAdvance(name);
        painter->setFont(nameFont);
        painter->setPen(text);
        painter->drawText(
            QRect(left, area.top(), nameWidth + 1, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
        RowPainter::priorityMark(painter,
            QRect(left + nameWidth + 4, area.top() + (nameMetrics.height() - size) / 2, size, size),
            RowPainter::high());
    } else {
        painter->setFont(nameFont);
        painter->setPen(text);
        painter->drawText(QRect(left, area.top(), right - left, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
            nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, right - left));
    }

    // Second line: preview and badge.
    const int top = area.top() + nameMetrics.height() + 2;
    const int badgeWidth = RowPainter::badge(
        painter, area.right(), top + captionMetrics.lineSpacing() / 2 + 1, unread, captionBase, palette);
    QFont previewFont = captionBase;
    previewFont.setWeight(unread > 0 ? QFont::Medium : QFont::Normal);
    painter->setFont(previewFont);
    painter->setPen(unread > 0 ? text : secondary(palette, selected));
    drawWrapped(painter, QRect(left, top, width - (badgeWidth ? badgeWidth + 6 : 0), 2 * captionMetrics.lineSpacing()),
        index.data(AppListModel::PreviewRole).toString(), 2);
    painter->restore();
}

} // namespace tidewell
