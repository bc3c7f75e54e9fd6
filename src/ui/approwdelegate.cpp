// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/approwdelegate.h"

#include "base/servertext.h"
#include "ui/applistmodel.h"
#include "ui/colours.h"
#include "ui/icons.h"
#include "ui/relativetime.h"
#include "ui/rowpainter.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

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

QFont nameFont(const QFont& base, qint64 unread)
{
    QFont font = base;
    font.setWeight(unread > 0 ? QFont::DemiBold : QFont::Normal);
    return font;
}

// The name keeps to one line and the preview runs on across its two, so the breaks and tabs in them are spaces.
QString oneLine(QString text)
{
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

// Whether anything in `rest` would show: more than the spaces and direction controls closing a run.
bool showsAnything(QStringView rest)
{
    return std::any_of(
        rest.cbegin(), rest.cend(), [](QChar c) { return !c.isSpace() && c.category() != QChar::Other_Format; });
}

// The preview's lines keep to the layout's leading side; its text is isolated, so its own order is kept inside.
QTextOption previewOption(Qt::LayoutDirection direction, QTextOption::WrapMode wrap)
{
    QTextOption option(direction == Qt::RightToLeft ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft);
    option.setTextDirection(direction);
    option.setWrapMode(wrap);
    return option;
}

void drawLine(QPainter* painter, const QPointF& topLeft, int width, const QString& text, Qt::LayoutDirection direction)
{
    QTextLayout layout(text, painter->font());
    layout.setTextOption(previewOption(direction, QTextOption::NoWrap));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(width);
    layout.endLayout();
    if (line.isValid())
        line.draw(painter, topLeft);
}

// Up to `maxLines` lines of `text` in `width`, broken between words or, for a word longer than a line, anywhere;
// the last line elided when the text goes on.
void drawPreview(QPainter* painter, const QPoint& topLeft, int width, const QString& text, int maxLines,
    Qt::LayoutDirection direction)
{
    if (width <= 0 || text.isEmpty())
        return;
    const QFontMetrics metrics(painter->font());
    // A message may be megabytes long, and the lines show about a character a pixel of it at most: twice that is
    // laid out, the rest never is, and a text cut here counts as going on.
    QString shown = text.left(qsizetype(maxLines) * width * 2);
    if (shown.size() < text.size() && shown.back().isHighSurrogate())
        shown.chop(1);
    const bool cut = shown.size() < text.size();
    shown = ServerText::isolated(oneLine(shown));

    QTextLayout layout(shown, painter->font());
    layout.setTextOption(previewOption(direction, QTextOption::WrapAtWordBoundaryOrAnywhere));
    QList<QTextLine> lines;
    layout.beginLayout();
    for (int i = 0; i < maxLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, i * metrics.lineSpacing()));
        lines.append(line);
    }
    layout.endLayout();
    if (lines.isEmpty())
        return;

    const QTextLine last = lines.last();
    const qsizetype end = last.textStart() + last.textLength();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        lines[i].draw(painter, topLeft);
    if (!cut && !showsAnything(QStringView(shown).sliced(std::min(end, shown.size())))) {
        last.draw(painter, topLeft);
        return;
    }
    // The rest goes on the last line as far as it fits, isolated again: its start lies inside the run above.
    const QString rest = ServerText::isolated(shown.mid(last.textStart()));
    drawLine(painter, QPointF(topLeft) + QPointF(0, last.y()), width, metrics.elidedText(rest, Qt::ElideRight, width),
        direction);
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

AppRowDelegate::Layout AppRowDelegate::layout(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    Layout l;
    const QRect row = option.rect;
    const QRect area = row.adjusted(padding + 2, padding, -padding - 2, -padding);
    const qint64 unread = index.data(AppListModel::UnreadRole).toLongLong();
    const QFont caption = captionFont(option.font);
    const QFontMetrics nameMetrics(nameFont(option.font, unread));
    const QFontMetrics captionMetrics(caption);

    l.avatar = QRect(area.left(), area.center().y() - avatarSize / 2 + 1, avatarSize, avatarSize);
    const int left = l.avatar.right() + 1 + spacing;
    const int end = area.right() + 1; // the first column past the row's content
    const int lineHeight = nameMetrics.height();
    const int previewTop = area.top() + lineHeight + 2;

    // First line, from the right: time, then the mark right after the name, which is elided to leave room for both.
    int room = end - left;
    const QVariant ts = index.data(AppListModel::LatestTsRole);
    if (ts.isValid()) {
        l.timeText = RelativeTime::text(QDateTime::fromSecsSinceEpoch(ts.toLongLong()), QDateTime::currentDateTime());
        const int whenWidth = captionMetrics.horizontalAdvance(l.timeText);
        l.time = QRect(end - whenWidth, area.top(), whenWidth, lineHeight);
        room = l.time.left() - 4 - left;
    }
    const bool marked = index.data(AppListModel::HighPriorityRole).toBool();
    const int markSize = captionMetrics.ascent();
    if (marked)
        room -= markSize + 4;
    room = std::max(0, room);
    const QString name = ServerText::isolated(oneLine(index.data(Qt::DisplayRole).toString()));
    l.nameText = room > 0 ? nameMetrics.elidedText(name, Qt::ElideRight, room) : QString();
    const int nameWidth = std::min(room, nameMetrics.horizontalAdvance(l.nameText) + 1);
    l.name = QRect(left, row.top(), nameWidth, previewTop - row.top());
    l.nameLine = QRect(left, area.top(), nameWidth, lineHeight);
    if (marked)
        l.mark = QRect(left + nameWidth + 3, area.top() + (lineHeight - markSize) / 2, markSize, markSize);

    // Second line: the badge centred on the preview's first line, never reaching up into the name's.
    const int badgeWidth = RowPainter::badgeWidth(unread, caption);
    int previewEnd = end;
    if (badgeWidth > 0) {
        QFont bold = caption;
        bold.setBold(true);
        const int badgeHeight = QFontMetrics(bold).height() + 4; // the capsule's height as the row painter draws it
        const int centre = std::max(previewTop + captionMetrics.lineSpacing() / 2 + 1, previewTop + badgeHeight / 2);
        l.badge = QRect(end - badgeWidth, centre - badgeHeight / 2, badgeWidth, badgeHeight);
        previewEnd = l.badge.left() - 6;
    }
    l.preview = QRect(left, previewTop, std::max(0, previewEnd - left), row.bottom() + 1 - previewTop);
    // Laid out from the left, then mirrored: the avatar on the right, the time and the badge on the left.
    if (option.direction == Qt::RightToLeft) {
        for (QRect* part : { &l.avatar, &l.name, &l.mark, &l.time, &l.preview, &l.badge, &l.nameLine }) {
            if (!part->isNull())
                *part = QStyle::visualRect(Qt::RightToLeft, row, *part);
        }
    }
    return l;
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
    const qint64 unread = index.data(AppListModel::UnreadRole).toLongLong();
    const QFont caption = captionFont(option.font);

    painter->save();
    painter->setLayoutDirection(option.direction);
    if (index.row() == 0) {
        const QRect area = option.rect.adjusted(padding + 2, padding, -padding - 2, -padding);
        const auto mirrored
            = [&](const QRect& rect) { return QStyle::visualRect(option.direction, option.rect, rect); };
        const int iconSize = 20;
        const QRect iconRect(
            area.left() + (avatarSize - iconSize) / 2, area.center().y() - iconSize / 2 + 1, iconSize, iconSize);
        Icons::symbol(QStringLiteral("tray.full"))
            .paint(painter, mirrored(iconRect), Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
        const int badgeWidth = RowPainter::badgeWidth(unread, caption);
        const QRect badge = mirrored(QRect(area.right() - badgeWidth, area.top(), badgeWidth, area.height()));
        RowPainter::badge(painter, badge.right() + 1, area.center().y(), unread, caption, palette);
        painter->setPen(text);
        painter->setFont(option.font);
        const QRect label(area.left() + avatarSize + spacing, area.top(),
            area.width() - avatarSize - spacing - badgeWidth - 4, area.height());
        painter->drawText(QRectF(mirrored(label)),
            option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, label.width()),
            RowPainter::placed(Qt::AlignLeading | Qt::AlignVCenter, option.direction));
        painter->restore();
        return;
    }

    const Layout l = layout(option, index);
    RowPainter::avatar(painter, l.avatar, index.data(AppListModel::IconRole).value<QImage>(),
        index.data(AppListModel::ColourRole).value<QColor>(), index.data(Qt::DisplayRole).toString(), palette);

    if (!l.time.isEmpty()) {
        painter->setFont(caption);
        painter->setPen(secondary(palette, selected));
        painter->drawText(
            QRectF(l.time), l.timeText, RowPainter::placed(Qt::AlignTrailing | Qt::AlignVCenter, option.direction));
    }
    if (!l.mark.isEmpty())
        RowPainter::priorityMark(painter, l.mark, Colours::high());
    if (!l.badge.isEmpty())
        RowPainter::badge(
            painter, l.badge.left() + l.badge.width(), l.badge.top() + l.badge.height() / 2, unread, caption, palette);

    // The texts are clipped to their parts as well as elided: a glyph that reaches past its advance, or a font
    // taller than the line's, still paints over nothing else.
    painter->save();
    painter->setClipRect(l.name, Qt::IntersectClip);
    painter->setFont(nameFont(option.font, unread));
    painter->setPen(text);
    painter->drawText(l.nameLine, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextDontClip, l.nameText);
    painter->restore();

    painter->setClipRect(l.preview, Qt::IntersectClip);
    QFont previewFont = caption;
    previewFont.setWeight(unread > 0 ? QFont::Medium : QFont::Normal);
    painter->setFont(previewFont);
    painter->setPen(unread > 0 ? text : secondary(palette, selected));
    drawPreview(painter, l.preview.topLeft(), l.preview.width(), index.data(AppListModel::PreviewRole).toString(), 2,
        option.direction);
    painter->restore();
}

} // namespace tidewell
