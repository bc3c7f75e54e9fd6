// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

namespace tidewell {

// The centred note a pane shows when it has nothing to list: a large icon, a title and an optional description.
class EmptyState : public QWidget
{
    Q_OBJECT
public:
    explicit EmptyState(QWidget* parent = nullptr);

    void present(const QString& symbol, const QString& title, const QString& description = {});
    QString title() const;
    QString symbol() const { return m_symbol; }
    QString description() const;

private:
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_description;
    QString m_symbol;
};

} // namespace tidewell
