// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/rowpainter.h"

#include "lists/listpresentation.h"
#include "ui/colours.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStyle>

namespace tidewell {

void RowPainter::avatar(QPainter* painter, const QRect& rect, const QImage& icon, const QColor& colour,
    const QString& name, const QPalette& palette)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect));
    if (!icon.isNull()) {
        painter->setClipPath(circle);
        painter->drawImage(rect, icon);
    } else {
        painter->fillPath(circle, colour.isValid() ? colour : palette.color(QPalette::Highlight));
        if (!name.isEmpty()) {
            QFont font = painter->font();
            font.setPixelSize(std::max(1, rect.height() / 2));
            font.setWeight(QFont::DemiBold);
            painter->setFont(font);
            painter->setPen(Colours::onFill());
            // The first character as the user sees it, a surrogate pair kept whole; uppercased without a locale.
            const qsizetype length = name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1;
            painter->drawText(rect, Qt::AlignCenter, name.left(length).toUpper());
        }
    }
    painter->restore();
}

namespace {

// The badge's capsule: the text with room around it, never narrower than it is high.
int capsuleWidth(const QFontMetrics& metrics, const QString& text)
{
    return std::max(metrics.horizontalAdvance(text) + 12, metrics.height() + 4);
}

} // namespace

int RowPainter::badgeWidth(qint64 count, const QFont& font)
{
    const std::optional<QString> text = ListPresentation::badgeText(count);
    if (!text)
        return 0;
    QFont bold = font;
    bold.setBold(true);
    return capsuleWidth(QFontMetrics(bold), *text);
}

int RowPainter::badge(
    QPainter* painter, int right, int centreY, qint64 count, const QFont& font, const QPalette& palette)
{
    const std::optional<QString> text = ListPresentation::badgeText(count);
    if (!text)
        return 0;
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int height = metrics.height() + 4;
    const int width = capsuleWidth(metrics, *text);
    const QRect capsule(right - width, centreY - height / 2, width, height);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette.color(QPalette::Highlight));
    painter->drawRoundedRect(QRectF(capsule), height / 2.0, height / 2.0);
    painter->setFont(bold);
    painter->setPen(palette.color(QPalette::HighlightedText));
    painter->drawText(capsule, Qt::AlignCenter, *text);
    painter->restore();
    return width;
}

void RowPainter::priorityMark(QPainter* painter, const QRect& rect, const QColor& colour)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawEllipse(QRectF(rect));
    painter->setPen(QPen(Colours::onFill(), std::max(1.5, rect.width() / 7.0), Qt::SolidLine, Qt::RoundCap));
    const QPointF centre = QRectF(rect).center();
    const double h = rect.height();
    painter->drawLine(QPointF(centre.x(), rect.top() + h * 0.25), QPointF(centre.x(), rect.top() + h * 0.58));
    painter->drawPoint(QPointF(centre.x(), rect.top() + h * 0.75));
    painter->restore();
}

QTextOption RowPainter::placed(Qt::Alignment alignment, Qt::LayoutDirection direction)
{
    QTextOption option(QStyle::visualAlignment(direction, alignment) | Qt::AlignAbsolute);
    option.setTextDirection(Qt::LayoutDirectionAuto);
    option.setWrapMode(QTextOption::NoWrap);
    return option;
}

} // namespace tidewell
