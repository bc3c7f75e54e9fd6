// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sortbutton.h"

#include "ui/icons.h"

#include <QActionGroup>
#include <QMenu>

namespace tidewell {

SortButton::SortButton(const QString& title, const QString& picker, QWidget* parent)
    : QToolButton(parent)
{
    auto* menu = new QMenu(title, this);
    menu->addSection(picker);
    m_group = new QActionGroup(menu);
    setMenu(menu);
    setPopupMode(QToolButton::InstantPopup);
    setIcon(Icons::symbol(QStringLiteral("arrow.up.arrow.down")));
    setToolTip(title);
    setAccessibleName(title);
}

void SortButton::addChoice(const QIcon& icon, const QString& text)
{
    QAction* choice = menu()->addAction(icon, text);
    choice->setCheckable(true);
    const qsizetype index = m_group->actions().size();
    m_group->addAction(choice);
    connect(choice, &QAction::triggered, this, [this, index] { emit chosen(index); });
}

void SortButton::setCurrent(qsizetype index)
{
    const QList<QAction*> choices = m_group->actions();
    for (qsizetype i = 0; i < choices.size(); ++i)
        choices[i]->setChecked(i == index);
}

} // namespace tidewell
