#pragma once

#include <QTextLayout>

namespace tidewell {

// Text broken into lines at a width, with its lines kept: a message of thousands of lines is laid out once, and a
// repaint draws only the lines inside the painter's clip. A word too long for the width is broken wherever it must
// be, so that the whole of any text can be read.
class TextBlock
{
public:
    TextBlock(const QString& text, const QFont& font, int width);
    TextBlock(const TextBlock&) = delete;
    TextBlock& operator=(const TextBlock&) = delete;

    const QString& source() const { return m_source; }
    int height() const { return m_height; }
    int width() const { return m_width; } // the widest line's
    int lineCount() const { return m_layout.lineCount(); }
    // Draws the lines that meet the painter's clip (all of them when it has none), the first at `topLeft`.
    void draw(QPainter* painter, const QPoint& topLeft) const;

private:
    QString m_source;
    QTextLayout m_layout;
    int m_height = 0;
    int m_width = 0;
};

} // namespace tidewell
