// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <QToolButton>

class QActionGroup;

namespace tidewell {

// A list's sort picker: a tool button that drops down a menu of exclusive choices under a section title. The
// choices are told apart by their position, in the order they were added; the pane maps them to its sort orders.
class SortButton : public QToolButton
{
    Q_OBJECT
public:
    SortButton(const QString& title, const QString& picker, QWidget* parent);

    void addChoice(const QIcon& icon, const QString& text);
    // Checks the choice at `index` without announcing it; the state already holds it.
    void setCurrent(qsizetype index);

signals:
    void chosen(qsizetype index);

private:
    QActionGroup* m_group;
};

} // namespace tidewell
