// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/banner.h"

#include "ui/icons.h"

#include <QBoxLayout>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace tidewell {

Banner::Banner(const QString& symbol, const QColor& textColour, QWidget* parent)
    : QFrame(parent)
    , m_text(new QLabel(this))
    , m_layout(new QHBoxLayout(this))
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    setFrameShape(QFrame::NoFrame);
    m_layout->setContentsMargins(
        style()->pixelMetric(QStyle::PM_LayoutLeftMargin), 8, style()->pixelMetric(QStyle::PM_LayoutRightMargin), 8);
    m_layout->setSpacing(8);
    auto* icon = new QLabel(this);
    const int size = fontMetrics().height();
    icon->setPixmap(Icons::symbol(symbol).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    m_layout->addWidget(icon);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (textColour.isValid()) {
        QPalette palette = m_text->palette();
        palette.setColor(QPalette::WindowText, textColour);
        m_text->setPalette(palette);
    } else {
        m_text->setForegroundRole(QPalette::PlaceholderText);
    }
    // Under the text, the buttons keep to its trailing end: beside it they would leave a narrow pane (half a screen,
    // or a longer translation of their labels) no room for the text. Beside it, a short line leaves a wide window no
    // empty row.
    m_column = new QBoxLayout(QBoxLayout::TopToBottom);
    m_column->setSpacing(6);
    m_column->addWidget(m_text, 1);
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch(1);
    m_column->addLayout(m_buttons);
    m_layout->addLayout(m_column, 1);
    alignText();
}

// The text keeps beside its icon in either layout direction. A wrapped label would align it by the direction of its
// own characters instead, which leaves an English text in a right-to-left window at the far side, by the buttons.
void Banner::alignText()
{
    const Qt::Alignment side = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    m_text->setAlignment(side | Qt::AlignAbsolute | Qt::AlignVCenter);
}

void Banner::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange)
        alignText();
    QFrame::changeEvent(event);
}

void Banner::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    placeButtons();
}

// Decided from the width alone, so that moving the buttons, which changes only the height, never reverses it.
void Banner::placeButtons()
{
    const QMargins margins = m_layout->contentsMargins();
    const int room
        = width() - margins.left() - margins.right() - m_layout->spacing() - m_layout->itemAt(0)->sizeHint().width();
    const int line = m_text->fontMetrics().horizontalAdvance(m_text->text()) + m_text->contentsMargins().left()
        + m_text->contentsMargins().right() + 2 * m_text->margin();
    const bool beside = m_buttons->count() > 1 && line + m_column->spacing() + m_buttons->sizeHint().width() <= room;
    const auto direction = beside ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (m_column->direction() != direction)
        m_column->setDirection(direction);
}

void Banner::setText(const QString& text)
{
    m_text->setText(text);
    setAccessibleName(text);
    placeButtons();
}

QString Banner::text() const
{
    return m_text->text();
}

QPushButton* Banner::addButton(const QString& text, const QString& objectName)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    m_buttons->addWidget(button);
    placeButtons();
    return button;
}

} // namespace tidewell
