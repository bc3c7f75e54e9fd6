// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/banner.h"

#include "ui/icons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

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
    // The buttons go under the text, at its trailing end: beside it they would leave a narrow pane (half a screen,
    // or a longer translation of their labels) no room for the text.
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->addWidget(m_text);
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch(1);
    column->addLayout(m_buttons);
    m_layout->addLayout(column, 1);
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

void Banner::setText(const QString& text)
{
    m_text->setText(text);
    setAccessibleName(text);
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
    return button;
}

} // namespace tidewell
