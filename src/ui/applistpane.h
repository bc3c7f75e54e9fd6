// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/sortbutton.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QTreeView;

namespace tidewell {

class AppListModel;
class AppState;
class ListProjection;

// The sidebar: its header (title, the application ordering, settings) and the list of applications, whose single
// selection is the state's selected application both ways.
class AppListPane : public QWidget
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString title();
        static QString sortMenu();
        static QString sortPicker();
        static QString settings();
        static QString clearHistory();
        static QString clearHistoryTitle(const QString& name);
        static QString clearHistoryMessage();
        static QString cancel();
    };

    AppListPane(AppState& state, ListProjection& projection, QWidget* parent = nullptr);

    QTreeView* view() const { return m_view; }
    AppListModel* model() const { return m_model; }
    SortButton* sortButton() const { return m_sort; }

signals:
    void settingsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSelection();
    void selectRow(const QModelIndex& index);
    void showContextMenu(const QModelIndex& index, const QPoint& at);
    void confirmClear(qint64 applicationId, const QString& name);

    AppState& m_state;
    AppListModel* m_model;
    QTreeView* m_view;
    SortButton* m_sort;
    QTimer m_clock; // keeps the relative times current
    bool m_showingSelection = false;
    QPointer<QMessageBox> m_clearConfirmation;
};

} // namespace tidewell
