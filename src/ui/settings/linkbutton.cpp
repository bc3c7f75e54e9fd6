// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/linkbutton.h"

#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace tidewell {

namespace {

// Room around the text for the focus frame.
constexpr int padding = 4;

} // namespace

LinkButton::LinkButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    QFont font = this->font();
    font.setUnderline(true);
    setFont(font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize LinkButton::sizeHint() const
{
    const QRect line = fontMetrics().boundingRect(QRect(), Qt::TextShowMnemonic, text());
    return QSize(line.width(), line.height()) + QSize(2 * padding, 2 * padding);
}

// The widest word: any narrower and a word would be cut.
QSize LinkButton::minimumSizeHint() const
{
    int widest = 0;
    for (const QString& word : text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        widest = std::max(widest, fontMetrics().horizontalAdvance(word));
    return QSize(widest + 2 * padding, fontMetrics().height() + 2 * padding);
}

bool LinkButton::hasHeightForWidth() const
{
    return true;
}

int LinkButton::heightForWidth(int width) const
{
    const QRect wrapped = fontMetrics().boundingRect(
        QRect(0, 0, std::max(1, width - 2 * padding), 0), Qt::TextWordWrap | Qt::TextShowMnemonic, text());
    return wrapped.height() + 2 * padding;
}

QRect LinkButton::textArea(int width) const
{
    return QRect(padding, padding, width - 2 * padding, height() - 2 * padding);
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    const QRect area = textArea(width());
    const Qt::Alignment side = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    painter.drawItemText(area,
        int(side | Qt::AlignAbsolute | Qt::AlignVCenter) | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(),
        isEnabled(), text(), QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace tidewell
