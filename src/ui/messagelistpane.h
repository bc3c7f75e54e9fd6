// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/messagelistview.h"
#include "ui/sortbutton.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>
#include <optional>

class QAction;
class QContextMenuEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QToolBar;
class QVBoxLayout;

namespace tidewell {

class AppState;
class EmptyState;
class ListProjection;
class MessageListModel;

// The detail pane: its header (title, "Mark All Read", the message ordering and whatever the window adds), the
// search field, room for banners, and the list of messages with its empty states. The state's selected message
// is kept in view.
class MessageListPane : public QWidget
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString markAllRead();
        static QString markAllReadHelp(qint64 unread);
        static QString sortMenu();
        static QString sortPicker();
        static QString searchPrompt(const QString& title);
        static QString deleteMessage();
        static QString copyText();
        static QString openLink();
        static QString noResults();
        static QString noMessages();
    };

    MessageListPane(AppState& state, ListProjection& projection, QWidget* parent = nullptr);

    MessageListView* view() const { return m_view; }
    MessageListModel* model() const { return m_model; }
    QLineEdit* searchField() const { return m_search; }
    QAction* markAllReadAction() const { return m_markAllRead; }
    SortButton* sortButton() const { return m_sort; }
    EmptyState* emptyState() const { return m_empty; }
    QString title() const;
    // Adds an action to the header, after the pane's own.
    void addHeaderAction(QAction* action);
    // Puts `banners` between the header and the list.
    void setBanners(QWidget* banners);

    void focusSearch();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateTitle();
    void keepHeaderRoom();
    void updateMarkAllRead();
    void updateEmptyState();
    void revealSelected();
    void rememberTop();
    void restoreTop();
    void deleteCurrent();
    void copyCurrent();
    void openCurrentLink();
    void showContextMenu(const QModelIndex& index, const QPoint& at);
    bool contextMenuEvent(QObject* watched, QContextMenuEvent* event);
    bool searchKeyEvent(QKeyEvent* event);
    bool isRightClickBelowTheRows(QEvent* event) const;
    void restoreCurrent();
    // Makes a tapped message that is now listed the current row; says whether there was one.
    bool takeTapped();
    void followTap();
    // Makes `row` the current and only selected row; `scroll` brings it into view.
    void setCurrentRow(int row, bool scroll);
    static QCoro::Task<> settleDelete(QPointer<MessageListPane> self, QCoro::Task<> deletion, qint64 messageId);

    AppState& m_state;
    ListProjection& m_projection;
    MessageListModel* m_model;
    QToolBar* m_header;
    QLabel* m_title;
    QAction* m_markAllRead;
    SortButton* m_sort;
    QLineEdit* m_search;
    QVBoxLayout* m_layout;
    MessageListView* m_view;
    EmptyState* m_empty;
    std::optional<qint64> m_topId; // the row at the top before the list was made anew; none when at the very top
    int m_topOffset = 0; // how far that row was scrolled above the top
    std::optional<qint64> m_deleting; // the message whose delete is in flight
    std::optional<qint64> m_currentId; // the current row's message, kept through a list made anew
    std::optional<qint64> m_tappedId; // a tapped message not listed yet, to become current when it is
    bool m_rebuilding = false; // between the model's reset and its end, when rows are not what the view shows
};

} // namespace tidewell
