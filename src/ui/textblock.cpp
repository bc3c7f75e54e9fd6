// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/textblock.h"

#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace tidewell {

// Line breaks end lines, as they do when the painter draws a text: the layout keeps them only as separators.
QString TextBlock::withLineSeparators(const QString& text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    lines.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return lines;
}

QTextOption TextBlock::option(Qt::LayoutDirection direction)
{
    // A layout's alignment is not mirrored by its direction: the leading edge is named.
    QTextOption option((direction == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
    option.setTextDirection(direction);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

namespace {

// Lays out `layout` at `width` and returns the height and the widest line, calling `each` for every line.
template <typename Each> std::pair<qreal, qreal> layOut(QTextLayout& layout, int width, Each each)
{
    qreal y = 0;
    qreal widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, y));
        each(line, y);
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return { y, widest };
}

} // namespace

TextBlock::TextBlock(const QString& text, const QFont& font, int width, Qt::LayoutDirection direction)
    : m_source(text)
    , m_direction(direction)
{
    m_layout.setText(withLineSeparators(text));
    m_layout.setFont(font);
    m_layout.setTextOption(option(direction));
    m_layout.setCacheEnabled(true);
    const auto [height, widest] = layOut(m_layout, width, [](const QTextLine&, qreal) {});
    m_height = int(std::ceil(height));
    m_width = int(std::ceil(widest));
}

TextBlock::TextBlock(
    const QString& text, const QFont& font, int width, qsizetype headChars, Qt::LayoutDirection direction)
    : TextBlock(text.size() > headChars ? [&] {
        const qsizetype breakAt = text.lastIndexOf(QLatin1Char('\n'), headChars);
        return text.left(breakAt > headChars / 2 ? breakAt : headChars);
    }()
                                        : text,
        font, width, direction)
{
    if (text.size() > m_source.size()) {
        m_height = int(qint64(m_height) * text.size() / std::max<qsizetype>(1, m_source.size()));
        m_source = text;
        m_complete = false;
    }
}

TextBlock::TextBlock(const QString& text, const QFont& font, int width, Lines lines, Qt::LayoutDirection direction)
    : m_source(text)
    , m_width(lines.width)
    , m_lines(std::move(lines.lines))
    , m_laidOutText(std::move(lines.laidOutText))
    , m_font(font)
    , m_lineWidth(width)
    , m_direction(direction)
{
    if (!m_lines.empty())
        m_height = m_lines.back().y + m_lines.back().height;
}

TextBlock::Lines TextBlock::breakLines(const QString& text, const QString& fontDescription, int width)
{
    QFont font;
    font.fromString(fontDescription);
    Lines found;
    found.laidOutText = withLineSeparators(text);
    QTextLayout layout(found.laidOutText, font);
    layout.setTextOption(option(Qt::LeftToRight)); // where lines break does not depend on where they are aligned
    const auto [height, widest] = layOut(layout, width, [&](const QTextLine& line, qreal y) {
        found.lines.push_back({ line.textStart(), line.textLength(), int(std::lround(y)), 0 });
    });
    // Heights from the rounded tops, so that the lines tile without gaps.
    for (size_t i = 0; i < found.lines.size(); ++i) {
        const int next = i + 1 < found.lines.size() ? found.lines[i + 1].y : int(std::ceil(height));
        found.lines[i].height = next - found.lines[i].y;
    }
    found.width = int(std::ceil(widest));
    return found;
}

void TextBlock::draw(QPainter* painter, const QPoint& topLeft) const
{
    const QRectF clip = painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
    if (m_lines.empty()) {
        m_layout.draw(painter, topLeft, {}, clip);
        return;
    }
    // Only the lines in the clip are laid out, starting from a line's start so that they break as they did.
    const qreal top = clip.isNull() ? topLeft.y() : clip.top();
    const qreal bottom = clip.isNull() ? topLeft.y() + m_height : clip.bottom();
    const auto below = [&](const Line& line, qreal y) { return topLeft.y() + line.y + line.height <= y; };
    const auto first = std::lower_bound(m_lines.begin(), m_lines.end(), top, below);
    if (first == m_lines.end())
        return;
    auto last = std::lower_bound(first, m_lines.end(), bottom, below);
    if (last == m_lines.end())
        --last;
    const size_t from = size_t(first - m_lines.begin());
    const size_t to = size_t(last - m_lines.begin());
    if (!m_window || m_windowFirst != from || m_windowLast != to) {
        const qsizetype start = first->start;
        m_window = std::make_unique<QTextLayout>(m_laidOutText.mid(start, last->start + last->length - start), m_font);
        m_window->setTextOption(option(m_direction));
        layOut(*m_window, m_lineWidth, [](const QTextLine&, qreal) {});
        m_windowFirst = from;
        m_windowLast = to;
    }
    m_window->draw(painter, QPointF(topLeft.x(), topLeft.y() + first->y), {}, clip);
}

} // namespace tidewell
