// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "lists/listpresentation.h"
#include "lists/listrules.h"
#include "memorycredentialstore.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "sync/syncerror.h"
#include "triggeraction.h"
#include "ui/applistmodel.h"
#include "ui/applistpane.h"
#include "ui/approwdelegate.h"
#include "ui/banner.h"
#include "ui/emptystate.h"
#include "ui/icons.h"
#include "ui/mainwindow.h"
#include "ui/messagelistmodel.h"
#include "ui/messagelistpane.h"
#include "ui/messagelistview.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using namespace tidewell;

namespace {

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };
const QString linkSecret = u"abcdefghijklmnopqrstuvwxyz0123456789ABCD"_qs;

QList<qint64> listedIds(const QAbstractItemModel& model)
{
    QList<qint64> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.append(model.index(row, 0).data(MessageListModel::MessageIdRole).toLongLong());
    return ids;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void detailPane_data();
    void detailPane();
    void banners();
    void bannerButtonsBesideOrUnderTheText_data();
    void bannerButtonsBesideOrUnderTheText();
    void linkConfirmation_data();
    void linkConfirmation();
    void linkConfirmationEscapeLeavesNothingPending();
    void pastedLinkRaisesTheConfirmation();
    void syncEnabledRule();
    void markAllReadRule();
    void emptyStates();
    void textsWrapInANarrowWindow_data();
    void textsWrapInANarrowWindow();
    void iconsPreferSymbolicThemeIcons_data();
    void iconsPreferSymbolicThemeIcons();
    void notificationClickThatShowsTheWindow();
    void aSyncKeepsTheCurrentMessage();
    void deleteMovesToTheNeighbour_data();
    void deleteMovesToTheNeighbour();
    void escapeInTheSearchField();
    void contextMenuBelowTheRows_data();
    void contextMenuBelowTheRows();
    void clearHistoryAsksFirst();
    void linkConfirmationIsWideEnough();
    void refreshDuringASyncAddsOnePass();
    void startTaskOnEveryShowing();
    void sortChangeReorders();
    void badgesAndAccessibleNames();
    void notificationClickSelectsAndReveals();
    void aSyncDoesNotMoveWhatIsBeingRead();
    void sidebarSelectionBindsBothWays();
    void keyboardDeletesAndCopies();
    void modelsStayConsistentWhileTheCacheChanges();
    void readPositionIsOneChangeInEachList();
    void currentRowFollowsRandomCommits_data();
    void currentRowFollowsRandomCommits();
    // The server's texts, of any content, length and direction, in the sidebar and the message list.
    void sidebarRowKeepsHostileTextsInTheirPlace_data();
    void sidebarRowKeepsHostileTextsInTheirPlace();
    void serverTextsInTheModels_data();
    void serverTextsInTheModels();
    void accessibleNameOfAnyName_data();
    void accessibleNameOfAnyName();

private:
    // Applications 1 "Backups" and 2 "Deploys"; messages 1..`count`, odd ids in application 1, even in 2.
    void serve(int count);
    void makeWindow(bool configured, bool syncFirst = true);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_client->serverApps
        = { { 1, u"Backups"_qs, u"#336699"_qs, false }, { 2, u"Deploys"_qs, u"not-a-colour"_qs, false } };
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_state.reset();
}

void TestMainWindow::serve(int count)
{
    for (qint64 id = 1; id <= count; ++id)
        m_client->addMessage(makeMessage(id, id % 2 ? 1 : 2, 1000 + id, u"body %1"_qs.arg(id), u"title %1"_qs.arg(id)));
}

void TestMainWindow::makeWindow(bool configured, bool syncFirst)
{
    if (configured)
        QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
    m_prefs->file().setValue("lastReadId", 0);
    m_state = std::make_unique<AppState>(false, scriptedServices(m_credentials, *m_prefs, m_client));
    if (configured && syncFirst)
        await(m_state->sync());
    m_window = std::make_unique<MainWindow>(*m_state);
}

void TestMainWindow::detailPane_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<bool>("cached");
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("offline");
    QTest::newRow("not linked, nothing cached") << false << false << u"placeholder"_qs << false;
    QTest::newRow("not linked, messages cached") << false << true << u"messagePane"_qs << true;
    QTest::newRow("linked") << true << true << u"messagePane"_qs << false;
}

void TestMainWindow::detailPane()
{
    QFETCH(bool, configured);
    QFETCH(bool, cached);
    QFETCH(QString, page);
    QFETCH(bool, offline);
    serve(4);
    if (cached && !configured) {
        // Cached by an earlier link, now gone.
        makeWindow(true);
        await(m_state->unlink());
        m_state->cache().insert(CachedMessage(makeMessage(1, 1)));
        m_state->cache().save();
    } else {
        makeWindow(configured);
    }
    auto* detail = m_window->findChild<QStackedWidget*>();
    QVERIFY(detail);
    const QString shown = detail->currentWidget() == m_window->messageList() ? u"messagePane"_qs : u"placeholder"_qs;
    QCOMPARE(shown, page);
    if (page == u"placeholder") {
        auto* note = m_window->findChild<EmptyState*>(u"notConfigured"_qs);
        QCOMPARE(note->title(), u"Not Configured"_qs);
        QCOMPARE(note->description(),
            u"Open Settings and choose \u201cLink this Computer\u201d to approve this device in your browser."_qs);
        QCOMPARE(note->symbol(), u"gear"_qs);
    }
    if (page == u"messagePane")
        QCOMPARE(m_window->findChild<Banner*>(u"offlineBanner"_qs)->isVisibleTo(m_window->messageList()), offline);
}

void TestMainWindow::banners()
{
    serve(2);
    makeWindow(true);
    m_window->show();
    auto* error = m_window->findChild<Banner*>(u"errorBanner"_qs);
    auto* offline = m_window->findChild<Banner*>(u"offlineBanner"_qs);
    QVERIFY(!error->isVisible());
    QVERIFY(!offline->isVisible());
    QCOMPARE(offline->text(), u"Showing cached messages \u2014 link this device in Settings to sync."_qs);

    m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    await(m_state->sync());
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), *m_state->lastSyncError());

    QSignalSpy settings(m_window.get(), &MainWindow::settingsRequested);
    error->findChild<QPushButton*>(u"errorSettings"_qs)->click();
    QCOMPARE(settings.size(), 1);
    QVERIFY(error->isVisible()); // Settings leaves the error shown
    error->findChild<QPushButton*>(u"dismissError"_qs)->click();
    QCOMPARE(m_state->lastSyncError(), std::nullopt);
    QVERIFY(!error->isVisible());

    // Unlinked, with a failure shown: both banners, the offline one first.
    await(m_state->unlink());
    m_state->cache().insert(CachedMessage(makeMessage(9, 1))); // cached by an earlier link
    m_state->cache().save();
    m_credentials.failAdds(CredentialStore::Placement::Primary, 1);
    m_credentials.failAdds(CredentialStore::Placement::Fallback, 1);
    QVERIFY(!await(m_state->configure(QUrl(u"https://other.example"_qs), linkSecret)));
    QVERIFY(offline->isVisible());
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), u"Couldn't save the device credential to the keyring \u2014 try linking again."_qs);
    QVERIFY(offline->y() < error->y());
}

void TestMainWindow::bannerButtonsBesideOrUnderTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("beside");
    const QString shortText = u"Connection refused"_qs;
    const QString longText = u"Sync stopped because the server returned a repeated page. Try again after checking "
                             "the server."_qs;
    QTest::newRow("short line, wide") << shortText << 900 << true;
    QTest::newRow("short line, narrow") << shortText << 260 << false;
    QTest::newRow("long line, half a screen") << longText << 640 << false;
    QTest::newRow("long line, very wide") << longText << 1400 << true;
}

// A short error beside its buttons costs a wide window no extra row; a line that would have to wrap beside them
// gets the whole width, with the buttons under it.
void TestMainWindow::bannerButtonsBesideOrUnderTheText()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, beside);
    Banner banner(u"exclamationmark.triangle"_qs, QColor());
    banner.setText(text);
    QPushButton* dismiss = banner.addButton(u"Dismiss"_qs, u"dismiss"_qs);
    QPushButton* settings = banner.addButton(u"Settings"_qs, u"settings"_qs);
    banner.resize(width, banner.heightForWidth(width));
    banner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&banner));
    banner.resize(width, banner.heightForWidth(width));
    QCoreApplication::processEvents();

    const QList<QLabel*> labels = banner.findChildren<QLabel*>();
    const auto found = std::find_if(labels.begin(), labels.end(), [&](QLabel* each) { return each->text() == text; });
    QVERIFY(found != labels.end());
    const QLabel* label = *found;
    const QRect textRect = label->geometry();
    QCOMPARE(dismiss->geometry().top() >= textRect.bottom(), !beside);
    QCOMPARE(dismiss->geometry().left() > textRect.right(), beside);
    QVERIFY(dismiss->geometry().right() < settings->geometry().left());
    QVERIFY(banner.rect().contains(settings->geometry()));
    // Nothing of the text is cut, whichever way the buttons went.
    QVERIFY2(label->heightForWidth(textRect.width()) <= textRect.height(),
        qPrintable(u"%1 px of text in %2 px"_qs.arg(label->heightForWidth(textRect.width())).arg(textRect.height())));
}

void TestMainWindow::linkConfirmation_data()
{
    QTest::addColumn<QUrl>("serverURL");
    QTest::addColumn<QString>("message");
    QTest::newRow("host and port") << QUrl(u"https://push.example.com:8443"_qs)
                                   << u"Connect to push.example.com with the scanned device secret. This replaces any "
                                      "existing configuration."_qs;
    QTest::newRow("no host") << QUrl(u"file:///link"_qs)
                             << u"Connect to server with the scanned device secret. This replaces any existing "
                                "configuration."_qs;
}

void TestMainWindow::linkConfirmation()
{
    QFETCH(QUrl, serverURL);
    QFETCH(QString, message);
    makeWindow(false);
    m_state->setPendingLink(DeviceConfig { serverURL, linkSecret });
    QMessageBox* box = m_window->linkConfirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), u"Link this device?"_qs);
    QCOMPARE(box->informativeText(), message);
    QCOMPARE(box->defaultButton()->text(), u"Link"_qs);
    QCOMPARE(box->escapeButton()->property("text").toString(), u"Cancel"_qs);
}

void TestMainWindow::linkConfirmationEscapeLeavesNothingPending()
{
    serve(1);
    makeWindow(true);
    m_state->handleIncomingURL(QUrl(u"https://other.example/link#s="_qs + linkSecret));
    QMessageBox* box = m_window->linkConfirmation();
    QTRY_VERIFY(box && box->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(!m_state->pendingLink());
    QCOMPARE(m_state->config(), std::optional<DeviceConfig>(linked));
}

void TestMainWindow::pastedLinkRaisesTheConfirmation()
{
    makeWindow(false);
    QApplication::clipboard()->setText(u"hello, not a link"_qs);
    TRIGGER_ACTION(m_window.get(), u"pasteLinkAction"_qs);
    QVERIFY(!m_state->pendingLink());
    QVERIFY(!m_window->linkConfirmation());

    QApplication::clipboard()->setText(u"  https://push.example.com:8443/link#s="_qs + linkSecret + u"\n"_qs);
    TRIGGER_ACTION(m_window.get(), u"pasteLinkAction"_qs);
    QVERIFY(m_state->pendingLink());
    QCOMPARE(m_state->pendingLink()->serverURL.host(), u"push.example.com"_qs);
    QTRY_VERIFY(m_window->linkConfirmation() && m_window->linkConfirmation()->isVisible());
    m_window->linkConfirmation()->findChild<QPushButton*>(u"confirmLink"_qs)->click();
    QTRY_VERIFY(m_state->isConfigured());
    QCOMPARE(m_state->config()->deviceSecret, linkSecret);
    QVERIFY(!m_state->pendingLink());
}

void TestMainWindow::syncEnabledRule()
{
    makeWindow(false);
    auto* sync = m_window->findChild<QAction*>(u"syncAction"_qs);
    QVERIFY(!sync->isEnabled());
    m_window.reset();
    m_state.reset();

    serve(2);
    makeWindow(true);
    sync = m_window->findChild<QAction*>(u"syncAction"_qs);
    QVERIFY(sync->isEnabled());
    m_client->latency = std::chrono::milliseconds(100);
    auto pass = m_state->sync();
    QVERIFY(m_state->isSyncing());
    QVERIFY(!sync->isEnabled());
    await(std::move(pass));
    QVERIFY(sync->isEnabled());
}

void TestMainWindow::markAllReadRule()
{
    serve(8); // application 1: 1, 3, 5, 7; application 2: 2, 4, 6, 8
    makeWindow(true);
    QAction* mark = m_window->messageList()->markAllReadAction();
    QVERIFY(mark->isEnabled());
    QCOMPARE(mark->toolTip(), u"Mark 8 unread as read"_qs);
    m_state->setSelectedAppId(1);
    QCOMPARE(mark->toolTip(), u"Mark 4 unread as read"_qs);
    m_state->setSearchText(u"body 3"_qs); // the search does not narrow the count
    QCOMPARE(mark->toolTip(), u"Mark 4 unread as read"_qs);

    // Application 1 read through id 7 while application 2 keeps id 8 unread.
    await(m_state->markRead(7));
    QVERIFY(!mark->isEnabled());
    QCOMPARE(mark->toolTip(), u"No unread messages"_qs);
    m_state->setSelectedAppId(std::nullopt);
    QCOMPARE(mark->toolTip(), u"Mark 1 unread as read"_qs);
    TRIGGER_ACTION(m_window.get(), u"markAllReadButton"_qs);
    QTRY_COMPARE(m_state->unreadCount(), 0);
    QVERIFY(!mark->isEnabled());
}

void TestMainWindow::emptyStates()
{
    serve(3);
    m_client->serverApps.append({ 3, u"Silent"_qs, u"#000000"_qs, false });
    makeWindow(true);
    m_window->show();
    EmptyState* empty = m_window->messageList()->emptyState();
    QVERIFY(!empty->isVisible());
    m_state->setSelectedAppId(3);
    QVERIFY(empty->isVisible());
    QCOMPARE(empty->title(), u"No Messages"_qs);
    QCOMPARE(empty->symbol(), u"tray"_qs);
    m_state->setSelectedAppId(std::nullopt);
    QVERIFY(!empty->isVisible());
    m_window->messageList()->searchField()->setText(u"nothing like this"_qs);
    QCOMPARE(m_state->searchText(), u"nothing like this"_qs);
    QVERIFY(empty->isVisible());
    QCOMPARE(empty->title(), u"No Results"_qs);
    QCOMPARE(empty->symbol(), u"magnifyingglass"_qs);
    QCOMPARE(m_window->messageList()->searchField()->placeholderText(), u"Search All Messages"_qs);
    m_state->setSelectedAppId(2);
    QCOMPARE(m_window->messageList()->searchField()->placeholderText(), u"Search Deploys"_qs);
    m_state->setSelectedAppId(99);
    QCOMPARE(m_window->messageList()->searchField()->placeholderText(), u"Search Messages"_qs);
}

void TestMainWindow::textsWrapInANarrowWindow_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("title"); // in place of the placeholder's own, as a long translation would be

    // A tiling compositor gives a window half the screen, borders taken off.
    QTest::newRow("half of 1280, placeholder") << 636 << false << QString();
    QTest::newRow("half of 1366, placeholder") << 679 << false << QString();
    QTest::newRow("half of 1024, placeholder") << 508 << false << QString();
    QTest::newRow("half of 1024, messages") << 508 << true << QString();
    QTest::newRow("half of 1280, long title")
        << 636 << false << u"Dieses Gerät ist noch nicht mit einem Konto verbunden"_qs;
}

void TestMainWindow::textsWrapInANarrowWindow()
{
    QFETCH(int, width);
    QFETCH(bool, configured);
    QFETCH(QString, title);
    serve(3);
    makeWindow(configured);
    auto* note = m_window->findChild<EmptyState*>(u"notConfigured"_qs);
    if (!title.isEmpty())
        note->present(note->symbol(), title, note->description());
    m_window->resize(width, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->width(), width);
    // Nothing inside is squeezed below the size it needs, which would cut it off.
    QWidget* central = m_window->centralWidget();
    QVERIFY2(central->minimumSizeHint().width() <= central->width(),
        qPrintable(u"needs %1, has %2"_qs.arg(central->minimumSizeHint().width()).arg(central->width())));
    if (configured)
        return;
    auto* pane = m_window->findChild<QWidget*>(u"placeholder"_qs);
    QVERIFY(pane->isVisible());
    for (const QString& name : { u"emptyTitle"_qs, u"emptyDescription"_qs }) {
        auto* text = note->findChild<QLabel*>(name);
        QVERIFY(text);
        const QRect area(text->mapTo(pane, QPoint()), text->size());
        QVERIFY2(pane->rect().contains(area), qPrintable(name));
        // Wrapped onto as many lines as its width needs, none cut off at the sides or below.
        QVERIFY2(text->minimumSizeHint().width() <= text->width(), qPrintable(name));
        QVERIFY2(text->height() >= text->heightForWidth(text->width()), qPrintable(name));
    }
}

// The header's icons: the theme's symbolic icon of any of a symbol's names before a plain one, drawn in the text
// colour as our own are; a plain icon as the theme draws it; our own drawing when the theme has neither.
void TestMainWindow::iconsPreferSymbolicThemeIcons_data()
{
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("tinted");
    QTest::newRow("symbolic first") << u"arrow.clockwise"_qs
                                    << QStringList { u"view-refresh"_qs, u"view-refresh-symbolic"_qs }
                                    << u"view-refresh-symbolic"_qs << true;
    QTest::newRow("any symbolic before a plain one")
        << u"envelope.open"_qs << QStringList { u"mail-read"_qs, u"mail-mark-read-symbolic"_qs }
        << u"mail-mark-read-symbolic"_qs << true;
    QTest::newRow("plain without a symbolic one")
        << u"trash"_qs << QStringList { u"edit-delete"_qs } << u"edit-delete"_qs << false;
    QTest::newRow("our own drawing") << u"textformat"_qs << QStringList {} << QString() << true;
}

void TestMainWindow::iconsPreferSymbolicThemeIcons()
{
    QFETCH(QString, symbol);
    QFETCH(QStringList, files);
    QFETCH(QString, chosen);
    QFETCH(bool, tinted);
    QTemporaryDir themes;
    const QString theme = u"tidewell-test-"_qs + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QVERIFY(QDir(themes.path()).mkpath(theme + u"/scalable"_qs));
    QFile index(themes.filePath(theme + u"/index.theme"_qs));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Test\nDirectories=scalable\n\n[scalable]\nSize=16\nMinSize=8\nMaxSize=512\n"
                "Type=Scalable\n");
    index.close();
    for (const QString& name : files) {
        QFile svg(themes.filePath(theme + u"/scalable/"_qs + name + u".svg"_qs));
        QVERIFY(svg.open(QIODevice::WriteOnly));
        svg.write("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                  "<rect width='16' height='16' fill='#0000ff'/></svg>");
    }
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    const auto restore = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(searchPaths);
        QIcon::setThemeName(themeName);
    });
    QIcon::setThemeSearchPaths({ themes.path() });
    QIcon::setThemeName(theme);

    const QIcon icon = Icons::symbol(symbol);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.name(), chosen);
    if (files.isEmpty())
        return; // our drawing's shape leaves the middle open; its tint is the symbolic icons' own
    const QColor middle = icon.pixmap(16, 16).toImage().pixelColor(8, 8);
    QCOMPARE(middle, tinted ? QApplication::palette().color(QPalette::WindowText) : QColor(0, 0, 255));
}

// Unlinked, every showing of the window points to the settings, not only the first.
void TestMainWindow::startTaskOnEveryShowing()
{
    makeWindow(false);
    QSignalSpy settings(m_window.get(), &MainWindow::settingsRequested);
    m_window->show();
    QTRY_COMPARE(settings.size(), 1);
    m_window->close();
    QVERIFY(!m_window->isVisible());
    m_window->show();
    QTRY_COMPARE(settings.size(), 2);
}

// F5 while a sync runs (and "Sync" is off) asks again; however often it is pressed, one more pass follows.
void TestMainWindow::refreshDuringASyncAddsOnePass()
{
    serve(2);
    makeWindow(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTRY_COMPARE(m_client->count(u"apps"_qs), 2); // the first sync, and the one the window's showing started
    QTRY_VERIFY(!m_state->isSyncRunning());

    m_client->suspends = true;
    auto pass = m_state->sync();
    QVERIFY(m_state->isSyncing());
    QVERIFY(!m_window->findChild<QAction*>(u"syncAction"_qs)->isEnabled());
    QTest::keyClick(m_window.get(), Qt::Key_F5);
    QTest::keyClick(m_window.get(), Qt::Key_R, Qt::ControlModifier);
    await(std::move(pass));
    QTRY_VERIFY(!m_state->isSyncRunning());
    QCOMPARE(m_client->count(u"apps"_qs), 4);
}

// The question is wide enough for its sentence on two lines at most, and for its title beside the application's
// name in the title bar.
void TestMainWindow::linkConfirmationIsWideEnough()
{
    makeWindow(false);
    m_state->setPendingLink(DeviceConfig { QUrl(u"https://push.example.com"_qs), linkSecret });
    QMessageBox* box = m_window->linkConfirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    auto* message = box->findChild<QLabel*>(u"qt_msgbox_informativelabel"_qs);
    QVERIFY(message);
    QCOMPARE(message->text(), box->informativeText());
    // Half the sentence and its longest word fit on a line, so that it breaks onto two lines at most.
    const QFontMetrics metrics = message->fontMetrics();
    int longestWord = 0;
    for (const QString& word : message->text().split(u' '))
        longestWord = std::max(longestWord, metrics.horizontalAdvance(word));
    QVERIFY(message->width()
        >= metrics.horizontalAdvance(message->text()) / 2 + longestWord + 2 * metrics.averageCharWidth());
    QVERIFY(box->width() > box->fontMetrics().horizontalAdvance(u"Link this device? \u2014 Tidewell"_qs));

    // Every later hand-over while the box is open widens it again; the rows that do so do not pile up (the box lays
    // out a new grid for each text, which drops the last one's).
    const int items = box->layout()->count();
    for (int i = 0; i < 3; ++i) {
        m_state->setPendingLink(DeviceConfig { QUrl(u"https://push%1.example.com"_qs.arg(i)), linkSecret });
        QCOMPARE(m_window->linkConfirmation(), box);
        QVERIFY(box->informativeText().contains(u"push%1.example.com"_qs.arg(i)));
        QCOMPARE(box->layout()->count(), items);
    }
}

// Clearing an application's history deletes it on the server: it is asked first, and only "Clear History" clears.
void TestMainWindow::clearHistoryAsksFirst()
{
    serve(4);
    makeWindow(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTreeView* apps = m_window->appList()->view();
    const QModelIndex backups = m_window->appList()->model()->index(m_window->appList()->model()->rowOf(1), 0);
    const QPoint at = apps->visualRect(backups).center();

    for (const char* answer : { "clearHistoryCancel", "clearHistoryConfirm" }) {
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, apps->viewport()->mapToGlobal(at));
        QApplication::sendEvent(apps->viewport(), &click);
        auto* menu = m_window->findChild<QMenu*>(u"appContextMenu"_qs);
        QVERIFY(menu);
        TRIGGER_ACTION(menu, u"clearHistory"_qs);
        menu->close();
        auto* box = m_window->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs);
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), u"Clear the history of Backups?"_qs);
        QCOMPARE(m_client->count(u"clearApp"_qs), 0);
        box->findChild<QPushButton*>(QLatin1String(answer))->click();
        // Both close for good once answered, so that the next round finds its own.
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs));
        QTRY_VERIFY(!m_window->findChild<QMenu*>(u"appContextMenu"_qs));
    }
    QTRY_COMPARE(m_client->count(u"clearApp"_qs), 1);
    QCOMPARE(m_client->calls.last().argument, 1);
    QTRY_COMPARE(listedIds(*m_window->messageList()->model()), QList<qint64>({ 4, 2 }));
}

// A right click below the rows opens no menu, and leaves the current row and the selection alone; the menu key
// opens the current row's menu on it.
void TestMainWindow::contextMenuBelowTheRows_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("menu");
    QTest::newRow("messages") << u"messageList"_qs << u"messageContextMenu"_qs;
    QTest::newRow("applications") << u"appList"_qs << u"appContextMenu"_qs;
}

void TestMainWindow::contextMenuBelowTheRows()
{
    QFETCH(QString, list);
    QFETCH(QString, menu);
    serve(3);
    makeWindow(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    auto* view = m_window->findChild<QAbstractItemView*>(list);
    QVERIFY(view);
    view->setFocus();
    view->setCurrentIndex(view->model()->index(1, 0)); // in the sidebar, the first application
    const QPersistentModelIndex current = view->currentIndex();
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    QVERIFY(current.isValid());

    QWidget* viewport = view->viewport();
    const QPoint below(10, viewport->height() - 4);
    QVERIFY(!view->indexAt(below).isValid());
    QTest::mouseClick(viewport, Qt::RightButton, {}, below);
    QContextMenuEvent click(QContextMenuEvent::Mouse, below, viewport->mapToGlobal(below));
    QApplication::sendEvent(viewport, &click);
    QVERIFY(!m_window->findChild<QMenu*>(menu));
    QCOMPARE(QModelIndex(view->currentIndex()), QModelIndex(current));
    QCOMPARE(view->selectionModel()->selectedIndexes(), selected);

    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), view->mapToGlobal(QPoint()));
    QApplication::sendEvent(view, &key);
    auto* opened = m_window->findChild<QMenu*>(menu);
    QVERIFY(opened);
    QTRY_VERIFY(opened->isVisible());
    const QRect row = view->visualRect(current);
    QVERIFY(opened->geometry().intersects(QRect(viewport->mapToGlobal(row.topLeft()), row.size())));
    QCOMPARE(QModelIndex(view->currentIndex()), QModelIndex(current));
    opened->close();
}

void TestMainWindow::escapeInTheSearchField()
{
    serve(3);
    makeWindow(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QLineEdit* search = m_window->messageList()->searchField();
    QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(search->hasFocus());
    QTest::keyClicks(search, u"body 2"_qs);
    QCOMPARE(m_state->searchText(), u"body 2"_qs);
    QTest::keyClick(search, Qt::Key_Escape);
    QCOMPARE(search->text(), QString());
    QCOMPARE(m_state->searchText(), QString());
    QVERIFY(search->hasFocus());
    QTest::keyClick(search, Qt::Key_Escape);
    QTRY_VERIFY(m_window->messageList()->view()->hasFocus());
}

// After a delete the row beside it becomes current and selected, the next one or, after the last, the one before;
// Delete pressed again deletes that one, and the arrow keys go on from there.
void TestMainWindow::deleteMovesToTheNeighbour_data()
{
    QTest::addColumn<Qt::Key>("start");
    QTest::addColumn<QList<qint64>>("deleted");
    QTest::addColumn<Qt::Key>("arrow");
    QTest::addColumn<qint64>("reached");
    QTest::newRow("from the top") << Qt::Key_Home << QList<qint64> { 4, 3 } << Qt::Key_Down << qint64(1);
    QTest::newRow("from the bottom") << Qt::Key_End << QList<qint64> { 1, 2 } << Qt::Key_Up << qint64(4);
}

void TestMainWindow::deleteMovesToTheNeighbour()
{
    QFETCH(Qt::Key, start);
    QFETCH(QList<qint64>, deleted);
    QFETCH(Qt::Key, arrow);
    QFETCH(qint64, reached);
    serve(4);
    makeWindow(true);
    m_client->suspends = true; // the server answers after the key has returned, as over a network
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QAbstractItemView* messages = m_window->messageList()->view();
    messages->setFocus();
    QTest::keyClick(messages, start);
    const auto currentId = [messages] { return messages->currentIndex().data(MessageListModel::MessageIdRole); };
    QCOMPARE(currentId().toLongLong(), deleted[0]);

    QList<qint64> remaining { 4, 3, 2, 1 };
    for (const qint64 id : deleted) {
        QCOMPARE(currentId().toLongLong(), id);
        QTest::keyClick(messages, Qt::Key_Delete);
        QTest::keyClick(messages, Qt::Key_Delete); // again before the server answers: that message is on its way
        remaining.removeOne(id);
        QTRY_COMPARE(listedIds(*m_window->messageList()->model()), remaining);
        QVERIFY(messages->selectionModel()->isSelected(messages->currentIndex()));
    }
    QList<qint64> sent;
    for (const ScriptedClient::Call& call : m_client->calls) {
        if (call.op == u"deleteMessage")
            sent.append(call.argument);
    }
    QCOMPARE(sent, deleted);
    QTest::keyClick(messages, arrow);
    QCOMPARE(currentId().toLongLong(), reached);
}

void TestMainWindow::aSyncKeepsTheCurrentMessage()
{
    serve(4);
    makeWindow(true);
    QAbstractItemView* messages = m_window->messageList()->view();
    const MessageListModel* model = m_window->messageList()->model();
    messages->setCurrentIndex(model->index(model->rowOf(2), 0));
    m_client->addMessage(makeMessage(5, 1, 1005, u"body 5"_qs));
    m_client->addMessage(makeMessage(6, 2, 1006, u"body 6"_qs));
    await(m_state->sync());
    QCOMPARE(listedIds(*model), QList<qint64>({ 6, 5, 4, 3, 2, 1 }));
    QCOMPARE(messages->currentIndex().data(MessageListModel::MessageIdRole).toLongLong(), 2);
    QVERIFY(messages->selectionModel()->isSelected(messages->currentIndex()));
}

// A notification click that is the first to show the window: the message is centred in the list at its real size,
// and is the list's current row, with the keyboard there.
void TestMainWindow::notificationClickThatShowsTheWindow()
{
    serve(400);
    makeWindow(true);
    m_window->resize(800, 500);
    m_state->handleNotificationTap(201, 1); // row 99 of application 1's 200 messages
    m_window->showAndRaise();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    QAbstractItemView* messages = m_window->messageList()->view();
    const QModelIndex index = m_window->messageList()->model()->index(m_window->messageList()->model()->rowOf(201), 0);
    QVERIFY(index.isValid());
    QTRY_VERIFY(qAbs(messages->visualRect(index).center().y() - messages->viewport()->rect().center().y()) <= 2);
    QCOMPARE(messages->currentIndex(), index);
    QVERIFY(messages->selectionModel()->isSelected(index));
    QTRY_VERIFY(messages->hasFocus());
}

void TestMainWindow::sortChangeReorders()
{
    serve(4);
    m_client->message(1).title = u"b"_qs;
    m_client->message(2).title = u"C"_qs;
    m_client->message(3).title = u"a"_qs;
    m_client->message(4).title = u"d"_qs;
    makeWindow(true);
    const QAbstractItemModel& model = *m_window->messageList()->model();
    QCOMPARE(listedIds(model), QList<qint64>({ 4, 3, 2, 1 }));
    QMenu* menu = m_window->messageList()->sortButton()->menu();
    const QList<QAction*> choices = menu->actions();
    auto choose = [&choices](const QString& text) {
        for (QAction* action : choices) {
            if (action->text() == text)
                action->trigger();
        }
    };
    choose(u"Oldest"_qs);
    QCOMPARE(m_state->messageSort(), MessageSort(MessageSort::Oldest));
    QCOMPARE(listedIds(model), QList<qint64>({ 1, 2, 3, 4 }));
    choose(u"Title (A\u2013Z)"_qs);
    QCOMPARE(listedIds(model), QList<qint64>({ 3, 1, 2, 4 }));

    // The sidebar under "Name (A–Z)" and "Newest Received".
    const QAbstractItemModel& apps = *m_window->appList()->model();
    QCOMPARE(apps.index(1, 0).data().toString(), u"Deploys"_qs); // its newest message is id 4
    for (QAction* action : m_window->appList()->sortButton()->menu()->actions()) {
        if (action->text() == u"Name (A\u2013Z)")
            action->trigger();
    }
    QCOMPARE(apps.index(1, 0).data().toString(), u"Backups"_qs);
}

void TestMainWindow::badgesAndAccessibleNames()
{
    QCOMPARE(ListPresentation::badgeText(99), std::optional<QString>(u"99"_qs));
    QCOMPARE(ListPresentation::badgeText(100), std::optional<QString>(u"99+"_qs));
    for (qint64 id = 1; id <= 150; ++id)
        m_client->addMessage(makeMessage(id, 1, 1000 + id));
    m_client->addMessage(makeMessage(151, 2, 2000, u"urgent"_qs, std::nullopt, 1));
    makeWindow(true);
    const QAbstractItemModel& apps = *m_window->appList()->model();
    QCOMPARE(apps.index(0, 0).data(AppListModel::UnreadRole).toLongLong(), 151);
    const int backups = m_window->appList()->model()->rowOf(1);
    QCOMPARE(apps.index(backups, 0).data(Qt::AccessibleTextRole).toString(), u"Backups, 150 unread"_qs);
    const int deploys = m_window->appList()->model()->rowOf(2);
    QVERIFY(apps.index(deploys, 0).data(AppListModel::HighPriorityRole).toBool());
    QCOMPARE(apps.index(deploys, 0).data(Qt::AccessibleDescriptionRole).toString(), u"Has high-priority unread"_qs);
    await(m_state->markRead());
    QCOMPARE(
        apps.index(m_window->appList()->model()->rowOf(1), 0).data(Qt::AccessibleTextRole).toString(), u"Backups"_qs);
    QVERIFY(!apps.index(m_window->appList()->model()->rowOf(2), 0).data(AppListModel::HighPriorityRole).toBool());

    const QAbstractItemModel& messages = *m_window->messageList()->model();
    QCOMPARE(messages.index(0, 0).data(Qt::AccessibleTextRole).toString(), u"Read. Deploys. urgent"_qs);
    QCOMPARE(messages.index(0, 0).data(Qt::AccessibleDescriptionRole).toString(), u"High priority"_qs);
    QCOMPARE(messages.index(1, 0).data(Qt::AccessibleDescriptionRole).toString(), QString());
}

void TestMainWindow::notificationClickSelectsAndReveals()
{
    serve(400);
    makeWindow(true);
    m_window->resize(800, 500);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_state->setSearchText(u"body 1"_qs); // a tap clears the search, so the message is listed again
    m_state->handleNotificationTap(5, 1);

    QCOMPARE(m_state->selectedAppId(), std::optional<qint64>(1));
    QTreeView* apps = m_window->appList()->view();
    QCOMPARE(apps->currentIndex().data(AppListModel::AppIdRole).toLongLong(), 1);
    QAbstractItemView* messages = m_window->messageList()->view();
    const int row = m_window->messageList()->model()->rowOf(5);
    QVERIFY(row >= 0);
    const QModelIndex index = m_window->messageList()->model()->index(row, 0);
    QVERIFY(index.data(MessageListModel::SelectedRole).toBool());
    QTRY_VERIFY(messages->viewport()->rect().intersects(messages->visualRect(index)));
}

// New messages above the ones on screen leave the message being read where it is, to the pixel; at the very top of
// the list they come into view.
void TestMainWindow::aSyncDoesNotMoveWhatIsBeingRead()
{
    serve(60);
    makeWindow(true);
    m_window->resize(800, 500);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    MessageListView* view = m_window->messageList()->view();
    const MessageListModel* model = m_window->messageList()->model();
    view->setTopRow(20, 9);
    const qint64 reading = model->index(view->topRow(), 0).data(MessageListModel::MessageIdRole).toLongLong();
    QCOMPARE(view->topOffset(), 9);

    for (qint64 id = 61; id <= 70; ++id)
        m_client->addMessage(makeMessage(id, 1, 2000 + id, u"body %1"_qs.arg(id), u"title %1"_qs.arg(id)));
    await(m_state->sync());
    QCOMPARE(model->rowCount(), 70);
    QCOMPARE(model->index(view->topRow(), 0).data(MessageListModel::MessageIdRole).toLongLong(), reading);
    QCOMPARE(view->topOffset(), 9);

    view->setTopRow(0);
    m_client->addMessage(makeMessage(71, 1, 2071, u"body 71"_qs, u"title 71"_qs));
    await(m_state->sync());
    QCOMPARE(view->topRow(), 0);
    QCOMPARE(view->topOffset(), 0);
    QCOMPARE(model->index(0, 0).data(MessageListModel::MessageIdRole).toLongLong(), 71);
}

void TestMainWindow::sidebarSelectionBindsBothWays()
{
    serve(4);
    makeWindow(true);
    QTreeView* apps = m_window->appList()->view();
    const AppListModel* model = m_window->appList()->model();
    apps->setCurrentIndex(model->index(model->rowOf(2), 0));
    QCOMPARE(m_state->selectedAppId(), std::optional<qint64>(2));
    QCOMPARE(listedIds(*m_window->messageList()->model()), QList<qint64>({ 4, 2 }));
    apps->setCurrentIndex(model->index(0, 0));
    QCOMPARE(m_state->selectedAppId(), std::nullopt);
    m_state->setSelectedAppId(1);
    QCOMPARE(apps->currentIndex().row(), model->rowOf(1));
}

// By keyboard alone: Tab from the search field reaches the messages; Delete deletes the current one on the server
// and then here; Ctrl+C copies its text.
void TestMainWindow::keyboardDeletesAndCopies()
{
    serve(3);
    makeWindow(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(m_window->messageList()->searchField()->hasFocus());
    QTest::keyClick(m_window->messageList()->searchField(), Qt::Key_Tab);
    QAbstractItemView* messages = m_window->messageList()->view();
    QTRY_VERIFY(messages->hasFocus());
    QTest::keyClick(messages, Qt::Key_Down);
    QTest::keyClick(messages, Qt::Key_Home);
    QCOMPARE(messages->currentIndex().data(MessageListModel::MessageIdRole).toLongLong(), 3);

    QTest::keyClick(messages, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), u"body 3"_qs);
    QTest::keyClick(messages, Qt::Key_Delete);
    QTRY_COMPARE(m_client->count(u"deleteMessage"_qs), 1);
    QTRY_COMPARE(listedIds(*m_window->messageList()->model()), QList<qint64>({ 2, 1 }));
    QCOMPARE(m_client->calls.last().argument, 3);
}

void TestMainWindow::modelsStayConsistentWhileTheCacheChanges()
{
    serve(30);
    makeWindow(true);
    QAbstractItemModelTester appsTester(
        m_window->appList()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester messagesTester(
        m_window->messageList()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    serve(60);
    await(m_state->sync());
    QCOMPARE(m_window->messageList()->model()->rowCount(), 60);
    await(m_state->deleteMessage(*m_state->cache().fetchMessage(60)));
    await(m_state->clearApp(1));
    QCOMPARE(listedIds(*m_window->messageList()->model()).size(), 29);
    m_state->setSearchText(u"body 5"_qs);
    m_state->setSearchText(u"body 58"_qs);
    await(m_state->clearCache());
    QTRY_VERIFY(!m_state->isSyncing());
    await(m_state->unlink());
    QCOMPARE(m_window->messageList()->model()->rowCount(), 0);
    QCOMPARE(m_window->appList()->model()->rowCount(), 1);
}

// Marking everything read changes whether rows are unread, nothing else: each list says so once, over the rows from
// the first to the last that changed, and neither is laid out or read anew.
void TestMainWindow::readPositionIsOneChangeInEachList()
{
    serve(30);
    makeWindow(true);
    QAbstractItemModel* messages = m_window->messageList()->model();
    QAbstractItemModel* apps = m_window->appList()->model();
    QAbstractItemModelTester messagesTester(messages, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester appsTester(apps, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(messages->rowCount(), 30);
    QSignalSpy messageChanges(messages, &QAbstractItemModel::dataChanged);
    QSignalSpy appChanges(apps, &QAbstractItemModel::dataChanged);
    QList<QSignalSpy*> wholeList;
    for (QAbstractItemModel* model : { messages, apps }) {
        wholeList.append(new QSignalSpy(model, &QAbstractItemModel::modelReset));
        wholeList.append(new QSignalSpy(model, &QAbstractItemModel::layoutChanged));
    }
    const auto cleanup = qScopeGuard([&wholeList] { qDeleteAll(wholeList); });

    await(m_state->markRead());
    QCOMPARE(messageChanges.size(), 1);
    QCOMPARE(messageChanges[0][0].toModelIndex().row(), 0);
    QCOMPARE(messageChanges[0][1].toModelIndex().row(), 29);
    QVERIFY(messageChanges[0][2].value<QList<int>>().contains(MessageListModel::UnreadRole));
    for (int row = 0; row < messages->rowCount(); ++row)
        QVERIFY(!messages->index(row, 0).data(MessageListModel::UnreadRole).toBool());
    // "All Messages" and both applications.
    QCOMPARE(appChanges.size(), 1);
    QCOMPARE(appChanges[0][0].toModelIndex().row(), 0);
    QCOMPARE(appChanges[0][1].toModelIndex().row(), 2);
    for (int row = 0; row < apps->rowCount(); ++row)
        QCOMPARE(apps->index(row, 0).data(AppListModel::UnreadRole).toLongLong(), 0);
    for (const QSignalSpy* spy : std::as_const(wholeList))
        QCOMPARE(spy->size(), 0);
}

void TestMainWindow::currentRowFollowsRandomCommits_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : { 1u, 2u, 3u, 4u })
        QTest::addRow("seed %u", seed) << seed;
}

// Commits of every kind straight into the cache, under the item model tester: the list is the rules' after each, and
// the current row stays on its message as long as that is listed where it was among the others, the ranges telling
// it where it went.
void TestMainWindow::currentRowFollowsRandomCommits()
{
    QFETCH(quint32, seed);
    serve(40);
    makeWindow(true);
    m_window->resize(800, 500);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    MessageListView* view = m_window->messageList()->view();
    QAbstractItemModel* model = m_window->messageList()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    CacheContext& cache = m_state->cache();
    QRandomGenerator random(seed);
    qint64 nextId = 41;
    for (int step = 0; step < 60; ++step) {
        const QList<qint64> before = listedIds(*model);
        if (!before.isEmpty() && !view->currentIndex().isValid())
            view->setCurrentIndex(model->index(random.bounded(int(before.size())), 0));
        std::optional<qint64> moved; // a message whose time changed: it leaves its row and enters another
        const std::optional<qint64> current = view->currentIndex().isValid()
            ? std::optional<qint64>(view->currentIndex().data(MessageListModel::MessageIdRole).toLongLong())
            : std::nullopt;
        switch (random.bounded(4)) {
        case 0: // a sync's newest messages
            for (int i = 0, count = 1 + random.bounded(5); i < count; ++i, ++nextId)
                cache.insert(CachedMessage(makeMessage(nextId, 1 + random.bounded(2), 1000 + nextId)));
            break;
        case 1: { // older ones, wherever they fall
            const qint64 id = random.bounded(int(nextId)) + 1;
            const qint64 ts = 1000 + random.bounded(int(nextId));
            if (const std::optional<CachedMessage> stored = cache.fetchMessage(id); stored && stored->ts != ts)
                moved = id;
            cache.insert(CachedMessage(makeMessage(id, 1 + random.bounded(2), ts, u"again"_qs)));
            break;
        }
        case 2:
            for (int i = 0, count = 1 + random.bounded(3); i < count; ++i)
                cache.removeMessage(random.bounded(int(nextId)) + 1);
            break;
        case 3:
            if (random.bounded(4) == 0)
                cache.removeAllMessages(1 + random.bounded(2));
            else
                cache.insert(CachedMessage(makeMessage(nextId, 2, 1000 + nextId)));
            ++nextId;
            break;
        }
        if (!cache.hasChanges())
            continue;
        cache.save();
        const QList<CachedMessage> rules
            = ListRules::filtered(cache.fetchMessages(), std::nullopt, QString(), MessageSort());
        QList<qint64> expected;
        for (const CachedMessage& record : rules)
            expected.append(record.id);
        const QString context = u"seed %1, step %2"_qs.arg(seed).arg(step);
        QVERIFY2(listedIds(*model) == expected, qPrintable(context));
        // A current message that moved is told as leaving, which hands the cursor to its neighbour as a delete does.
        if (current && expected.contains(*current) && current != moved) {
            QVERIFY2(view->currentIndex().data(MessageListModel::MessageIdRole).toLongLong() == *current,
                qPrintable(context + u": the current row left its message"_qs));
            QVERIFY(view->selectionModel()->isSelected(view->currentIndex()));
        }
    }
    QCOMPARE(resets.size(), 0); // every commit was told as ranges
}

namespace {

// The same rows without the name and the preview: what a row shows besides the server's texts.
class WithoutServerTexts : public QIdentityProxyModel
{
public:
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DisplayRole || role == AppListModel::PreviewRole)
            return QString();
        return QIdentityProxyModel::data(index, role);
    }
};

QImage paintedRow(const AppRowDelegate& delegate, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    delegate.paint(&painter, option, index);
    return image;
}

const QString fsi = u"\u2068"_qs;
const QString pdi = u"\u2069"_qs;
const QString rlo = u"\u202e"_qs;
const QString pdf = u"\u202c"_qs;
const QString hebrew = u"\u05e9\u05dc\u05d5\u05dd"_qs;

} // namespace

// An application's row keeps each text to its own part: the name to the room left of its mark and time, the
// preview to two lines left of the badge, however long a word, whatever its direction.
void TestMainWindow::sidebarRowKeepsHostileTextsInTheirPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<qint64>("priority");

    QTest::newRow("6,000-character word beside the badge") << u"Backups"_qs << QString(6000, u'W') << 0LL;
    QTest::newRow("6,000-character word under a high-priority name") << u"Backups"_qs << QString(6000, u'm') << 1LL;
    QTest::newRow("name too long for its mark and time") << QString(400, u'N') << u"short"_qs << 1LL;
    QTest::newRow("right-to-left overrides left open")
        << rlo + u"Backups of the night before "_qs.repeated(8) << rlo + QString(3000, u'x') << 1LL;
    QTest::newRow("right-to-left texts") << (hebrew + u' ').repeated(30) << (hebrew + u' ').repeated(800) << 1LL;
    QTest::newRow("line breaks and NULs")
        << u"Back\nups"_qs << (u"line"_qs + QChar(0) + u"\r\n"_qs).repeated(500) << 0LL;
}

void TestMainWindow::sidebarRowKeepsHostileTextsInTheirPlace()
{
    QFETCH(QString, name);
    QFETCH(QString, preview);
    QFETCH(qint64, priority);
    m_client->serverApps = { { 1, name, u"#336699"_qs, false } };
    for (qint64 id = 1; id <= 3; ++id)
        m_client->addMessage(makeMessage(id, 1, 1000 + id, id == 3 ? preview : u"earlier"_qs, std::nullopt, priority));
    makeWindow(true);

    QTreeView* view = m_window->appList()->view();
    const auto* delegate = qobject_cast<const AppRowDelegate*>(view->itemDelegate());
    QVERIFY(delegate);
    AppListModel* model = m_window->appList()->model();
    const QModelIndex index = model->index(model->rowOf(1), 0);
    WithoutServerTexts blank;
    blank.setSourceModel(model);
    const QModelIndex blankIndex = blank.mapFromSource(index);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.state = QStyle::State_Enabled;
    option.rect = QRect(0, 0, 260, 1);
    option.rect.setHeight(delegate->sizeHint(option, index).height());

    const AppRowDelegate::Layout layout = delegate->layout(option, index);
    const AppRowDelegate::Layout blankLayout = delegate->layout(option, blankIndex);
    QVERIFY(!layout.time.isEmpty());
    QVERIFY(!layout.badge.isEmpty());
    QCOMPARE(!layout.mark.isEmpty(), priority > 0);
    const QList<QRect> parts { layout.avatar, layout.name, layout.mark, layout.time, layout.preview, layout.badge };
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QVERIFY(parts[i].isEmpty() || option.rect.contains(parts[i]));
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            QVERIFY2(!parts[i].intersects(parts[j]), qPrintable(u"parts %1 and %2 overlap"_qs.arg(i).arg(j)));
    }

    // Every pixel the texts change lies in their own parts (or the avatar's initial, or where the mark moves to
    // with the name's end): nothing is drawn over the time, the mark or the badge.
    const QImage shown = paintedRow(*delegate, option, index);
    const QImage without = paintedRow(*delegate, option, blankIndex);
    const QRegion ownParts = QRegion(layout.avatar) + layout.name + layout.preview + layout.mark + blankLayout.mark;
    std::optional<QPoint> outside;
    int previewPixels = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (shown.pixel(x, y) == without.pixel(x, y))
                continue;
            if (!ownParts.contains(QPoint(x, y)) && !outside)
                outside = QPoint(x, y);
            previewPixels += layout.preview.contains(QPoint(x, y));
        }
    }
    QVERIFY2(!outside, outside ? qPrintable(u"changed at %1, %2"_qs.arg(outside->x()).arg(outside->y())) : "");
    QVERIFY(previewPixels > 0);
    if (!layout.mark.isEmpty())
        QCOMPARE(shown.copy(layout.mark), without.copy(blankLayout.mark));
}

// What the models hand to views, copies and assistive technologies of texts full of controls.
void TestMainWindow::serverTextsInTheModels_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("expected");

    const QString name = rlo + u"EvilCorp"_qs + pdf;
    const QString body = u"line one\nlinetwo"_qs + rlo + pdf;
    QTest::newRow("message header") << u"messages"_qs << int(Qt::DisplayRole) << fsi + u"Alert[1m"_qs + pdi;
    QTest::newRow("message text, each line isolated")
        << u"messages"_qs << int(MessageListModel::BodyRole)
        << fsi + u"line one"_qs + pdi + u"\n"_qs + fsi + u"linetwo"_qs + rlo + pdf + pdi;
    QTest::newRow("message text to copy") << u"messages"_qs << int(MessageListModel::PlainBodyRole) << body;
    QTest::newRow("message read aloud") << u"messages"_qs << int(Qt::AccessibleTextRole)
                                        << u"Unread. Alert[1m. "_qs + body;
    QTest::newRow("application name for the avatar") << u"messages"_qs << int(MessageListModel::AppNameRole) << name;
    QTest::newRow("link text") << u"messages"_qs << int(MessageListModel::LinkTextRole)
                               << fsi + u"click"_qs + rlo + pdf + pdi;
    QTest::newRow("sidebar name") << u"apps"_qs << int(Qt::DisplayRole) << name;
    QTest::newRow("sidebar name read aloud") << u"apps"_qs << int(Qt::AccessibleTextRole) << name + u", 1 unread"_qs;
    QTest::newRow("sidebar preview") << u"apps"_qs << int(AppListModel::PreviewRole) << body;
}

void TestMainWindow::serverTextsInTheModels()
{
    QFETCH(QString, list);
    QFETCH(int, role);
    QFETCH(QString, expected);
    m_client->serverApps = { { 1, rlo + u"Evil"_qs + QChar(0) + u"Corp"_qs, u"#336699"_qs, false } };
    Message message
        = makeMessage(1, 1, 1001, u"line one\x07\r\nline"_qs + QChar(0) + u"two"_qs + rlo, u"Alert\x1b[1m"_qs);
    message.url = u"https://example.com/"_qs;
    message.urlTitle = u"click\x07"_qs + rlo;
    m_client->addMessage(message);
    makeWindow(true);

    if (list == u"messages") {
        QCOMPARE(m_window->messageList()->model()->index(0, 0).data(role).toString(), expected);
    } else {
        const AppListModel* apps = m_window->appList()->model();
        QCOMPARE(apps->index(apps->rowOf(1), 0).data(role).toString(), expected);
    }
}

void TestMainWindow::accessibleNameOfAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("unread");
    QTest::addColumn<QString>("expected");

    QTest::newRow("placeholders in the name stay text") << u"50%2 done %1"_qs << 3LL << u"50%2 done %1, 3 unread"_qs;
    QTest::newRow("override closed before the count")
        << rlo + u"abc"_qs << 2LL << rlo + u"abc"_qs + pdf + u", 2 unread"_qs;
    QTest::newRow("no unread: the name alone, without controls") << u"Back\x07ups"_qs << 0LL << u"Backups"_qs;
}

void TestMainWindow::accessibleNameOfAnyName()
{
    QFETCH(QString, name);
    QFETCH(qint64, unread);
    QFETCH(QString, expected);
    QCOMPARE(AppListModel::Texts::accessibleName(name, unread), expected);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
