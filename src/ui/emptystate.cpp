// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/emptystate.h"

#include "ui/icons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tidewell {

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_title(new QLabel(this))
    , m_description(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 20, 40, 20);
    layout->addStretch();
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    QFont font = m_title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setWeight(QFont::DemiBold);
    m_title->setFont(font);
    m_title->setObjectName(QStringLiteral("emptyTitle"));
    m_description->setForegroundRole(QPalette::PlaceholderText);
    m_description->setObjectName(QStringLiteral("emptyDescription"));
    // Both texts take the pane's full width and wrap at its edge, so that a narrow pane (half a screen in a tiling
    // compositor, or a long translation) shows them whole instead of cutting them at both sides.
    for (QLabel* text : { m_title, m_description }) {
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignHCenter);
        layout->addWidget(text);
    }
    layout->addStretch();
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void EmptyState::present(const QString& symbol, const QString& title, const QString& description)
{
    m_symbol = symbol;
    m_icon->setPixmap(Icons::symbol(symbol).pixmap(48, 48, QIcon::Disabled));
    m_title->setText(title);
    m_description->setText(description);
    m_description->setVisible(!description.isEmpty());
    setAccessibleName(title);
    QWidget::show();
}

QString EmptyState::title() const
{
    return m_title->text();
}

QString EmptyState::description() const
{
    return m_description->text();
}

} // namespace tidewell
