// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QTextLayout>

#include <memory>
#include <vector>

namespace tidewell {

// Text broken into lines at a width, with its lines kept: a message of thousands of lines is laid out once, and a
// repaint draws only the lines inside the painter's clip. A word too long for the width is broken wherever it must
// be, so that the whole of any text can be read. The lines start at the leading edge of the layout's direction, the
// right one in a right-to-left layout; a text of the server's comes isolated, so it keeps its own order in either.
//
// A long text can be broken into lines on another thread (`breakLines`): only where each line starts and how tall
// it is comes back, since a layout made on one thread cannot be drawn on another. Such a block lays out again, on
// the thread that draws it, just the lines a repaint shows.
class TextBlock
{
public:
    struct Line
    {
        qsizetype start = 0, length = 0; // in the text as laid out (line breaks as separators)
        int y = 0, height = 0;
    };
    struct Lines
    {
        std::vector<Line> lines;
        int width = 0; // the widest line's
        QString laidOutText; // the text the lines index, so that it is made once
    };

    TextBlock(const QString& text, const QFont& font, int width, Qt::LayoutDirection direction = Qt::LeftToRight);
    // Lays out only the beginning of a text longer than `headChars` (ending at a line break where one is near), and
    // takes the rest to be as tall, for its length, as that beginning: something to show while the whole is broken
    // into lines elsewhere.
    TextBlock(const QString& text, const QFont& font, int width, qsizetype headChars,
        Qt::LayoutDirection direction = Qt::LeftToRight);
    // The whole text, from lines that `breakLines` found for it with the same font and width.
    TextBlock(const QString& text, const QFont& font, int width, Lines lines,
        Qt::LayoutDirection direction = Qt::LeftToRight);
    TextBlock(const TextBlock&) = delete;
    TextBlock& operator=(const TextBlock&) = delete;

    // Where the lines of `text` break at `width` in the font `fontDescription` (QFont::toString()). Safe on any
    // thread: it makes a font and a layout of its own.
    static Lines breakLines(const QString& text, const QString& fontDescription, int width);

    const QString& source() const { return m_source; }
    int height() const { return m_height; }
    int width() const { return m_width; } // the widest line's
    bool isComplete() const { return m_complete; }
    // Draws the lines that meet the painter's clip (all of them when it has none), the first at `topLeft`.
    void draw(QPainter* painter, const QPoint& topLeft) const;

private:
    static QString withLineSeparators(const QString& text);
    static QTextOption option(Qt::LayoutDirection direction);

    QString m_source;
    QTextLayout m_layout; // the whole text, unless it is drawn from `m_lines`
    int m_height = 0;
    int m_width = 0;
    bool m_complete = true;
    // A text broken elsewhere: its lines, its font and width, and the lines last laid out to be drawn.
    std::vector<Line> m_lines;
    QString m_laidOutText;
    QFont m_font;
    int m_lineWidth = 0;
    Qt::LayoutDirection m_direction = Qt::LeftToRight;
    mutable std::unique_ptr<QTextLayout> m_window;
    mutable size_t m_windowFirst = 0, m_windowLast = 0;
};

} // namespace tidewell
