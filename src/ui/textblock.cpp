#include "textblock.h"

#include <QPainter>
#include <QTextOption>

#include <cmath>

namespace tidewell {

TextBlock::TextBlock(const QString& text, const QFont& font, int width)
    : m_source(text)
{
    // Line breaks end lines, as they do when the painter draws a text: the layout keeps them only as separators.
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    lines.replace(QLatin1Char('\r'), QChar::LineSeparator);
    m_layout.setText(lines);
    m_layout.setFont(font);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout.setTextOption(option);
    m_layout.setCacheEnabled(true);
    qreal y = 0;
    qreal widest = 0;
    m_layout.beginLayout();
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    m_layout.endLayout();
    m_height = int(std::ceil(y));
    m_width = int(std::ceil(widest));
}

void TextBlock::draw(QPainter* painter, const QPoint& topLeft) const
{
    const QRectF clip = painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
    m_layout.draw(painter, topLeft, {}, clip);
}

} // namespace tidewell
