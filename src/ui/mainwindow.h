// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <memory>

class QAction;

class QSplitter;
class QStackedWidget;

namespace tidewell {

class AppListPane;
class AppState;
class Banner;
class EmptyState;
class ListProjection;
class MessageListPane;

// The one main window: applications beside their messages (or, with nothing to show, a note that points to the
// settings), the offline and error banners, the confirmation of a link URL, and the application's menus. Closing
// it only hides it: Tidewell goes on syncing and notifying until "Quit Tidewell".
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString windowTitle();
        static QString notConfigured();
        static QString notConfiguredDescription();
        static QString settings();
        static QString sync();
        static QString refresh();
        static QString offline();
        static QString dismiss();
        static QString linkTitle();
        static QString linkMessage(const QUrl& serverURL);
        static QString link();
        static QString cancel();
        static QString markAllRead();
        static QString pasteLink();
        static QString find();
        static QString quit();
        static QString closeWindow();
        static QString settingsItem();
    };

    explicit MainWindow(AppState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows the window, restored and in front, as a launch, a notification click or a hand-over asks.
    void showAndRaise();

    // The application-wide commands, for the other windows to carry too.
    QList<QAction*> applicationActions() const;

    ListProjection& projection() const { return *m_projection; }
    AppListPane* appList() const { return m_appList; }
    MessageListPane* messageList() const { return m_messageList; }
    QMessageBox* linkConfirmation() const { return m_confirmation; }

signals:
    void settingsRequested();
    void quitRequested();
    // The user closed the window; Tidewell runs on.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void updateDetail();
    void updateBanners();
    void updateSyncEnabled();
    void showLinkConfirmation();
    void widenLinkConfirmation();
    void pasteLink();
    void start();

    AppState& m_state;
    std::unique_ptr<ListProjection> m_projection;
    QSplitter* m_splitter;
    AppListPane* m_appList;
    QStackedWidget* m_detail;
    QWidget* m_placeholder;
    EmptyState* m_placeholderNote;
    MessageListPane* m_messageList;
    Banner* m_offline;
    Banner* m_error;
    QAction* m_sync;
    QAction* m_refresh;
    QAction* m_markAllRead;
    QAction* m_settings;
    QAction* m_quit;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace tidewell
